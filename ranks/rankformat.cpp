#include "ranks/rankformat.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cctype>

namespace {

// A column name without its "#", spaces, "_", "-" and "." and in lower case:
// "#harmonicc_pos" gives "harmoniccpos".
std::string plainColumnName(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        if (c == '#' || c == ' ' || c == '_' || c == '-' || c == '.' || c == '\r')
            continue;
        out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool has(const std::string &text, std::string_view part)
{
    return text.find(part) != std::string::npos;
}

bool startsWith(const std::string &text, std::string_view part)
{
    return text.compare(0, part.size(), part) == 0;
}

// Sets slot to column unless a column already took it.
bool take(int &slot, int column)
{
    if (slot >= 0)
        return false;
    slot = column;
    return true;
}

} // namespace

std::optional<RankColumns> readRankHeader(std::string_view line)
{
    if (line.empty() || line.front() != '#')
        return std::nullopt;
    RankColumns c;
    std::size_t start = 0;
    int column = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        const std::string name = plainColumnName(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        const bool position = has(name, "pos");
        const bool value = has(name, "val");
        bool ok = false;
        if (has(name, "harmonic") || startsWith(name, "hc"))
            ok = (position != value) && take(position ? c.harmonicPos : c.harmonicVal, column);
        else if (startsWith(name, "pr") || has(name, "pagerank"))
            ok = (position != value) && take(position ? c.prPos : c.prVal, column);
        else if (name == "nhosts" || name == "numhosts" || name == "hosts" || name == "hostcount")
            ok = take(c.hosts, column);
        else if (has(name, "rev") || name == "host" || name == "domain" || name == "name")
            ok = take(c.name, column);
        if (!ok)
            return std::nullopt;
        ++column;
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (c.harmonicPos < 0 || c.harmonicVal < 0 || c.prPos < 0 || c.prVal < 0 || c.name < 0)
        return std::nullopt;
    c.count = column;
    c.level = c.hosts >= 0 ? RankLevel::Domain : RankLevel::Host;
    return c;
}

QString rankRelease(const QString &fileName)
{
    static const QRegularExpression published(QStringLiteral("^(.+?)-(?:domain|host)-ranks(?:\\.[A-Za-z0-9]+)*$"));
    const QRegularExpressionMatch m = published.match(QFileInfo(fileName).fileName());
    return m.hasMatch() ? m.captured(1) : QString();
}

std::string reversedDomain(std::string_view domain)
{
    std::string out;
    out.reserve(domain.size());
    std::size_t end = domain.size();
    while (end > 0) {
        const std::size_t dot = domain.rfind('.', end - 1);
        const std::size_t start = dot == std::string_view::npos ? 0 : dot + 1;
        if (!out.empty())
            out += '.';
        out.append(domain.substr(start, end - start));
        if (dot == std::string_view::npos)
            break;
        end = dot;
    }
    return out;
}

std::string reversedHost(std::string_view host)
{
    constexpr std::string_view www = "www.";
    if (host.substr(0, www.size()) == www && host.find('.', www.size()) != std::string_view::npos)
        host.remove_prefix(www.size());
    return reversedDomain(host);
}
