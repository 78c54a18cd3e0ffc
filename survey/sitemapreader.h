#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a sitemap file names: the pages of a <urlset>, or the further
// sitemaps of a <sitemapindex>.
struct SitemapContent
{
    enum class Kind {
        Unknown, // neither: nothing is taken from it
        Pages,
        Index,
    };
    Kind kind = Kind::Unknown;
    QStringList locations; // each <loc>, trimmed, in file order
    // Empty when the file was read to its end; otherwise why reading
    // stopped, what was read before that being kept.
    QString problem;
};

struct SitemapLimits
{
    int maxLocations = 50000;
    qint64 maxInflatedBytes = qint64(50) << 20;
};

// Reads a sitemap as it arrived, gzip-compressed (told by its first bytes)
// or not, with a streaming XML reader: a compressed file is inflated piece
// by piece, and never past the limit, so a small file that inflates to
// gigabytes costs no more than the limit. Namespaces are not required.
SitemapContent readSitemap(const QByteArray &body, const SitemapLimits &limits = {});
