#pragma once

#include "ranks/rankformat.h"
#include "ranks/rankreader.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// The index of one ranks file: no names, only a 64-bit hash of each, so that
// a domain costs about 10 bytes however long its name.
//
// Layout: a header (magic, version, the size and time of the ranks file, the
// counts, the score thresholds), a directory of 2^b buckets by the top b bits
// of the hash, one record a name in hash order (the next 32 bits of the hash,
// then the PageRank and harmonic positions packed in as few bits as the
// largest position needs), a short list of names whose 32 bits meet another's
// (by their whole hash), and a checksum of all before it.
//
// A name that is not in the file matches a record of its bucket only when 32
// bits of hash agree: with 8 to 16 names a bucket, one lookup in 270 to 540
// million gives a score to a name that has none. Two names of the file whose
// 32 + b bits meet are told apart by their whole hash; only two that share
// all 64 bits (about once in 4,000 files of 100 million names) cannot be, and
// get no score.

// The score is a function of the PageRank position: scoreThresholds[k - 1] is
// the last position that scores k or more (0: none does).
using RankThresholds = std::array<quint32, 10>;

// The hash a name is indexed by (the upper half of XXH3-128 of its bytes).
quint64 rankKey(std::string_view name);

// A name's figures in the index.
struct RankHit
{
    quint32 rankPos = 0; // PageRank position, 1 the highest
    quint32 harmonicPos = 0; // harmonic-centrality position
    int score = 0; // 0 to 10
};

struct RankLookup
{
    enum class Kind {
        Absent,
        Found,
        // Two names of the file share their whole hash: neither can be told.
        Ambiguous,
    };
    Kind kind = Kind::Absent;
    RankHit hit;
};

// A mapped index, read only. Lookups may run on any thread.
class RankIndex final
{
public:
    // The index in the file at path when it is whole and was made from the
    // ranks file stamped source; nothing otherwise, and why says what is
    // wrong with it (missing, half-written, damaged, another file).
    static std::unique_ptr<RankIndex> open(const QString &path, const SourceStamp &source, QString *why = nullptr);
    ~RankIndex();
    Q_DISABLE_COPY_MOVE(RankIndex)

    // A name as the ranks file writes it (reversed, lower case).
    RankLookup find(std::string_view reversedName) const;

    RankLevel level() const { return m_level; }
    quint64 names() const { return m_count + m_overflow; }
    const RankThresholds &thresholds() const { return m_thresholds; }
    qint64 fileSize() const { return qint64(m_size); }

    // The score of a PageRank position under thresholds.
    static int scoreOf(quint32 rankPos, const RankThresholds &thresholds);

private:
    RankIndex() = default;

    const uchar *m_map = nullptr;
    std::size_t m_size = 0;
    RankLevel m_level = RankLevel::Domain;
    quint64 m_count = 0;
    quint64 m_overflow = 0;
    int m_bucketBits = 1;
    int m_posBits = 1;
    int m_recordSize = 0;
    RankThresholds m_thresholds {};
    const uchar *m_directory = nullptr;
    const uchar *m_records = nullptr;
    const uchar *m_overflowRecords = nullptr;
};

// Raised when whoever waits for an index stops its making.
class RankBuildCancelled final : public std::exception
{
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// One name on its way into an index.
struct RankIndexEntry
{
    quint64 key = 0;
    quint32 rankPos = 0; // 0: taken out of the bucket records (see writeRankIndex)
    quint32 harmonicPos = 0;
};

struct RankIndexContents
{
    SourceStamp source;
    RankLevel level = RankLevel::Domain;
    int bucketBits = 1; // rankBucketBits() of all names
    RankThresholds thresholds {};
    // Every name by key, keys unique; an entry whose rankPos is 0 is left out.
    const std::vector<RankIndexEntry> *entries = nullptr;
    // Names whose upper 32 + b bits of key meet another's, by key; rankPos 0
    // marks a key that two names share.
    std::vector<RankIndexEntry> overflow;
    // Called now and then with the share written, 0 to 1: false stops the
    // writing with RankBuildCancelled.
    std::function<bool(double)> progress;
};

// Where the indexes of ranks files are kept: $XDG_DATA_HOME/prquery/ranks.
QString rankIndexFolder();
// The index of the ranks file stamped so, in folder: named by its size and
// time, so that a file changed since has none until it is made again.
QString rankIndexPath(const QString &folder, const SourceStamp &stamp);

// The number of bucket bits for count names: 8 to 16 names a bucket.
int rankBucketBits(quint64 count);
// Whether two keys fall on the same record under bucketBits.
bool sameRecordKey(quint64 a, quint64 b, int bucketBits);

// Writes the index to path as a whole or not at all (a temporary file renamed
// at the end). Throws AppError naming the path when it cannot be written.
void writeRankIndex(const QString &path, const RankIndexContents &contents);
