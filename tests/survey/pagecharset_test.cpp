// How a fetched page's bytes become its text: the declared charset first,
// the bytes themselves last.
#include "survey/pagecharset.h"

#include <gtest/gtest.h>

namespace {

// "中文链接" in GB18030 and in UTF-8.
const QByteArray kGb = "\xD6\xD0\xCE\xC4\xC1\xB4\xBD\xD3";
const QByteArray kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\xE9\x93\xBE\xE6\x8E\xA5";
const QString kText = QStringLiteral("中文链接");

QByteArray anchors(const QByteArray &text, int times)
{
    QByteArray page;
    for (int i = 0; i < times; ++i)
        page += "<a href=\"/p" + QByteArray::number(i) + "\">" + text + "</a>\n";
    return page;
}

TEST(PageCharset, DeclaredOrSniffed)
{
    const struct
    {
        const char *name;
        QByteArray body;
        const char *contentType;
        QString text; // expected to appear in the text
        const char *charset;
        bool note;
    } cases[] = {
        {"the header's charset", "<p>" + kGb + "</p>", "text/html; charset=GBK", kText, "GB18030", false},
        {"the header's charset, quoted", "<p>" + kUtf8 + "</p>", "text/html;charset=\"utf-8\"", kText, "UTF-8", false},
        {"meta charset", "<html><head><meta charset=gb2312><title>" + kGb + "</title>", "text/html", kText, "GB18030", false},
        {"meta http-equiv", "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\"></head>" + kGb, "", kText, "GB18030", false},
        {"meta content without http-equiv counts for nothing", "<meta content=\"text/html; charset=gbk\"><p>" + kUtf8, "", kText, "UTF-8", false},
        {"meta inside a comment counts for nothing", "<!-- <meta charset=gbk> --><p>" + kUtf8, "", kText, "UTF-8", false},
        {"the header beats the meta", "<meta charset=gbk><p>" + kUtf8, "text/html; charset=utf-8", kText, "UTF-8", false},
        {"meta utf-16 in ASCII markup is UTF-8", "<meta charset=\"UTF-16\"><p>" + kUtf8, "", kText, "UTF-8", false},
        {"a byte-order mark beats everything", "\xEF\xBB\xBF<p>" + kUtf8, "text/html; charset=gbk", kText, "UTF-8", false},
        // One stray byte in a UTF-8 page changes one character.
        {"a stray byte", anchors(kUtf8, 50) + "\xFF" + anchors(kUtf8, 50), "", kText + QStringLiteral("</a>\n\uFFFD<a"), "UTF-8", false},
        {"real GB18030", anchors(kGb, 100), "text/html", kText, "GB18030", false},
        {"an unknown charset in the header, UTF-8 bytes", anchors(kUtf8, 3), "text/html; charset=x-klingon", kText, "UTF-8", true},
        {"an unknown charset in the meta, GB18030 bytes", "<meta charset=x-klingon>" + anchors(kGb, 3), "", kText, "GB18030", true},
        {"another known charset", "<meta charset=shift_jis><p>\x93\xFA\x96\x7B", "", QStringLiteral("日本"), "Shift_JIS", false},
        {"latin1 is read as windows-1252", "<p>\x80\xE9", "text/html; charset=iso-8859-1", QStringLiteral("€é"), "windows-1252", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const PageText page = decodePage(c.body, QString::fromLatin1(c.contentType));
        EXPECT_TRUE(page.text.contains(c.text)) << page.text.left(200).toStdString();
        EXPECT_EQ(page.charset, QString::fromLatin1(c.charset));
        EXPECT_EQ(!page.note.isEmpty(), c.note) << page.note.toStdString();
    }
    // The stray byte leaves every anchor as it was.
    const PageText stray = decodePage(anchors(kUtf8, 50) + "\xFF" + anchors(kUtf8, 50));
    EXPECT_EQ(stray.text.count(kText), 100);
    EXPECT_EQ(stray.text.count(QChar(0xFFFD)), 1);
}

} // namespace
