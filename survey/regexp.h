#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// The texts captured by the groups of one match, numbered from 0 in the order
// of their opening parentheses; "(?:...)" groups do not count.
class TSubMatches final
{
public:
    // The number of capturing groups of the pattern, whether or not each took
    // part in this match.
    qsizetype Count() const { return m_store ? m_store->groups : 0; }
    // A group that took no part reads as the empty string.
    QString Item(qsizetype i) const;

private:
    friend class TRegExp;
    friend class TMatch;
    // Offsets fit in 32 bits: the engine takes no longer text.
    struct Span
    {
        qint32 first; // < 0: the group took no part
        qint32 length;
    };
    // One per search, shared by its matches: a page yields many thousands.
    struct Store
    {
        QString text;
        qsizetype groups = 0;
        std::vector<Span> spans; // groups spans per match, in match order
    };
    std::shared_ptr<const Store> m_store;
    size_t m_offset = 0; // of this match's first span
};

class TMatch final
{
public:
    QString Value() const { return m_subs.m_store->text.mid(m_first, m_length); }
    qsizetype FirstIndex() const { return m_first; } // in UTF-16 units of the text
    qsizetype Length() const { return m_length; }
    const TSubMatches &SubMatches() const { return m_subs; }

private:
    friend class TRegExp;
    TSubMatches m_subs;
    qint32 m_first = 0;
    qint32 m_length = 0;
};

// The matches of one search, in text order, never overlapping.
class TMatchCollection final
{
public:
    qsizetype Count() const { return qsizetype(m_items.size()); }
    const TMatch &Item(qsizetype i) const;

private:
    friend class TRegExp;
    std::vector<TMatch> m_items;
};

// A regular expression in the dialect of the stored patterns (see dialect.h),
// matched by RE2 in time linear in the text. Setting Pattern compiles nothing:
// a pattern that cannot be compiled raises AppError with the engine's
// description at the first Execute or Replace that needs it, and again at
// every later one. Used from one thread at a time.
class TRegExp final
{
public:
    TRegExp();
    ~TRegExp();
    TRegExp(const TRegExp &) = delete;
    TRegExp &operator=(const TRegExp &) = delete;

    QString Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern) { m_pattern = pattern; }
    bool IgnoreCase() const { return m_ignoreCase; }
    void setIgnoreCase(bool on) { m_ignoreCase = on; }
    bool Global() const { return m_global; }
    void setGlobal(bool on) { m_global = on; }
    bool Multiline() const { return m_multiline; }
    void setMultiline(bool on) { m_multiline = on; }

    // Every match (Global) or the first, left to right, each search resuming
    // where the previous match ended.
    TMatchCollection Execute(const QString &text);

    // A copy of text with every match (Global) or the first replaced. The
    // replacement may name "$&", "$`", "$'", "$1".."$99" and "$$".
    QString Replace(const QString &text, const QString &replacement);

    // The engine's memory budget per compiled pattern, in bytes. When a
    // search outgrows it the engine falls back to a slower method with the
    // same results; a pattern that does not fit raises.
    void setMemoryBudget(int64_t bytes);

private:
    struct Compiled;
    struct Scratch;
    const Compiled &compiled();
    template<typename Visit>
    void forEachMatch(const QString &text, Visit &&visit);

    QString m_pattern;
    bool m_ignoreCase = false;
    bool m_global = false;
    bool m_multiline = false;
    int64_t m_memoryBudget;
    // Recently used patterns stay compiled: regdelete cycles through several
    // patterns on one instance.
    std::vector<std::unique_ptr<Compiled>> m_cache;
    // Buffers kept between searches: anchor texts are cleaned by thousands.
    std::unique_ptr<Scratch> m_scratch;
};

// Deletes every match of pattern from text, ignoring case. Sets Global,
// Pattern and IgnoreCase of myreg on every call, so no call depends on an
// earlier one.
QString regdelete(TRegExp &myreg, const QString &pattern, const QString &text);
