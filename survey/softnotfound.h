#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// What of a page the soft-404 comparison reads. Both on: the measure the
// prober uses; off, for measuring what each is worth.
struct FingerprintRules
{
    // Text inside links is left out: navigation, "related" and "popular"
    // lists are the site's frame, and a "not found" page may draw its
    // list anew for every request.
    bool skipLinkText = true;
    // Every place where the page repeats the last segment (or the query) of
    // its own address is one placeholder word, so that a "not found" page
    // that names the address it was asked for reads the same for any name.
    bool maskOwnName = true;
};

// The visible words of a page as the soft-404 comparison sees them: its
// text outside scripts and styles, its title included, cut into words
// (a run of letters and digits, or one CJK character), lower-cased, and
// every word with a digit in it (a time, a counter, a request id) one and
// the same word. Kept as the set of its 3-word shingles.
class PageFingerprint final
{
public:
    PageFingerprint() = default;

    // page: the decoded text of an HTML (or plain) body; address: where it
    // was asked for, as requested.
    static PageFingerprint of(const QString &page, const QString &address, FingerprintRules rules = {});

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
