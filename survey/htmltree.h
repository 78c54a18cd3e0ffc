#pragma once

#include "survey/markupbounds.h"

#include <QByteArray>

#include <gumbo.h>

#include <chrono>
#include <cstddef>
#include <memory>

// What one parse may cost. The parser has no bounds of its own: a page it
// reads in memory or time beyond these is read again, shorter, and the tree
// is that of the part read (see ReadLimit).
struct TreeBudget
{
    // Memory the parser's tree and work may take. The tree of an ordinary
    // page takes about ten times the page; the largest body read (16 MiB)
    // stays within this.
    std::size_t maxBytes = std::size_t(384) << 20;
    // For the whole parse, tries included.
    std::chrono::milliseconds maxTime {20000};
};

// A text parsed by the HTML5 parser into the tree a browser would build.
// The tree's memory comes from a pool that the next tree of the thread
// reuses. Trees on different threads share nothing.
class HtmlTree final
{
public:
    explicit HtmlTree(const QByteArray &utf8, const TreeBudget &budget = {});
    ~HtmlTree();
    HtmlTree(const HtmlTree &) = delete;
    HtmlTree &operator=(const HtmlTree &) = delete;

    const GumboNode *document() const;
    // Memory or Time when only the first readBytes of the text were parsed.
    const ReadLimit &limit() const { return m_limit; }
    // The most memory the parse held at once, tries included.
    std::size_t peakBytes() const { return m_peakBytes; }

    // The children of an element, a document or a template; none for a
    // text or a comment.
    static const GumboVector *children(const GumboNode *node);
    static bool isElement(const GumboNode *node, GumboTag tag);
    // The value of an attribute, or nullptr when the element has none.
    static const char *attribute(const GumboNode *node, const char *name);

    class Pool;

private:
    std::unique_ptr<Pool> m_pool;
    GumboOutput *m_output = nullptr;
    ReadLimit m_limit;
    std::size_t m_peakBytes = 0;
};
