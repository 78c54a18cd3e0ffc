#include "listfiles/csvaddresses.h"

#include <gtest/gtest.h>

namespace {

TEST(CsvAddresses, WhatReadsAsAnAddress)
{
    const struct
    {
        const char *cell;
        bool address;
    } cases[] = {
        {"www.a.com", true},
        {"  a.com/x?y=1  ", true},
        {"https://a", true},
        {"HTTP://a.com/中文", true},
        {"中文.cn/页", true},
        {"127.0.0.1:8080/x", true},
        {"a.com:99999", false},
        {"1.5", false},
        {"3.14.15", false},
        {"URL", false},
        {"Referring page", false},
        {"a b.com", false},
        {".a.com", false},
        {"a..com", false},
        {"", false},
        {"user@mail.com", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(looksLikeAddress(QString::fromUtf8(c.cell)), c.address) << c.cell;
}

TEST(CsvAddresses, RecordsWithQuotesAndTheirDelimiter)
{
    EXPECT_EQ(csvRecords(QStringLiteral("a,\"b,\"\"c\"\"\"\n\"x\ny\",z")),
        (QList<QStringList> {{"a", "b,\"c\""}, {"x\ny", "z"}}));
    EXPECT_EQ(csvRecords(QStringLiteral("a;b;c\n1;2;3")), (QList<QStringList> {{"a", "b", "c"}, {"1", "2", "3"}}));
    EXPECT_EQ(csvRecords(QStringLiteral("a\tb\r\n1\t2\r\n")), (QList<QStringList> {{"a", "b"}, {"1", "2"}}));
    EXPECT_TRUE(csvRecords(QString()).isEmpty());
}

// The column of addresses is found whatever stands before it, its header row
// goes, and every later row keeps its place (an empty cell is a blank line).
TEST(CsvAddresses, TheFirstColumnOfAddressesUnderItsHeader)
{
    const struct
    {
        const char *text;
        const char *lines;
    } cases[] = {
        {"Anchor,Referring page URL,Domain rating\n新闻,https://a.com/x,52\n\"Hi, there\",b.org/p,3\n", "https://a.com/x\nb.org/p"},
        {"a.com\nb.com\n", "a.com\nb.com"},
        {"#,URL\n1,a.com\n2,\n3,c.com", "a.com\n\nc.com"},
        {"Keyword;Volume;Landing\nseo;100;a.com/seo\ntools;50;b.com", "a.com/seo\nb.com"},
        // No column of addresses: the first column, every record of it.
        {"name,count\nfoo,1\nbar,2", "name\nfoo\nbar"},
        {"only.one.row.com,7", "only.one.row.com"},
        {"\"x\ny\",1\n\"a\nb\",2", "x y\na b"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(csvAddressLines(QString::fromUtf8(c.text)), QString::fromUtf8(c.lines)) << c.text;
}

} // namespace
