#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

// What one origin's robots.txt allows this system, by RFC 9309: the group
// for the product token "prquery", or else the group for "*"; the longest
// matching rule wins and Allow wins a tie; "*" and "$" in patterns. The
// parsing and the matching are Google's robots.txt library; this keeps the
// groups that concern us from one parse, so that each address is matched
// against those alone.
class RobotsRules final
{
public:
    // Only this much of a robots.txt is read.
    static constexpr qsizetype MaxBytes = 500 * 1024;
    // A longer Crawl-delay is cut to this.
    static constexpr int MaxCrawlDelayMs = 30000;
    static const char *agent() { return "prquery"; }

    // No rules: the file is missing or refused (4xx), or robots.txt is not
    // obeyed.
    static RobotsRules allowAll();
    // Every address disallowed: the file could not be had (5xx, no answer).
    static RobotsRules disallowAll();
    // The rules of a robots.txt as received; bytes past MaxBytes are not read.
    static RobotsRules parse(const QByteArray &body);

    // url: an absolute http or https address of the origin.
    bool allowed(const QString &url) const;
    // The Crawl-delay of the group that applies, at most MaxCrawlDelayMs;
    // 0 when it names none.
    int crawlDelayMs() const { return m_crawlDelayMs; }
    // The Sitemap lines, in file order, as written.
    const QStringList &sitemaps() const { return m_sitemaps; }

private:
    enum class Kind {
        AllowAll,
        DisallowAll,
        Rules,
    };
    explicit RobotsRules(Kind kind)
        : m_kind(kind)
    {
    }

    Kind m_kind;
    // A robots.txt of the groups that concern us, and nothing else.
    std::string m_groups;
    int m_crawlDelayMs = 0;
    QStringList m_sitemaps;
};
