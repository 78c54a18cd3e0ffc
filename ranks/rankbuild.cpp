#include "ranks/rankbuild.h"

#include "base/errors.h"
#include "ranks/rankindex.h"
#include "ranks/rankreader.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Shares of the whole time that each step takes, about.
constexpr double ReadShare = 0.85;
constexpr double SortShare = 0.07;

constexpr int MaxColumns = 8;
constexpr std::size_t BlockSize = std::size_t(1) << 20;

struct Fields
{
    std::array<std::string_view, MaxColumns> at;
    int count = 0;
};

// The fields of a line; past MaxColumns the count goes on but no view is kept.
Fields splitFields(std::string_view line)
{
    Fields f;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (f.count < MaxColumns)
            f.at[std::size_t(f.count)] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
        ++f.count;
        if (tab == std::string_view::npos)
            return f;
        start = tab + 1;
    }
}

QString shown(std::string_view text)
{
    constexpr std::size_t Most = 80;
    QString s = QString::fromUtf8(text.data(), qsizetype(std::min(text.size(), Most)));
    if (text.size() > Most)
        s += QStringLiteral("…");
    return s;
}

class Builder final
{
public:
    Builder(const QString &source, const RankBuildProgress &progress)
        : m_source(source)
        , m_progress(progress)
    {
    }

    RankBuildSummary build(const QString &folder);

private:
    [[noreturn]] void lineError(qint64 line, const QString &what) const
    {
        throw AppError(QStringLiteral("排名文件 \"%1\" 第 %2 行: %3").arg(m_source).arg(line).arg(what));
    }
    void report(double share) const
    {
        if (m_progress && !m_progress(std::clamp(share, 0.0, 1.0)))
            throw RankBuildCancelled();
    }
    void read();
    void readLine(std::string_view line, qint64 number);
    quint32 position(std::string_view field, qint64 line, const char *column) const;
    double value(std::string_view field, qint64 line, const char *column) const;
    std::string_view name(std::string_view field, qint64 line);
    void computeThresholds();
    void joinBlocks();
    void sortEntries();
    // Names listed twice are an error; two names of one key are kept as
    // such.
    void settleSharedKeys();
    std::vector<RankIndexEntry> takeSharedRecords(int bucketBits);

    QString m_source;
    const RankBuildProgress &m_progress;
    SourceStamp m_stamp;
    RankColumns m_columns;
    // The entries as read, in blocks, so that the list never grows by
    // copying; then all of them in one piece to be sorted.
    std::vector<std::vector<RankIndexEntry>> m_blocks;
    std::vector<std::vector<float>> m_values; // PageRank values, by entry, until the thresholds are known
    quint64 m_read = 0;
    std::vector<RankIndexEntry> m_entries;
    float m_low = 0;
    float m_high = 0;
    RankThresholds m_thresholds {};
    std::vector<quint64> m_ambiguous; // keys that two names share
    std::string m_name; // the lower-case name of the line read last
};

quint32 Builder::position(std::string_view field, qint64 line, const char *column) const
{
    quint64 v = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (error != std::errc() || end != field.data() + field.size() || field.empty())
        lineError(line, QStringLiteral("%1 不是整数: \"%2\"").arg(QLatin1String(column), shown(field)));
    if (v < 1 || v > 0xffffffffu)
        lineError(line, QStringLiteral("%1 须在 1 到 4294967295 之间: %2").arg(QLatin1String(column)).arg(v));
    return quint32(v);
}

double Builder::value(std::string_view field, qint64 line, const char *column) const
{
    double v = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), v);
    if (error != std::errc() || end != field.data() + field.size() || field.empty() || !std::isfinite(v))
        lineError(line, QStringLiteral("%1 不是数值: \"%2\"").arg(QLatin1String(column), shown(field)));
    return v;
}

std::string_view Builder::name(std::string_view field, qint64 line)
{
    if (field.empty())
        lineError(line, QStringLiteral("名称为空"));
    m_name.assign(field);
    for (char &c : m_name) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        else if (c == ' ')
            lineError(line, QStringLiteral("名称中有空格: \"%1\"").arg(shown(field)));
    }
    return m_name;
}

void Builder::readLine(std::string_view line, qint64 number)
{
    const Fields f = splitFields(line);
    if (f.count != m_columns.count)
        lineError(number, QStringLiteral("应有 %1 个字段 (以制表符分隔), 实有 %2 个").arg(m_columns.count).arg(f.count));
    const auto at = [&f](int column) { return f.at[std::size_t(column)]; };
    RankIndexEntry e;
    e.harmonicPos = position(at(m_columns.harmonicPos), number, "harmonicc_pos");
    if (value(at(m_columns.harmonicVal), number, "harmonicc_val") < 0)
        lineError(number, QStringLiteral("harmonicc_val 不能为负"));
    e.rankPos = position(at(m_columns.prPos), number, "pr_pos");
    const double pr = value(at(m_columns.prVal), number, "pr_val");
    if (!(pr > 0))
        lineError(number, QStringLiteral("pr_val 须大于 0: \"%1\"").arg(shown(at(m_columns.prVal))));
    if (m_columns.hosts >= 0) {
        const std::string_view hosts = at(m_columns.hosts);
        quint64 n = 0;
        const auto [end, error] = std::from_chars(hosts.data(), hosts.data() + hosts.size(), n);
        if (error != std::errc() || end != hosts.data() + hosts.size() || hosts.empty())
            lineError(number, QStringLiteral("n_hosts 不是整数: \"%1\"").arg(shown(hosts)));
    }
    e.key = rankKey(name(at(m_columns.name), number));
    const auto v = float(pr);
    if (m_read++ == 0) {
        m_low = v;
        m_high = v;
    }
    m_low = std::min(m_low, v);
    m_high = std::max(m_high, v);
    if (m_blocks.empty() || m_blocks.back().size() == BlockSize) {
        m_blocks.emplace_back().reserve(BlockSize);
        m_values.emplace_back().reserve(BlockSize);
    }
    m_blocks.back().push_back(e);
    m_values.back().push_back(v);
}

void Builder::read()
{
    RankFileReader reader(m_source);
    m_stamp = reader.stamp();
    if (m_stamp.size == 0)
        throw AppError(QStringLiteral("排名文件 \"%1\" 是空文件").arg(m_source));
    const double size = double(m_stamp.size);
    try {
        std::string_view line;
        if (!reader.next(line))
            throw AppError(QStringLiteral("排名文件 \"%1\" 没有内容").arg(m_source));
        const std::optional<RankColumns> columns = readRankHeader(line);
        if (!columns) {
            throw AppError(QStringLiteral("\"%1\" 不是排名文件: 第 1 行应为表头 #harmonicc_pos #harmonicc_val #pr_pos #pr_val #host_rev [#n_hosts], 实为 \"%2\"")
                               .arg(m_source, shown(line)));
        }
        m_columns = *columns;
        while (reader.next(line)) {
            readLine(line, reader.lineNumber());
            if ((m_read & 0x3fff) == 0)
                report(ReadShare * double(reader.position()) / size);
        }
    } catch (const AppError &) {
        // A file that is being written reads as damaged: the cause is said.
        if (reader.changed())
            throw AppError(QStringLiteral("排名文件 \"%1\" 在建立索引时被改动, 请在它不再变化后再用").arg(m_source));
        throw;
    }
    if (m_read == 0)
        throw AppError(QStringLiteral("排名文件 \"%1\" 只有表头, 没有任何名称").arg(m_source));
    if (reader.changed())
        throw AppError(QStringLiteral("排名文件 \"%1\" 在建立索引时被改动, 请在它不再变化后再用").arg(m_source));
}

void Builder::computeThresholds()
{
    const double lnLow = std::log(double(m_low));
    const double lnHigh = std::log(double(m_high));
    std::array<quint32, 11> last {}; // the last position of each score
    for (std::size_t b = 0; b < m_blocks.size(); ++b) {
        for (std::size_t i = 0; i < m_blocks[b].size(); ++i) {
            int score = 10;
            if (m_high > m_low)
                score = std::clamp(int(std::floor(10.0 * ((std::log(double(m_values[b][i])) - lnLow) / (lnHigh - lnLow)))), 0, 10);
            last[std::size_t(score)] = std::max(last[std::size_t(score)], m_blocks[b][i].rankPos);
        }
    }
    decltype(m_values)().swap(m_values);
    quint32 reach = 0;
    for (int k = 10; k >= 1; --k) {
        reach = std::max(reach, last[std::size_t(k)]);
        m_thresholds[std::size_t(k - 1)] = reach;
    }
}

void Builder::joinBlocks()
{
    // Pages of the whole become resident only as they are written, and each
    // block is given back once copied: the peak stays near one copy.
    m_entries.reserve(m_read);
    for (std::vector<RankIndexEntry> &block : m_blocks) {
        m_entries.insert(m_entries.end(), block.begin(), block.end());
        std::vector<RankIndexEntry>().swap(block);
    }
    decltype(m_blocks)().swap(m_blocks);
}

void Builder::sortEntries()
{
    // One pass puts each entry among those of its top byte, in place; then
    // each of the 256 parts is sorted on its own. Stopping is looked at
    // between pieces of work of a few milliseconds.
    std::vector<RankIndexEntry> &v = m_entries;
    std::array<std::size_t, 257> start {};
    for (const RankIndexEntry &e : v)
        ++start[std::size_t(e.key >> 56) + 1];
    for (std::size_t b = 1; b <= 256; ++b)
        start[b] += start[b - 1];
    std::array<std::size_t, 256> next {};
    std::copy(start.begin(), start.end() - 1, next.begin());
    std::size_t moves = 0;
    for (std::size_t b = 0; b < 256; ++b) {
        while (next[b] < start[b + 1]) {
            const auto to = std::size_t(v[next[b]].key >> 56);
            if (to == b)
                ++next[b];
            else
                std::swap(v[next[b]], v[next[to]++]);
            if ((++moves & 0xfffff) == 0)
                report(ReadShare);
        }
    }
    for (std::size_t b = 0; b < 256; ++b) {
        std::sort(v.begin() + std::ptrdiff_t(start[b]), v.begin() + std::ptrdiff_t(start[b + 1]),
            [](const RankIndexEntry &x, const RankIndexEntry &y) { return x.key < y.key; });
        report(ReadShare + SortShare * double(b + 1) / 256);
    }
}

void Builder::settleSharedKeys()
{
    std::vector<quint64> shared;
    for (std::size_t i = 1; i < m_entries.size(); ++i) {
        if (m_entries[i].key == m_entries[i - 1].key && (shared.empty() || shared.back() != m_entries[i].key))
            shared.push_back(m_entries[i].key);
    }
    if (shared.empty())
        return;
    // Rare: the file is read again for the names behind these keys. A name
    // seen before is listed twice; otherwise two names share a key.
    RankFileReader reader(m_source);
    if (reader.stamp() != m_stamp)
        throw AppError(QStringLiteral("排名文件 \"%1\" 在建立索引时被改动, 请在它不再变化后再用").arg(m_source));
    std::unordered_map<quint64, std::vector<std::pair<qint64, std::string>>> seen;
    std::string_view line;
    reader.next(line); // the header
    while (reader.next(line)) {
        const Fields f = splitFields(line);
        if (f.count != m_columns.count)
            break; // changed since; said below
        const std::string_view n = name(f.at[std::size_t(m_columns.name)], reader.lineNumber());
        const quint64 key = rankKey(n);
        if (!std::binary_search(shared.begin(), shared.end(), key))
            continue;
        auto &earlier = seen[key];
        for (const auto &[number, text] : earlier) {
            if (text == n)
                lineError(reader.lineNumber(), QStringLiteral("名称 %1 与第 %2 行重复").arg(QString::fromUtf8(n.data(), qsizetype(n.size()))).arg(number));
        }
        earlier.emplace_back(reader.lineNumber(), std::string(n));
    }
    if (reader.changed())
        throw AppError(QStringLiteral("排名文件 \"%1\" 在建立索引时被改动, 请在它不再变化后再用").arg(m_source));
    m_ambiguous = std::move(shared);
}

std::vector<RankIndexEntry> Builder::takeSharedRecords(int bucketBits)
{
    // Names whose record keys meet are kept by their whole key instead;
    // those whose whole keys meet are kept as one key that tells nothing.
    std::vector<RankIndexEntry> overflow;
    std::size_t i = 0;
    while (i < m_entries.size()) {
        std::size_t j = i + 1;
        while (j < m_entries.size() && sameRecordKey(m_entries[i].key, m_entries[j].key, bucketBits))
            ++j;
        if (j - i > 1) {
            for (std::size_t k = i; k < j; ++k) {
                RankIndexEntry &e = m_entries[k];
                const bool ambiguous = std::binary_search(m_ambiguous.begin(), m_ambiguous.end(), e.key);
                if (!ambiguous)
                    overflow.push_back(e);
                else if (overflow.empty() || overflow.back().key != e.key)
                    overflow.push_back({e.key, 0, 0});
                e.rankPos = 0;
            }
        }
        i = j;
    }
    return overflow;
}

RankBuildSummary Builder::build(const QString &folder)
{
    report(0);
    read();
    computeThresholds();
    joinBlocks();
    sortEntries();
    settleSharedKeys();
    RankIndexContents contents;
    contents.source = m_stamp;
    contents.level = m_columns.level;
    contents.bucketBits = rankBucketBits(m_entries.size());
    contents.thresholds = m_thresholds;
    contents.overflow = takeSharedRecords(contents.bucketBits);
    contents.entries = &m_entries;
    contents.progress = [this](double share) {
        report(ReadShare + SortShare + (1 - ReadShare - SortShare) * share);
        return true;
    };
    if (!QDir().mkpath(folder))
        throw AppError(QStringLiteral("无法建立索引文件夹 \"%1\"").arg(folder));
    const QString indexPath = rankIndexPath(folder, m_stamp);
    writeRankIndex(indexPath, contents);
    return {m_columns.level, m_entries.size(), m_stamp, indexPath};
}

} // namespace

RankBuildSummary buildRankIndex(const QString &source, const QString &folder, const RankBuildProgress &progress)
{
    return Builder(source, progress).build(folder);
}
