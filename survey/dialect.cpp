#include "survey/dialect.h"

#include "base/errors.h"
#include "base/textutil.h"

#include <QChar>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using Range = std::pair<char32_t, char32_t>;
using Ranges = std::vector<Range>;

constexpr char32_t kLastCode = 0x10FFFF;

void normalise(Ranges &set)
{
    std::sort(set.begin(), set.end());
    Ranges merged;
    for (const Range &r : set) {
        if (!merged.empty() && r.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    set = std::move(merged);
}

Ranges complement(const Ranges &set)
{
    Ranges out;
    char32_t next = 0;
    for (const Range &r : set) {
        if (r.first > next)
            out.emplace_back(next, r.first - 1);
        next = r.second + 1;
    }
    if (next <= kLastCode)
        out.emplace_back(next, kLastCode);
    return out;
}

bool contains(const Ranges &set, char32_t c)
{
    const auto it = std::upper_bound(set.begin(), set.end(), Range(c, kLastCode));
    return it != set.begin() && std::prev(it)->second >= c;
}

// The dialect compares code units after mapping both to upper case, except
// that a non-ASCII letter never maps onto an ASCII one (so the long s and the
// Kelvin sign stay apart from s and k).
char32_t canonical(char32_t c)
{
    const char32_t upper = QChar::toUpper(c);
    if (c >= 128 && upper < 128)
        return c;
    return upper;
}

// The characters that fold with at least one other, grouped by their
// canonical form. Characters beyond the 16-bit range never fold in the dialect.
class FoldTable final
{
public:
    static const FoldTable &instance()
    {
        static const FoldTable table;
        return table;
    }

    Ranges close(const Ranges &set) const
    {
        Ranges out = set;
        for (const auto &[c, group] : m_members) {
            if (contains(set, c)) {
                for (char32_t other : m_groups[group])
                    out.emplace_back(other, other);
            }
        }
        normalise(out);
        return out;
    }

private:
    FoldTable()
    {
        std::vector<std::pair<char32_t, char32_t>> byCanonical;
        byCanonical.reserve(0x10000);
        for (char32_t c = 0; c <= 0xFFFF; ++c)
            byCanonical.emplace_back(canonical(c), c);
        std::sort(byCanonical.begin(), byCanonical.end());
        for (size_t i = 0; i < byCanonical.size();) {
            size_t j = i;
            while (j < byCanonical.size() && byCanonical[j].first == byCanonical[i].first)
                ++j;
            if (j - i > 1) {
                std::vector<char32_t> group;
                for (size_t k = i; k < j; ++k) {
                    group.push_back(byCanonical[k].second);
                    m_members.emplace_back(byCanonical[k].second, m_groups.size());
                }
                m_groups.push_back(std::move(group));
            }
            i = j;
        }
        std::sort(m_members.begin(), m_members.end());
    }

    std::vector<std::pair<char32_t, size_t>> m_members;
    std::vector<std::vector<char32_t>> m_groups;
};

const Ranges &blanks()
{
    static const Ranges set = {{u'\t', u'\r'}, {u' ', u' '}};
    return set;
}

const Ranges &digits()
{
    static const Ranges set = {{u'0', u'9'}};
    return set;
}

const Ranges &wordChars()
{
    static const Ranges set = {{u'0', u'9'}, {u'A', u'Z'}, {u'_', u'_'}, {u'a', u'z'}};
    return set;
}

// \d, \w and \s; their capitals are the complements.
const std::pair<char32_t, const Ranges &(*)()> kSetEscapes[] = {{u'd', digits}, {u'w', wordChars}, {u's', blanks}};
const std::pair<char32_t, char32_t> kControlEscapes[] = {
    {u't', u'\t'}, {u'n', u'\n'}, {u'r', u'\r'}, {u'f', u'\f'}, {u'v', u'\v'}};

bool isAsciiAlnum(char32_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

class Translator final
{
public:
    Translator(const QString &pattern, bool ignoreCase)
        : m_pattern(pattern)
        , m_fold(ignoreCase)
    {
        m_p.reserve(size_t(pattern.size()));
        for (qsizetype i = 0; i < pattern.size(); ++i) {
            const QChar c = pattern.at(i);
            if (c.isHighSurrogate() && i + 1 < pattern.size() && pattern.at(i + 1).isLowSurrogate()) {
                m_p.push_back(QChar::surrogateToUcs4(c, pattern.at(i + 1)));
                ++i;
            } else {
                m_p.push_back(c.unicode());
            }
        }
    }

    EnginePattern run()
    {
        while (m_i < m_p.size()) {
            const char32_t c = m_p[m_i++];
            switch (c) {
            case u'\\':
                escape();
                break;
            case u'[':
                charClass();
                break;
            case u'.':
                raw("[^\\n]");
                break;
            case u'(':
                group();
                break;
            case u')':
            case u'|':
            case u'^':
            case u'$':
            case u'*':
            case u'+':
            case u'?':
                raw(char(c));
                break;
            case u'{':
                if (!braces())
                    literal(c);
                break;
            default:
                literal(c);
            }
        }
        if (!m_bytewise)
            m_out.bytewise.clear();
        return m_out;
    }

private:
    [[noreturn]] void fail(const char *what) const
    {
        throw AppError(QString::fromLatin1(what) + QStringLiteral(": ") + m_pattern);
    }

    bool at(char32_t c, size_t offset = 0) const { return m_i + offset < m_p.size() && m_p[m_i + offset] == c; }

    static void emitCode(std::string &out, char32_t c)
    {
        if (isAsciiAlnum(c)) {
            out += char(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\x{%X}", unsigned(c));
            out += buf;
        }
    }

    static void emitRanges(std::string &out, const Ranges &set, char32_t lastCode)
    {
        if (set.size() == 1 && set.front().first == set.front().second) {
            emitCode(out, set.front().first);
            return;
        }
        if (set.empty()) {
            out += "[^\\x{0}-";
            emitCode(out, lastCode);
            out += ']';
            return;
        }
        out += '[';
        for (const Range &r : set) {
            emitCode(out, r.first);
            if (r.second != r.first) {
                out += '-';
                emitCode(out, r.second);
            }
        }
        out += ']';
    }

    void raw(const char *text)
    {
        m_out.utf8 += text;
        m_out.bytewise += text;
    }

    void raw(char c)
    {
        m_out.utf8 += c;
        m_out.bytewise += c;
    }

    void emitSet(Ranges set, bool negated)
    {
        normalise(set);
        if (m_fold)
            set = FoldTable::instance().close(set);
        if (negated)
            set = complement(set);
        emitRanges(m_out.utf8, set, kLastCode);

        // Byte-wise, every non-ASCII character reads as 0x80; that holds only
        // while no set takes some non-ASCII characters and leaves others.
        Ranges bytes;
        bool someWide = false;
        bool allWide = false;
        for (const Range &r : set) {
            if (r.first < 0x80)
                bytes.emplace_back(r.first, std::min<char32_t>(r.second, 0x7F));
            if (r.second >= 0x80) {
                someWide = true;
                allWide = r.first <= 0x80 && r.second == kLastCode;
            }
        }
        if (someWide && !allWide)
            m_bytewise = false;
        if (allWide)
            bytes.emplace_back(0x80, 0xFF);
        emitRanges(m_out.bytewise, bytes, 0xFF);
    }

    void literal(char32_t c) { emitSet({{c, c}}, false); }

    void group()
    {
        if (!at(u'?')) {
            raw('(');
            return;
        }
        if (at(u':', 1)) {
            raw("(?:");
            m_i += 2;
            return;
        }
        fail("invalid or unsupported Perl syntax");
    }

    // {n}, {n,} and {n,m} repeat; any other brace is an ordinary character.
    bool braces()
    {
        size_t j = m_i;
        auto digitRun = [&] {
            const size_t from = j;
            while (j < m_p.size() && m_p[j] >= u'0' && m_p[j] <= u'9')
                ++j;
            return j > from;
        };
        if (!digitRun())
            return false;
        if (j < m_p.size() && m_p[j] == u',') {
            ++j;
            digitRun();
        }
        if (j >= m_p.size() || m_p[j] != u'}')
            return false;
        raw('{');
        for (; m_i <= j; ++m_i)
            raw(char(m_p[m_i]));
        return true;
    }

    bool hexRun(int count, char32_t &value) const
    {
        if (m_i + size_t(count) > m_p.size())
            return false;
        value = 0;
        for (int k = 0; k < count; ++k) {
            const int h = hexDigitValue(m_p[m_i + size_t(k)]);
            if (h < 0)
                return false;
            value = value * 16 + char32_t(h);
        }
        return true;
    }

    // Reads the escape after a backslash. Returns true with a single character
    // in c, or false with a set of characters in set.
    bool escapeAtom(bool inClass, char32_t &c, Ranges &set)
    {
        if (m_i >= m_p.size())
            fail("trailing \\");
        const char32_t e = m_p[m_i++];
        for (const auto &[letter, code] : kControlEscapes) {
            if (e == letter) {
                c = code;
                return true;
            }
        }
        for (const auto &[letter, ranges] : kSetEscapes) {
            if (asciilower(e) == letter) {
                set = e == letter ? ranges() : complement(ranges());
                return false;
            }
        }
        switch (e) {
        case u'b':
            // Inside a class \b is the backspace; outside it is handled before.
            c = inClass ? u'\b' : e;
            return true;
        case u'x':
            if (hexRun(2, c)) {
                m_i += 2;
                return true;
            }
            c = e;
            return true;
        case u'u':
            if (hexRun(4, c)) {
                m_i += 4;
                // A pair of escaped surrogates is the one character it encodes.
                char32_t low = 0;
                if (QChar::isHighSurrogate(c) && at(u'\\') && at(u'u', 1)) {
                    ++m_i;
                    ++m_i;
                    if (hexRun(4, low) && QChar::isLowSurrogate(low)) {
                        m_i += 4;
                        c = QChar::surrogateToUcs4(char16_t(c), char16_t(low));
                    } else {
                        m_i -= 2;
                    }
                }
                return true;
            }
            c = e;
            return true;
        case u'c':
            if (m_i < m_p.size() && ((m_p[m_i] >= u'a' && m_p[m_i] <= u'z') || (m_p[m_i] >= u'A' && m_p[m_i] <= u'Z'))) {
                c = m_p[m_i++] % 32;
                return true;
            }
            // Not a control escape: a backslash, and the c is read next.
            --m_i;
            c = u'\\';
            return true;
        case u'0':
            if (m_i < m_p.size() && m_p[m_i] >= u'0' && m_p[m_i] <= u'9')
                fail("invalid escape sequence");
            c = 0;
            return true;
        default:
            if (e >= u'1' && e <= u'9')
                fail("invalid escape sequence"); // back-references
            c = e;
            return true;
        }
    }

    void escape()
    {
        if (at(u'b') || at(u'B')) {
            raw('\\');
            raw(char(m_p[m_i++]));
            return;
        }
        char32_t c = 0;
        Ranges set;
        if (escapeAtom(false, c, set))
            literal(c);
        else
            emitSet(std::move(set), false);
    }

    bool classAtom(char32_t &c, Ranges &set)
    {
        const char32_t first = m_p[m_i++];
        if (first == u'\\')
            return escapeAtom(true, c, set);
        c = first;
        return true;
    }

    void charClass()
    {
        const bool negated = at(u'^');
        if (negated)
            ++m_i;
        Ranges set;
        for (;;) {
            if (m_i >= m_p.size())
                fail("missing ]");
            if (m_p[m_i] == u']') {
                ++m_i;
                break;
            }
            char32_t lo = 0;
            Ranges loSet;
            if (!classAtom(lo, loSet)) {
                set.insert(set.end(), loSet.begin(), loSet.end());
                continue;
            }
            if (!at(u'-') || m_i + 1 >= m_p.size() || m_p[m_i + 1] == u']') {
                set.emplace_back(lo, lo);
                continue;
            }
            ++m_i; // the '-'
            char32_t hi = 0;
            Ranges hiSet;
            if (!classAtom(hi, hiSet)) {
                // A set cannot end a range: the hyphen is a character.
                set.emplace_back(lo, lo);
                set.emplace_back(u'-', u'-');
                set.insert(set.end(), hiSet.begin(), hiSet.end());
                continue;
            }
            if (hi < lo)
                fail("invalid character class range");
            set.emplace_back(lo, hi);
        }
        emitSet(std::move(set), negated);
    }

    QString m_pattern;
    bool m_fold;
    std::u32string m_p;
    size_t m_i = 0;
    EnginePattern m_out;
    bool m_bytewise = true;
};

} // namespace

EnginePattern translatePattern(const QString &pattern, bool ignoreCase, bool multiline)
{
    EnginePattern out = Translator(pattern, ignoreCase).run();
    if (multiline) {
        out.utf8.insert(0, "(?m)");
        if (!out.bytewise.empty())
            out.bytewise.insert(0, "(?m)");
    }
    return out;
}
