#pragma once

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
};

// Reads the anchors of a page. Links are resolved, sorted into internal and
// external and listed elsewhere, the same way whichever reader found them.
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
