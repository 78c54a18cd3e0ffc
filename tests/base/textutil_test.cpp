#include "base/filenames.h"
#include "base/textutil.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase
{
    const char *text;
    const char *delim;
    QStringList pieces;
};

TEST(SplitStr, Table)
{
    const SplitCase cases[] = {
        {"", ":", {}},
        {"abc", ":", {"abc"}},
        {":", ":", {"", ""}},
        {"a:b:c", ":", {"a", "b", "c"}},
        {"a::", ":", {"a", "", ""}},
        {"Rank_1:1:5\n", ":", {"Rank_1", "1", "5\n"}},
        {"u[@m@]t[@m@]in", "[@m@]", {"u", "t", "in"}},
        {"[@m@[@m@]]", "[@m@]", {"[@m@", "]"}},
        {"aaaa", "aa", {"", "", ""}},
        {"a:b", "", {"a:b"}},
        {"A:b", "a", {"A:b"}},
    };
    for (const SplitCase &c : cases) {
        EXPECT_EQ(splitstr(QString::fromUtf8(c.text), QString::fromUtf8(c.delim)), c.pieces)
            << "text=" << c.text << " delim=" << c.delim;
    }
}

TEST(TrimCtl, RemovesCodesUpTo32AtBothEndsOnly)
{
    EXPECT_EQ(trimctl(QStringLiteral(" \t\r\n a b \x01\x1f ")), QStringLiteral("a b"));
    EXPECT_EQ(trimctl(QStringLiteral("\u3000x\u3000")), QStringLiteral("\u3000x\u3000"));
    EXPECT_EQ(trimctl(QStringLiteral(" \n ")), QString());
    EXPECT_EQ(trimctl(QString()), QString());
}

TEST(AsciiLower, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(asciilower(QStringLiteral("HTTP://Ä中Z")), QStringLiteral("http://Ä中z"));
    EXPECT_TRUE(startsWithAsciiNoCase(QStringLiteral("HtTpS://x"), u"https://"));
    EXPECT_FALSE(startsWithAsciiNoCase(QStringLiteral("http:/"), u"http://"));
}

TEST(DecodeText, Utf8OrGb18030)
{
    EXPECT_EQ(decodeText(QByteArray("\xe4\xb8\xad\xf0\x9f\x98\x80")), QStringLiteral("中\U0001F600"));
    // "中文" in GB18030 is not valid UTF-8.
    EXPECT_EQ(decodeText(QByteArray("\xd6\xd0\xce\xc4")), QStringLiteral("中文"));
    EXPECT_FALSE(isValidUtf8(QByteArray("\xd6\xd0")));
    EXPECT_TRUE(isValidUtf8(QByteArray("plain")));
}

} // namespace

// Every byte string comes back from its name; valid UTF-8 reads as itself.
TEST(FileNames, EveryByteComesBack)
{
    const struct
    {
        QByteArray bytes;
        QString name;
    } cases[] = {
        {"plain.txt", QStringLiteral("plain.txt")},
        {"\xE4\xB8\xAD.txt", QStringLiteral("中.txt")},
        {"\xF0\x9F\x98\x80", QStringLiteral("\U0001F600")},
        {"a\xFF"
         "b",
            QStringLiteral("a\xDCFF"
                           "b")},
        {"\xD6\xD0\xCE\xC4", QStringLiteral("\xDCD6"
                                            "\xDCD0"
                                            "\xDCCE"
                                            "\xDCC4")}, // GB18030
        {"\xED\xB3\xBF", QStringLiteral("\xDCED"
                                        "\xDCB3"
                                        "\xDCBF")}, // an encoded surrogate is not UTF-8
        {"\xC0\xAF\xE0\x80\xAF", QStringLiteral("\xDCC0"
                                                "\xDCAF"
                                                "\xDCE0"
                                                "\xDC80"
                                                "\xDCAF")}, // overlong
        {"\xF4\x90\x80\x80", QStringLiteral("\xDCF4"
                                            "\xDC90"
                                            "\xDC80"
                                            "\xDC80")}, // above U+10FFFF
        {"\xE4\xB8", QStringLiteral("\xDCE4"
                                    "\xDCB8")}, // cut short
        {"\xF0\x9F\x98\x80\xFF", QStringLiteral("\U0001F600\xDCFF")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(decodeFileName(c.bytes), c.name) << c.bytes.toHex().constData();
        EXPECT_EQ(encodeFileName(decodeFileName(c.bytes)), c.bytes) << c.bytes.toHex().constData();
    }
}
