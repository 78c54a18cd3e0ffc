#pragma once

#include <QByteArray>

#include <gumbo.h>

#include <memory>

// A text parsed by the HTML5 parser into the tree a browser would build.
// The tree's memory comes from a pool that the next tree of the thread
// reuses.
class HtmlTree final
{
public:
    explicit HtmlTree(const QByteArray &utf8);
    ~HtmlTree();
    HtmlTree(const HtmlTree &) = delete;
    HtmlTree &operator=(const HtmlTree &) = delete;

    const GumboNode *document() const;

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
};
