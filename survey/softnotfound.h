#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// The visible words of a page as the soft-404 comparison sees them: its
// text outside scripts and styles, its title included, cut into words
// (a run of letters and digits, or one CJK character), lower-cased, every
// number one and the same word, and every place where the page repeats the
// last segment (or the query) of its own address one placeholder word, so
// that a "not found" page that names the address it was asked for reads the
// same for any name. Kept as the set of its 3-word shingles.
class PageFingerprint final
{
public:
    PageFingerprint() = default;

    // page: the decoded text of an HTML (or plain) body; address: where it
    // was asked for, as requested.
    static PageFingerprint of(const QString &page, const QString &address);

    int words() const { return m_words; }
    // The Jaccard similarity of the two shingle sets, 0 to 1; 0 when either
    // page has no words, so that two empty pages never look alike.
    double similarity(const PageFingerprint &other) const;

private:
    std::vector<quint64> m_shingles; // sorted, unique
    int m_words = 0;
};

// A page as the comparison needs it: where it ended, whether a redirect took
// it there, and its words.
struct SoftPage
{
    QString finalUrl;
    bool redirected = false;
    PageFingerprint text;
};

// Pages at least this similar read as the same page.
constexpr double SoftSimilarity = 0.9;

// True when page, which answered 2xx, is the site's answer to any unknown
// name, given the probe: the same folder asked for a random name, which also
// answered 2xx. A probe that was redirected flags only a page that was
// redirected too, to the same final address or to a page as similar as
// SoftSimilarity (a "not found" page that carries the name in its query);
// a probe that was not redirected flags a page as similar as SoftSimilarity.
bool isSoftNotFound(const SoftPage &page, const SoftPage &probe);
