#include "survey/robotsrules.h"

#include "robotstxt/robots.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace {

using std::string_view;

bool equalsNoCase(string_view a, string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(uchar(x)) == std::tolower(uchar(y)); });
}

// The product token of a user-agent line, as the matcher reads it: the
// leading run of letters, "-" and "_".
string_view productToken(string_view value)
{
    size_t n = 0;
    while (n < value.size() && (std::isalpha(uchar(value[n])) || value[n] == '-' || value[n] == '_'))
        ++n;
    return value.substr(0, n);
}

// One parse of the file, grouped exactly as the matcher groups it: a
// user-agent line after an allow or disallow line starts a new group. The
// groups for us and for "*" are written out again with their rules; the
// matcher then reads only those.
class GroupCollector final : public googlebot::RobotsParseHandler
{
public:
    std::string groups;
    std::vector<QString> sitemaps;
    bool specificSeen = false;
    double specificDelay = -1;
    double globalDelay = -1;

    void HandleRobotsStart() override { }
    void HandleRobotsEnd() override { closeGroup(); }

    void HandleUserAgent(int, absl::string_view value) override
    {
        if (m_ruleSeen)
            closeGroup();
        const string_view v(value.data(), value.size());
        // As the matcher reads it: "*", alone or before a space, is every robot.
        if (!v.empty() && v[0] == '*' && (v.size() == 1 || std::isspace(uchar(v[1]))))
            m_global = true;
        else if (equalsNoCase(productToken(v), RobotsRules::agent()))
            m_specific = specificSeen = true;
    }
    void HandleAllow(int, absl::string_view value) override { rule("allow: ", value); }
    void HandleDisallow(int, absl::string_view value) override { rule("disallow: ", value); }
    void HandleSitemap(int, absl::string_view value) override { sitemaps.push_back(QString::fromUtf8(value.data(), qsizetype(value.size()))); }
    void HandleUnknownAction(int, absl::string_view action, absl::string_view value) override
    {
        if (!equalsNoCase(string_view(action.data(), action.size()), "crawl-delay"))
            return;
        bool ok = false;
        const double seconds = QByteArray(value.data(), qsizetype(value.size())).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0)
            return;
        if (m_specific && specificDelay < 0)
            specificDelay = seconds;
        if (m_global && globalDelay < 0)
            globalDelay = seconds;
    }

private:
    void rule(const char *key, absl::string_view value)
    {
        if (!m_specific && !m_global)
            return;
        m_ruleSeen = true;
        m_rules.append(key).append(value.data(), value.size()).append("\n");
    }
    void closeGroup()
    {
        if (m_specific || m_global) {
            if (m_specific)
                groups.append("user-agent: ").append(RobotsRules::agent()).append("\n");
            if (m_global)
                groups.append("user-agent: *\n");
            groups.append(m_rules);
        }
        m_rules.clear();
        m_specific = m_global = m_ruleSeen = false;
    }

    std::string m_rules;
    bool m_specific = false;
    bool m_global = false;
    bool m_ruleSeen = false;
};

} // namespace

RobotsRules RobotsRules::allowAll()
{
    return RobotsRules(Kind::AllowAll);
}

RobotsRules RobotsRules::disallowAll()
{
    return RobotsRules(Kind::DisallowAll);
}

RobotsRules RobotsRules::parse(const QByteArray &body)
{
    GroupCollector collector;
    googlebot::ParseRobotsTxt(absl::string_view(body.constData(), size_t(std::min(body.size(), MaxBytes))), &collector);
    RobotsRules rules(collector.groups.empty() ? Kind::AllowAll : Kind::Rules);
    rules.m_groups = std::move(collector.groups);
    for (const QString &sitemap : collector.sitemaps)
        rules.m_sitemaps << sitemap;
    // The group for us, when there is one, says it all, as for the rules.
    const double seconds = collector.specificSeen ? collector.specificDelay : collector.globalDelay;
    if (seconds > 0)
        rules.m_crawlDelayMs = int(std::min(std::ceil(seconds * 1000), double(MaxCrawlDelayMs)));
    return rules;
}

bool RobotsRules::allowed(const QString &url) const
{
    if (m_kind != Kind::Rules)
        return m_kind == Kind::AllowAll;
    // The matcher takes the address percent-encoded, as it is requested: an
    // escape already there stays as written.
    std::string encoded;
    for (const char c : url.toUtf8()) {
        const auto b = uchar(c);
        if (b <= 0x20 || b >= 0x7f) {
            static const char hex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += hex[b >> 4];
            encoded += hex[b & 15];
        } else {
            encoded += c;
        }
    }
    googlebot::RobotsMatcher matcher;
    return matcher.OneAgentAllowedByRobots(absl::string_view(m_groups), agent(), encoded);
}
