#include "survey/htmltree.h"

#include "shell/errors.h"

#include <QString>

#include <cstdlib>
#include <new>
#include <vector>

struct HtmlTree::Arena
{
    static constexpr size_t kBlock = size_t(1) << 20;
    static constexpr size_t kOwnBlock = kBlock / 16; // larger pieces get a block of their own

    std::vector<void *> blocks;
    char *cursor = nullptr;
    size_t left = 0;

    ~Arena()
    {
        for (void *b : blocks)
            std::free(b);
    }

    void *take(size_t size)
    {
        size = (size + 15) & ~size_t(15);
        if (size > kOwnBlock)
            return keep(size);
        if (size > left) {
            cursor = static_cast<char *>(keep(kBlock));
            left = kBlock;
        }
        void *p = cursor;
        cursor += size;
        left -= size;
        return p;
    }

    void *keep(size_t size)
    {
        if (blocks.size() == blocks.capacity()) // so that keeping the block cannot fail
            blocks.reserve(blocks.size() * 2 + 16);
        void *p = std::malloc(size);
        if (!p)
            throw std::bad_alloc();
        blocks.push_back(p);
        return p;
    }

    // The parser is C and cannot pass an exception through: a failed
    // allocation ends the process as the parser's own malloc would.
    static void *allocate(void *self, size_t size) noexcept
    {
        try {
            return static_cast<Arena *>(self)->take(size);
        } catch (...) {
            std::abort();
        }
    }
    static void release(void *, void *) noexcept {}
};

HtmlTree::HtmlTree(const QByteArray &utf8)
    : m_arena(std::make_unique<Arena>())
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::release;
    options.userdata = m_arena.get();
    options.max_errors = 0;
    m_output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    if (!m_output || !m_output->document)
        throw AppError(QStringLiteral("The HTML parser returned no document"));
}

// Every piece of the output lives in the arena: nothing to destroy one by one.
HtmlTree::~HtmlTree() = default;

const GumboNode *HtmlTree::document() const
{
    return m_output->document;
}

const GumboVector *HtmlTree::children(const GumboNode *node)
{
    switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
        return &node->v.document.children;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
        return &node->v.element.children;
    default:
        return nullptr;
    }
}

bool HtmlTree::isElement(const GumboNode *node, GumboTag tag)
{
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag
           && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

const char *HtmlTree::attribute(const GumboNode *node, const char *name)
{
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
        return nullptr;
    const GumboAttribute *a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? a->value : nullptr;
}
