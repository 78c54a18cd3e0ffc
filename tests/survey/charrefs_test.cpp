#include "survey/charrefs.h"

#include <gtest/gtest.h>

namespace {

TEST(CharRefs, DecodedAsHtmlDoesInEachContext)
{
    struct Case
    {
        QString in;
        QString attribute;
        QString text;
    };
    const QChar nul(0);
    const Case cases[] = {
        {QStringLiteral("no references"), QStringLiteral("no references"), QStringLiteral("no references")},
        {QStringLiteral("a&amp;b&lt;c&gt;&quot;&#39;"), QStringLiteral("a&b<c>\"'"), QStringLiteral("a&b<c>\"'")},
        {QStringLiteral("&#x4E2D;&#25991;&#128512;"), QStringLiteral("中文😀"), QStringLiteral("中文😀")},
        // Names of the full HTML5 list, and the old ones without ";".
        {QStringLiteral("&hellip;&NewLine;&bigstar;&nbsp"), QStringLiteral("…\n★\u00a0"), QStringLiteral("…\n★\u00a0")},
        // An old name followed by "=" or a letter stays in an attribute only.
        {QStringLiteral("?a=1&copy=2&notit;"), QStringLiteral("?a=1&copy=2&notit;"), QStringLiteral("?a=1©=2¬it;")},
        // Numbers as the HTML5 parser reads them: windows-1252 codes, zero.
        {QStringLiteral("&#150;&#0;&#xD800;"), QStringLiteral("–\ufffd\ufffd"), QStringLiteral("–\ufffd\ufffd")},
        {QStringLiteral("&unknown; & &; &#;"), QStringLiteral("&unknown; & &; &#;"), QStringLiteral("&unknown; & &; &#;")},
        // What would end the attribute, open a tag or be rewritten stays.
        {QStringLiteral("\"x\" <b>&amp;</b> a\r\nb\rc"), QStringLiteral("\"x\" <b>&</b> a\r\nb\rc"), QStringLiteral("\"x\" <b>&</b> a\r\nb\rc")},
        {QStringLiteral("<script>&amp;</script><!--"), QStringLiteral("<script>&</script><!--"), QStringLiteral("<script>&</script><!--")},
        {QString(QStringLiteral("a") + nul + QStringLiteral("&amp;") + nul), QString(QStringLiteral("a") + nul + QStringLiteral("&") + nul),
            QString(QStringLiteral("a") + nul + QStringLiteral("&") + nul)},
        {QStringLiteral("  &amp;  "), QStringLiteral("  &  "), QStringLiteral("  &  ")},
        {QString(), QString(), QString()},
    };
    QStringList inputs;
    QStringList attributes;
    QStringList texts;
    for (const Case &c : cases) {
        inputs << c.in;
        attributes << c.attribute;
        texts << c.text;
        EXPECT_EQ(decodeReferences(c.in, RefContext::Attribute), c.attribute);
        EXPECT_EQ(decodeReferences(c.in, RefContext::Text), c.text);
    }
    // All at once, as a page's snippets go.
    EXPECT_EQ(decodeReferences(inputs, RefContext::Attribute), attributes);
    EXPECT_EQ(decodeReferences(inputs, RefContext::Text), texts);
}

} // namespace
