#pragma once

#include <QByteArray>

#include <gumbo.h>

#include <memory>

// A text parsed by the HTML5 parser into the tree a browser would build.
// The parser allocates many small pieces per tag; they come from blocks of
// this tree and go all at once with it, which nearly halves the time of a
// parse. Parse errors are not recorded: the tree is all the system reads.
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

private:
    struct Arena;
    std::unique_ptr<Arena> m_arena;
    GumboOutput *m_output = nullptr;
};
