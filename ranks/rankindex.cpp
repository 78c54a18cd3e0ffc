#include "ranks/rankindex.h"

#include "base/errors.h"
#include "base/filenames.h"

#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

constexpr char Magic[8] = {'P', 'R', 'Q', 'R', 'A', 'N', 'K', 'S'};
constexpr quint32 Version = 1;

// Little-endian, as the machines it runs on.
struct Header
{
    char magic[8];
    quint32 version;
    quint32 headerSize;
    quint64 fileSize; // the whole index, checksum included
    quint64 sourceSize;
    qint64 sourceMtimeNs;
    quint64 count; // bucket records
    quint64 overflow; // records by whole key
    quint32 level;
    quint32 bucketBits;
    quint32 posBits;
    quint32 recordSize;
    quint32 thresholds[10];
    quint32 reserved[4];
};
static_assert(sizeof(Header) == 128, "the header is 128 bytes");

constexpr std::size_t OverflowSize = 16; // key, rank position, harmonic position
constexpr std::size_t ChecksumSize = 8;

int posBytes(int posBits)
{
    return (2 * posBits + 7) / 8;
}

int bitsFor(quint32 value)
{
    int bits = 1;
    while (bits < 32 && (value >> bits) != 0)
        ++bits;
    return bits;
}

template<typename T>
T load(const uchar *at)
{
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

quint32 fingerprintOf(quint64 key, int bucketBits)
{
    return quint32(key >> (32 - bucketBits));
}

quint64 bucketOf(quint64 key, int bucketBits)
{
    return key >> (64 - bucketBits);
}

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

QString rankIndexFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/prquery/ranks");
}

QString rankIndexPath(const QString &folder, const SourceStamp &stamp)
{
    return QStringLiteral("%1/%2-%3.prqrank").arg(folder).arg(stamp.size).arg(stamp.mtimeNs);
}

quint64 rankKey(std::string_view name)
{
    return XXH3_128bits(name.data(), name.size()).high64;
}

int rankBucketBits(quint64 count)
{
    int bits = 1;
    while (bits < 31 && (count >> (bits + 1)) >= 8)
        ++bits;
    return bits;
}

bool sameRecordKey(quint64 a, quint64 b, int bucketBits)
{
    const int dropped = 32 - bucketBits;
    return (a >> dropped) == (b >> dropped);
}

int RankIndex::scoreOf(quint32 rankPos, const RankThresholds &thresholds)
{
    for (int k = 10; k >= 1; --k) {
        if (rankPos <= thresholds[std::size_t(k - 1)])
            return k;
    }
    return 0;
}

std::unique_ptr<RankIndex> RankIndex::open(const QString &path, const SourceStamp &source, QString *why)
{
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(why, QStringLiteral("无索引"));
        return nullptr;
    }
    struct stat st
    {
    };
    const bool sized = ::fstat(fd, &st) == 0;
    const auto size = std::size_t(sized ? st.st_size : 0);
    void *map = size >= sizeof(Header) ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (map == MAP_FAILED) {
        fail(why, QStringLiteral("索引不完整"));
        return nullptr;
    }
    std::unique_ptr<RankIndex> index(new RankIndex);
    index->m_map = static_cast<const uchar *>(map);
    index->m_size = size;

    const auto check = [&]() -> bool {
        const Header h = load<Header>(index->m_map);
        if (std::memcmp(h.magic, Magic, sizeof Magic) != 0 || h.version != Version || h.headerSize != sizeof(Header))
            return fail(why, QStringLiteral("不是本程序的索引或版本不同"));
        if (h.fileSize != size)
            return fail(why, QStringLiteral("索引不完整"));
        if (qint64(h.sourceSize) != source.size || h.sourceMtimeNs != source.mtimeNs)
            return fail(why, QStringLiteral("索引属于另一个文件"));
        if (!(h.level == quint32(RankLevel::Domain) || h.level == quint32(RankLevel::Host)) || h.bucketBits < 1 || h.bucketBits > 31
            || h.posBits < 1 || h.posBits > 32 || h.recordSize != quint32(4 + posBytes(int(h.posBits))))
            return fail(why, QStringLiteral("索引已损坏"));
        const quint64 buckets = quint64(1) << h.bucketBits;
        // Each part within the file before its sizes are added up, so that no
        // sum can wrap.
        if (h.count > size || h.overflow > size)
            return fail(why, QStringLiteral("索引已损坏"));
        const quint64 expected = sizeof(Header) + 4 * (buckets + 1) + h.count * h.recordSize + h.overflow * OverflowSize + ChecksumSize;
        if (expected != size)
            return fail(why, QStringLiteral("索引已损坏"));
        const quint64 sum = XXH3_64bits(index->m_map, size - ChecksumSize);
        if (sum != load<quint64>(index->m_map + size - ChecksumSize))
            return fail(why, QStringLiteral("索引已损坏 (校验和不符)"));
        index->m_level = RankLevel(h.level);
        index->m_count = h.count;
        index->m_overflow = h.overflow;
        index->m_bucketBits = int(h.bucketBits);
        index->m_posBits = int(h.posBits);
        index->m_recordSize = int(h.recordSize);
        for (std::size_t k = 0; k < 10; ++k)
            index->m_thresholds[k] = h.thresholds[k];
        index->m_directory = index->m_map + sizeof(Header);
        index->m_records = index->m_directory + 4 * (buckets + 1);
        index->m_overflowRecords = index->m_records + h.count * h.recordSize;
        // The directory is read without bounds checks later: it must rise
        // from 0 to the count.
        quint32 last = 0;
        for (quint64 b = 0; b <= buckets; ++b) {
            const auto at = load<quint32>(index->m_directory + 4 * b);
            if (at < last || (b == 0 && at != 0))
                return fail(why, QStringLiteral("索引已损坏"));
            last = at;
        }
        if (last != h.count)
            return fail(why, QStringLiteral("索引已损坏"));
        return true;
    };
    if (!check())
        return nullptr;
    ::madvise(const_cast<uchar *>(index->m_map), size, MADV_RANDOM);
    return index;
}

RankIndex::~RankIndex()
{
    if (m_map)
        ::munmap(const_cast<uchar *>(m_map), m_size);
}

RankLookup RankIndex::find(std::string_view reversedName) const
{
    const quint64 key = rankKey(reversedName);
    const quint64 bucket = bucketOf(key, m_bucketBits);
    const quint32 fingerprint = fingerprintOf(key, m_bucketBits);
    const auto begin = load<quint32>(m_directory + 4 * bucket);
    const auto end = load<quint32>(m_directory + 4 * (bucket + 1));
    const quint64 mask = m_posBits == 32 ? 0xffffffffu : (quint64(1) << m_posBits) - 1;
    const auto bytes = std::size_t(posBytes(m_posBits));
    RankLookup out;
    for (quint32 i = begin; i < end; ++i) {
        const uchar *record = m_records + quint64(i) * quint64(m_recordSize);
        const auto f = load<quint32>(record);
        if (f > fingerprint)
            break;
        if (f != fingerprint)
            continue;
        quint64 packed = 0;
        std::memcpy(&packed, record + 4, bytes);
        out.kind = RankLookup::Kind::Found;
        out.hit.rankPos = quint32(packed & mask);
        out.hit.harmonicPos = quint32((packed >> m_posBits) & mask);
        out.hit.score = scoreOf(out.hit.rankPos, m_thresholds);
        return out;
    }
    // The few names that share a record key are kept by their whole key.
    quint64 low = 0;
    quint64 high = m_overflow;
    while (low < high) {
        const quint64 mid = low + (high - low) / 2;
        const uchar *record = m_overflowRecords + mid * OverflowSize;
        const auto k = load<quint64>(record);
        if (k < key) {
            low = mid + 1;
        } else if (k > key) {
            high = mid;
        } else {
            out.hit.rankPos = load<quint32>(record + 8);
            out.hit.harmonicPos = load<quint32>(record + 12);
            if (out.hit.rankPos == 0) {
                out.kind = RankLookup::Kind::Ambiguous;
                return out;
            }
            out.kind = RankLookup::Kind::Found;
            out.hit.score = scoreOf(out.hit.rankPos, m_thresholds);
            return out;
        }
    }
    return out;
}

namespace {

// Writes through a buffer into the file, and keeps the checksum of all
// written.
class IndexWriter final
{
public:
    explicit IndexWriter(QSaveFile &file)
        : m_file(file)
        , m_state(XXH3_createState())
    {
        XXH3_64bits_reset(m_state);
        m_buffer.reserve(BufferSize);
    }
    ~IndexWriter() { XXH3_freeState(m_state); }
    Q_DISABLE_COPY_MOVE(IndexWriter)

    void put(const void *data, std::size_t n)
    {
        const auto *bytes = static_cast<const char *>(data);
        m_buffer.insert(m_buffer.end(), bytes, bytes + n);
        if (m_buffer.size() >= BufferSize)
            flush();
    }
    template<typename T>
    void put(const T &value)
    {
        put(&value, sizeof value);
    }
    void flush()
    {
        if (m_buffer.empty())
            return;
        XXH3_64bits_update(m_state, m_buffer.data(), m_buffer.size());
        if (m_file.write(m_buffer.data(), qint64(m_buffer.size())) != qint64(m_buffer.size()))
            throw AppError(QStringLiteral("无法写入排名索引 \"%1\": %2").arg(m_file.fileName(), m_file.errorString()));
        m_buffer.clear();
    }
    quint64 checksum()
    {
        flush();
        return XXH3_64bits_digest(m_state);
    }

private:
    static constexpr std::size_t BufferSize = 1 << 20;
    QSaveFile &m_file;
    XXH3_state_t *m_state;
    std::vector<char> m_buffer;
};

} // namespace

void writeRankIndex(const QString &path, const RankIndexContents &contents)
{
    const std::vector<RankIndexEntry> &entries = *contents.entries;
    const int bucketBits = contents.bucketBits;
    quint32 largest = 1;
    quint64 count = 0;
    for (const RankIndexEntry &e : entries) {
        if (e.rankPos == 0)
            continue;
        ++count;
        largest = std::max({largest, e.rankPos, e.harmonicPos});
    }
    if (count > 0xffffffffu)
        throw AppError(QStringLiteral("排名文件的名称太多, 无法建立索引"));
    const int posBits = bitsFor(largest);
    const int recordSize = 4 + posBytes(posBits);
    const quint64 buckets = quint64(1) << bucketBits;

    Header h {};
    std::memcpy(h.magic, Magic, sizeof Magic);
    h.version = Version;
    h.headerSize = sizeof(Header);
    h.fileSize = sizeof(Header) + 4 * (buckets + 1) + count * quint64(recordSize) + contents.overflow.size() * OverflowSize + ChecksumSize;
    h.sourceSize = quint64(contents.source.size);
    h.sourceMtimeNs = contents.source.mtimeNs;
    h.count = count;
    h.overflow = contents.overflow.size();
    h.level = quint32(contents.level);
    h.bucketBits = quint32(bucketBits);
    h.posBits = quint32(posBits);
    h.recordSize = quint32(recordSize);
    for (std::size_t k = 0; k < 10; ++k)
        h.thresholds[k] = contents.thresholds[k];

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("无法写入排名索引 \"%1\": %2").arg(path, file.errorString()));
    IndexWriter out(file);
    out.put(h);

    const auto cancelled = [&contents](double share) { return contents.progress && !contents.progress(share); };
    const auto stop = [] { throw RankBuildCancelled(); };
    // The directory: where each bucket's records start, and the end.
    {
        quint32 at = 0;
        quint64 bucket = 0;
        out.put(at);
        for (const RankIndexEntry &e : entries) {
            if (e.rankPos == 0)
                continue;
            const quint64 b = bucketOf(e.key, bucketBits);
            for (; bucket < b; ++bucket)
                out.put(at);
            ++at;
        }
        for (; bucket < buckets; ++bucket)
            out.put(at);
    }
    if (cancelled(0.1))
        stop();
    const auto bytes = std::size_t(posBytes(posBits));
    std::size_t done = 0;
    for (const RankIndexEntry &e : entries) {
        if ((++done & 0xfffff) == 0 && cancelled(0.1 + 0.9 * double(done) / double(entries.size())))
            stop();
        if (e.rankPos == 0)
            continue;
        const quint32 fingerprint = fingerprintOf(e.key, bucketBits);
        const quint64 packed = quint64(e.rankPos) | (quint64(e.harmonicPos) << posBits);
        out.put(fingerprint);
        out.put(&packed, bytes);
    }
    for (const RankIndexEntry &e : contents.overflow) {
        out.put(e.key);
        out.put(e.rankPos);
        out.put(e.harmonicPos);
    }
    const quint64 sum = out.checksum();
    // The last moment to stop: nothing is kept after this.
    if (cancelled(1))
        stop();
    if (file.write(reinterpret_cast<const char *>(&sum), sizeof sum) != qint64(sizeof sum) || !file.commit())
        throw AppError(QStringLiteral("无法写入排名索引 \"%1\": %2").arg(path, file.errorString()));
}
