#pragma once

#include "survey/markupbounds.h"

#include <QString>

#include <optional>
#include <vector>

// One anchor as read from a page: its address as written, character
// references decoded, and its anchor text as plain text.
struct PageLink
{
    QString href;
    QString text;
};

struct PageLinks
{
    // The href of the page's first <base> that has one, references decoded.
    std::optional<QString> baseHref;
    std::vector<PageLink> links; // in page order, repeats kept
    // How much of the page the links come from.
    ReadLimit limit;
};

// Reads the anchors of a page. Links are resolved, sorted into internal and
// external and listed elsewhere, the same way whichever reader found them.
// An extractor keeps no state that another extractor shares: two of them may
// run on two threads at once, each used by one thread at a time.
class LinkExtractor
{
public:
    LinkExtractor() = default;
    virtual ~LinkExtractor() = default;
    LinkExtractor(const LinkExtractor &) = delete;
    LinkExtractor &operator=(const LinkExtractor &) = delete;

    // Raises AppError when the page cannot be read at all; an anchor that
    // cannot be read is left out.
    virtual PageLinks extract(const QString &page) = 0;
};
