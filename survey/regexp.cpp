#include "survey/regexp.h"

#include "base/errors.h"
#include "survey/dialect.h"

#include <re2/re2.h>

#include <algorithm>
#include <climits>

namespace {

constexpr int64_t kDefaultMemoryBudget = int64_t(32) << 20;
constexpr size_t kCachedPatterns = 8;
constexpr size_t kKeptBuffer = size_t(1) << 20;

[[noreturn]] void badIndex()
{
    throw AppError(QStringLiteral("Invalid procedure call or argument"));
}

// The engine reads UTF-8. A lone surrogate is written as the three bytes its
// code would take, which the engine's classes accept like any character, so
// that no character of the text is lost or merged with another.
void toEngineBytes(const QString &text, std::string &out)
{
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    size_t size = 0;
    for (qsizetype i = 0; i < n; ++i)
        size += s[i] < 0x80 ? 1 : s[i] < 0x800 ? 2
                                               : 3; // a pair: 3 + 3 >= 4
    out.resize(size);
    char *p = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = s[i];
        if (u < 0x80) {
            *p++ = char(u);
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            u = QChar::surrogateToUcs4(char16_t(u), s[++i]);
            *p++ = char(0xF0 | (u >> 18));
            *p++ = char(0x80 | ((u >> 12) & 0x3F));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    out.resize(size_t(p - out.data()));
}

// One byte per UTF-16 unit, every non-ASCII character as 0x80, for a pattern
// that cannot tell non-ASCII characters apart. Returns false, leaving out
// unusable, when the text holds a surrogate: a pair is one character, which
// this form would count twice.
bool toNarrowBytes(const QString &text, std::string &out)
{
    const char16_t *s = reinterpret_cast<const char16_t *>(text.utf16());
    const size_t n = size_t(text.size());
    out.resize(n);
    char *p = out.data();
    unsigned surrogate = 0;
    for (size_t i = 0; i < n; ++i) {
        const char16_t u = s[i];
        p[i] = char(std::min<char16_t>(u, 0x80));
        surrogate |= unsigned((u & 0xF800) == 0xD800);
    }
    return !surrogate;
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// UTF-16 units taken by the characters in [begin, end): one per lead byte,
// two for a four-byte character.
qsizetype unitsIn(const unsigned char *begin, const unsigned char *end)
{
    qsizetype n = 0;
    for (; begin < end; ++begin)
        n += qsizetype(!isContinuation(*begin)) + qsizetype(*begin >= 0xF0);
    return n;
}

size_t charLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2
        : lead < 0xF0                    ? 3
                                         : 4;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::unique_ptr<re2::RE2> compileForEngine(const std::string &translated, re2::RE2::Options::Encoding encoding,
    int64_t memoryBudget, const QString &pattern)
{
    re2::RE2::Options options;
    options.set_encoding(encoding);
    options.set_case_sensitive(true); // the translation spells out the folding
    options.set_log_errors(false);
    options.set_max_mem(memoryBudget);
    auto re = std::make_unique<re2::RE2>(translated, options);
    if (!re->ok()) {
        // The engine names the offending piece of the translated pattern;
        // name the pattern as it was written instead.
        std::string what = re->error();
        const std::string &arg = re->error_arg();
        if (!arg.empty() && what.size() >= arg.size() + 2
            && what.compare(what.size() - arg.size(), arg.size(), arg) == 0)
            what.resize(what.size() - arg.size() - 2);
        throw AppError(QString::fromStdString(what) + QStringLiteral(": ") + pattern);
    }
    // A search finds where a match starts by running the pattern backwards,
    // compiled on first use; a failure there would read as "no match", so it
    // is made here, where it can be raised.
    if (re->ReverseProgramSize() < 0)
        throw AppError(QStringLiteral("pattern too large - reverse compile failed: ") + pattern);
    return re;
}

} // namespace

QString TSubMatches::Item(qsizetype i) const
{
    if (i < 0 || i >= Count())
        badIndex();
    const Span &s = m_store->spans[m_offset + size_t(i)];
    return s.first < 0 ? QString() : m_store->text.mid(s.first, s.length);
}

const TMatch &TMatchCollection::Item(qsizetype i) const
{
    if (i < 0 || i >= Count())
        badIndex();
    return m_items[size_t(i)];
}

struct TRegExp::Scratch
{
    std::string bytes;
    std::vector<re2::StringPiece> found;
    std::vector<TSubMatches::Span> groups;
    std::vector<size_t> offsets;
    std::vector<std::pair<size_t, qsizetype>> marks;
};

struct TRegExp::Compiled
{
    QString pattern;
    bool ignoreCase;
    bool multiline;
    int64_t memoryBudget;
    std::unique_ptr<re2::RE2> utf8;
    std::unique_ptr<re2::RE2> bytewise; // null when the pattern has no such form
    int groups;
};

TRegExp::TRegExp()
    : m_memoryBudget(kDefaultMemoryBudget)
    , m_scratch(std::make_unique<Scratch>())
{
}

TRegExp::~TRegExp() = default;

void TRegExp::setMemoryBudget(int64_t bytes)
{
    m_memoryBudget = bytes;
}

const TRegExp::Compiled &TRegExp::compiled()
{
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        const Compiled &c = **it;
        if (c.pattern == m_pattern && c.ignoreCase == m_ignoreCase && c.multiline == m_multiline
            && c.memoryBudget == m_memoryBudget) {
            std::rotate(m_cache.begin(), it, it + 1);
            return *m_cache.front();
        }
    }

    const EnginePattern translated = translatePattern(m_pattern, m_ignoreCase, m_multiline);
    auto entry = std::make_unique<Compiled>();
    entry->utf8 = compileForEngine(translated.utf8, re2::RE2::Options::EncodingUTF8, m_memoryBudget, m_pattern);
    if (!translated.bytewise.empty())
        entry->bytewise = compileForEngine(translated.bytewise, re2::RE2::Options::EncodingLatin1, m_memoryBudget, m_pattern);
    entry->pattern = m_pattern;
    entry->ignoreCase = m_ignoreCase;
    entry->multiline = m_multiline;
    entry->memoryBudget = m_memoryBudget;
    entry->groups = entry->utf8->NumberOfCapturingGroups();
    m_cache.insert(m_cache.begin(), std::move(entry));
    if (m_cache.size() > kCachedPatterns)
        m_cache.pop_back();
    return *m_cache.front();
}

// Calls visit(first, length, groups) for each match, offsets in UTF-16 units
// of text.
template<typename Visit>
void TRegExp::forEachMatch(const QString &text, Visit &&visit)
{
    const Compiled &c = compiled();
    Scratch &w = *m_scratch;
    std::string &bytes = w.bytes;
    const bool narrow = c.bytewise && toNarrowBytes(text, bytes);
    if (!narrow)
        toEngineBytes(text, bytes);
    const re2::RE2 &re = narrow ? *c.bytewise : *c.utf8;
    // The engine keeps some offsets in int.
    if (bytes.size() > size_t(INT_MAX))
        throw AppError(QStringLiteral("Text too large for the regular expression engine"));
    const bool sameOffsets = bytes.size() == size_t(text.size());
    const auto *base = reinterpret_cast<const unsigned char *>(bytes.data());
    const re2::StringPiece whole(bytes);

    std::vector<re2::StringPiece> &found = w.found;
    found.assign(size_t(c.groups) + 1, re2::StringPiece());
    std::vector<TSubMatches::Span> &groups = w.groups;
    groups.resize(size_t(c.groups));
    std::vector<std::pair<size_t, qsizetype>> &marks = w.marks;
    size_t cursorByte = 0; // every later offset lies at or after the cursor
    qsizetype cursorUnit = 0;

    auto toUnits = [&](size_t byte) -> qsizetype {
        if (sameOffsets)
            return qsizetype(byte);
        for (const auto &m : marks)
            if (m.first == byte)
                return m.second;
        return -1; // not reached: every offset was marked
    };

    size_t from = 0;
    for (;;) {
        if (!re.Match(whole, from, bytes.size(), re2::RE2::UNANCHORED, found.data(), int(found.size())))
            break;
        const size_t start = size_t(found[0].data() - bytes.data());
        const size_t end = start + found[0].size();

        if (!sameOffsets) {
            std::vector<size_t> &offsets = w.offsets;
            offsets.clear();
            for (const re2::StringPiece &f : found) {
                if (f.data() == nullptr)
                    continue;
                const size_t at = size_t(f.data() - bytes.data());
                offsets.push_back(at);
                offsets.push_back(at + f.size());
            }
            std::sort(offsets.begin(), offsets.end());
            offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
            marks.clear();
            for (size_t at : offsets) {
                if (at < cursorByte || (at < bytes.size() && isContinuation(base[at])))
                    throw AppError(QStringLiteral("The regular expression engine split a character"));
                cursorUnit += unitsIn(base + cursorByte, base + at);
                cursorByte = at;
                marks.emplace_back(at, cursorUnit);
            }
        }

        for (size_t g = 0; g < groups.size(); ++g) {
            const re2::StringPiece &f = found[g + 1];
            if (f.data() == nullptr) {
                groups[g] = {-1, 0};
            } else {
                const size_t at = size_t(f.data() - bytes.data());
                const qsizetype first = toUnits(at);
                groups[g] = {qint32(first), qint32(toUnits(at + f.size()) - first)};
            }
        }
        const qsizetype first = toUnits(start);
        visit(qint32(first), qint32(toUnits(end) - first), groups);

        if (!m_global)
            break;
        from = end;
        if (start == end) {
            // An empty match: step over one character so the search moves on.
            if (end >= bytes.size())
                break;
            from += narrow ? 1 : charLength(base[end]);
        }
    }
    if (bytes.capacity() > kKeptBuffer)
        std::string().swap(bytes);
}

TMatchCollection TRegExp::Execute(const QString &text)
{
    TMatchCollection result;
    auto store = std::make_shared<TSubMatches::Store>();
    store->text = text;
    forEachMatch(text, [&](qint32 first, qint32 length, const std::vector<TSubMatches::Span> &groups) {
        TMatch m;
        m.m_first = first;
        m.m_length = length;
        m.m_subs.m_store = store;
        m.m_subs.m_offset = store->spans.size();
        store->groups = qsizetype(groups.size());
        store->spans.insert(store->spans.end(), groups.begin(), groups.end());
        result.m_items.push_back(std::move(m));
    });
    return result;
}

QString TRegExp::Replace(const QString &text, const QString &replacement)
{
    const bool plain = !replacement.contains(u'$');
    QString out;
    qsizetype copied = 0;
    bool replaced = false;
    forEachMatch(text, [&](qint32 first, qint32 length, const std::vector<TSubMatches::Span> &groups) {
        if (!replaced)
            out.reserve(text.size());
        out.append(QStringView(text).mid(copied, first - copied));
        copied = first + length;
        replaced = true;
        if (plain) {
            out.append(replacement);
            return;
        }
        const qsizetype n = replacement.size();
        const qsizetype groupCount = qsizetype(groups.size());
        for (qsizetype i = 0; i < n; ++i) {
            const QChar ch = replacement.at(i);
            if (ch != u'$' || i + 1 >= n) {
                out.append(ch);
                continue;
            }
            const QChar next = replacement.at(i + 1);
            if (next == u'$') {
                out.append(u'$');
            } else if (next == u'&') {
                out.append(QStringView(text).mid(first, length));
            } else if (next == u'`') {
                out.append(QStringView(text).left(first));
            } else if (next == u'\'') {
                out.append(QStringView(text).mid(first + length));
            } else if (isAsciiDigit(next)) {
                // Two digits when they name a group, else one.
                qsizetype index = next.unicode() - u'0';
                qsizetype used = 1;
                if (i + 2 < n && isAsciiDigit(replacement.at(i + 2))) {
                    const qsizetype two = index * 10 + (replacement.at(i + 2).unicode() - u'0');
                    if (two >= 1 && two <= groupCount) {
                        index = two;
                        used = 2;
                    }
                }
                if (index < 1 || index > groupCount) {
                    out.append(ch);
                    continue;
                }
                const TSubMatches::Span &s = groups[size_t(index - 1)];
                if (s.first >= 0)
                    out.append(QStringView(text).mid(s.first, s.length));
                i += used;
                continue;
            } else {
                out.append(ch);
                continue;
            }
            ++i;
        }
    });
    if (!replaced)
        return text;
    out.append(QStringView(text).mid(copied));
    return out;
}

QString regdelete(TRegExp &myreg, const QString &pattern, const QString &text)
{
    myreg.setGlobal(true);
    myreg.setPattern(pattern);
    myreg.setIgnoreCase(true);
    return myreg.Replace(text, QString());
}
