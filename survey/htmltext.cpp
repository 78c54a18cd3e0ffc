#include "survey/htmltext.h"

#include "shell/textutil.h"
#include "survey/regexp.h"

namespace {

// True when text holds "<" directly followed by name (lower case ASCII) with
// its letters in any case: what the pattern of that step needs to match.
bool hasOpening(const QString &text, QLatin1StringView name)
{
    const qsizetype n = name.size();
    for (qsizetype at = text.indexOf(u'<'); at >= 0 && at + n < text.size(); at = text.indexOf(u'<', at + 1)) {
        qsizetype k = 0;
        for (; k < n; ++k) {
            char16_t c = text.at(at + 1 + k).unicode();
            if (c >= u'A' && c <= u'Z')
                c = char16_t(c + 32);
            if (c != char16_t(name.at(k).unicode()))
                break;
        }
        if (k == n)
            return true;
    }
    return false;
}

} // namespace

QString losehtml(TRegExp &myreg, const QString &text)
{
    QString s = trimctl(text);
    // Every pattern begins with "<"; most anchor texts hold none and are left
    // as regdelete would leave them.
    if (!s.contains(u'<'))
        return s;

    // The elements go before the tags, so that the content of a one-line
    // script never reaches the text.
    static const struct
    {
        QLatin1StringView name;
        QString pattern;
    } kElements[] = {
        {QLatin1StringView("script"), QStringLiteral("<script(.+?)</script>")},
        {QLatin1StringView("style"), QStringLiteral("<style(.+?)</style>")},
        {QLatin1StringView("iframe"), QStringLiteral("<iframe(.+?)</iframe>")},
        {QLatin1StringView("object"), QStringLiteral("<object(.+?)</object>")},
    };
    for (const auto &element : kElements) {
        if (hasOpening(s, element.name))
            s = regdelete(myreg, element.pattern, s);
    }
    s = regdelete(myreg, QStringLiteral("<\\/*[^<>]*>"), s);
    return trimctl(s);
}
