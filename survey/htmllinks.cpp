#include "survey/htmllinks.h"

#include "survey/htmltree.h"

#include <string>
#include <vector>

namespace {

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Each run of white space made one space, none at either end. The bytes
// of a multi-byte character are never white space.
QString collapsed(const std::string &utf8)
{
    std::string out;
    out.reserve(utf8.size());
    bool pendingSpace = false;
    for (const char c : utf8) {
        if (isHtmlSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += c;
    }
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

bool hidesText(const GumboNode *node)
{
    return HtmlTree::isElement(node, GUMBO_TAG_SCRIPT) || HtmlTree::isElement(node, GUMBO_TAG_STYLE)
        || node->type == GUMBO_NODE_TEMPLATE;
}

// Pushes the children of node so that they come off the stack in document
// order.
void pushChildren(std::vector<const GumboNode *> &stack, const GumboNode *node)
{
    const GumboVector *kids = HtmlTree::children(node);
    if (!kids)
        return;
    for (unsigned k = kids->length; k-- > 0;)
        stack.push_back(static_cast<const GumboNode *>(kids->data[k]));
}

// The anchor's text, or the alt of its first image when the text is empty.
QString anchorText(const GumboNode *anchor, std::vector<const GumboNode *> &stack, std::string &utf8)
{
    utf8.clear();
    const char *firstAlt = nullptr;
    stack.clear();
    pushChildren(stack, anchor);
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA) {
            utf8 += n->v.text.text;
        } else if (n->type == GUMBO_NODE_ELEMENT && !hidesText(n)) {
            if (!firstAlt && HtmlTree::isElement(n, GUMBO_TAG_IMG))
                firstAlt = HtmlTree::attribute(n, "alt");
            pushChildren(stack, n);
        }
    }
    QString text = collapsed(utf8);
    if (text.isEmpty()) {
        // An area is the region of an image: its own alt is its text.
        const char *alt = HtmlTree::isElement(anchor, GUMBO_TAG_AREA) ? HtmlTree::attribute(anchor, "alt") : firstAlt;
        if (alt)
            text = collapsed(alt);
    }
    return text;
}

} // namespace

PageLinks HtmlLinkExtractor::extract(const QString &page)
{
    BoundedMarkup bounded = boundMarkup(page.toUtf8());
    const HtmlTree tree(bounded.bytes);
    bounded.bytes.clear();
    PageLinks result;
    // A page read in part says so before one whose deeper tags were left out.
    result.limit = tree.limit().limited() ? tree.limit() : bounded.limit;
    std::vector<const GumboNode *> stack;
    std::vector<const GumboNode *> inner;
    std::string utf8;
    pushChildren(stack, tree.document());
    while (!stack.empty()) {
        const GumboNode *n = stack.back();
        stack.pop_back();
        if (n->type != GUMBO_NODE_ELEMENT || hidesText(n))
            continue;
        if (HtmlTree::isElement(n, GUMBO_TAG_A) || HtmlTree::isElement(n, GUMBO_TAG_AREA)) {
            if (const char *href = HtmlTree::attribute(n, "href"))
                result.links.push_back({QString::fromUtf8(href), anchorText(n, inner, utf8)});
        } else if (!result.baseHref && HtmlTree::isElement(n, GUMBO_TAG_BASE)) {
            if (const char *href = HtmlTree::attribute(n, "href"))
                result.baseHref = QString::fromUtf8(href);
        }
        pushChildren(stack, n);
    }
    return result;
}
