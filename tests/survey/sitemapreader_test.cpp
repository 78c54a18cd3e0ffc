// Sitemap files: pages and indexes, gzip, and files that are too large,
// inflate too far, or are not sitemaps at all.
#include "survey/sitemapreader.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray gzip(const QByteArray &data, int level = 9)
{
    z_stream s {};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray out(qsizetype(deflateBound(&s, uLong(data.size()))) + 64, Qt::Uninitialized);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(qsizetype(s.total_out));
    deflateEnd(&s);
    return out;
}

QByteArray urlset(int pages)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < pages; ++i)
        xml += "  <url><loc> http://www.example.com/p" + QByteArray::number(i) + ".html?a=1&amp;b=2 </loc><lastmod>2024-01-01</lastmod></url>\n";
    return xml + "</urlset>\n";
}

TEST(SitemapReader, PagesAndIndexes)
{
    const SitemapContent pages = readSitemap(urlset(3));
    EXPECT_EQ(pages.kind, SitemapContent::Kind::Pages);
    EXPECT_EQ(pages.locations,
        (QStringList {"http://www.example.com/p0.html?a=1&b=2", "http://www.example.com/p1.html?a=1&b=2", "http://www.example.com/p2.html?a=1&b=2"}));
    EXPECT_TRUE(pages.problem.isEmpty()) << pages.problem.toStdString();

    // No namespace, CDATA, an <image:loc> that is no page of the file.
    const SitemapContent index = readSitemap("<sitemapindex><sitemap><loc><![CDATA[http://a.cn/s1.xml.gz]]></loc></sitemap>"
                                             "<sitemap><loc>http://a.cn/s2.xml</loc><image:loc xmlns:image=\"x\">no</image:loc></sitemap>"
                                             "</sitemapindex>");
    EXPECT_EQ(index.kind, SitemapContent::Kind::Index);
    EXPECT_EQ(index.locations, (QStringList {"http://a.cn/s1.xml.gz", "http://a.cn/s2.xml"}));
    EXPECT_TRUE(index.problem.isEmpty());

    // Compressed, told by its first bytes and not by its name.
    const SitemapContent packed = readSitemap(gzip(urlset(500)));
    EXPECT_EQ(packed.kind, SitemapContent::Kind::Pages);
    EXPECT_EQ(packed.locations.size(), 500);
    EXPECT_TRUE(packed.problem.isEmpty()) << packed.problem.toStdString();
}

TEST(SitemapReader, BadFilesKeepWhatWasReadAndSayWhy)
{
    SitemapLimits small;
    small.maxLocations = 10;
    const SitemapContent many = readSitemap(urlset(20), small);
    EXPECT_EQ(many.locations.size(), 10);
    EXPECT_FALSE(many.problem.isEmpty());

    // A gzip bomb: 64 MB of blanks in a few hundred kilobytes stop at the
    // inflated limit, with the pages before it.
    QByteArray bomb = urlset(2);
    bomb.insert(bomb.indexOf("</urlset>"), QByteArray(64 << 20, ' '));
    const QByteArray packedBomb = gzip(bomb, 1);
    EXPECT_LT(packedBomb.size(), 1 << 20);
    const SitemapContent exploded = readSitemap(packedBomb);
    EXPECT_EQ(exploded.locations.size(), 2);
    EXPECT_TRUE(exploded.problem.contains(QStringLiteral("50 MB"))) << exploded.problem.toStdString();

    const SitemapContent broken = readSitemap("<urlset><url><loc>http://a.cn/1</loc></url><url><loc>http://a.cn/2</lo></url></urlset>");
    EXPECT_EQ(broken.locations, QStringList {"http://a.cn/1"});
    EXPECT_FALSE(broken.problem.isEmpty());

    const SitemapContent cut = readSitemap(gzip(urlset(3)).chopped(20));
    EXPECT_FALSE(cut.problem.isEmpty());

    const SitemapContent page = readSitemap("<!DOCTYPE html><html><body><a href=\"/x\">x</a></body></html>");
    EXPECT_EQ(page.kind, SitemapContent::Kind::Unknown);
    EXPECT_TRUE(page.locations.isEmpty());
    EXPECT_FALSE(page.problem.isEmpty());

    EXPECT_FALSE(readSitemap(QByteArray()).problem.isEmpty());
    // Entities may not grow the file without bound.
    const SitemapContent laughs = readSitemap("<!DOCTYPE u [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
                                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                                              "<urlset><url><loc>&d;</loc></url></urlset>");
    EXPECT_TRUE(laughs.locations.isEmpty());
    EXPECT_FALSE(laughs.problem.isEmpty());
}

} // namespace
