#include "survey/htmltree.h"

#include "base/errors.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include <sys/mman.h>

// The parser makes and frees a piece of memory or more for every tag, text
// and attribute, and its tree takes some fifteen times the page. Measured
// on this system's pages, the C library's allocator and the first touch of
// fresh memory in small pages took half of a parse and grew faster than the
// page. Here pieces are carved from blocks of 2 MB that the kernel may back
// with huge pages; a freed piece waits on the list of its size (a multiple
// of 16 bytes) for the next one; the whole tree goes at once when the parse
// is done with, and some blocks stay for the next page.
class HtmlTree::Pool final
{
public:
    Pool() = default;
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;
    ~Pool()
    {
        clear();
        for (void *b : m_blocks)
            munmap(b, kBlock);
    }

    static void *allocate(void *self, size_t size) noexcept { return static_cast<Pool *>(self)->take(size); }
    static void deallocate(void *self, void *piece) noexcept { static_cast<Pool *>(self)->give(piece); }

    // Every piece is free again; blocks beyond the limit go.
    void clear()
    {
        for (void *p : m_large)
            std::free(p);
        m_large.clear();
        while (m_blocks.size() > kKeptBlocks) {
            munmap(m_blocks.back(), kBlock);
            m_blocks.pop_back();
        }
        m_next = 0;
        m_cursor = nullptr;
        m_left = 0;
        std::fill(std::begin(m_free), std::end(m_free), nullptr);
    }

private:
    static constexpr size_t kHeader = 16; // keeps every piece aligned as malloc's
    static constexpr size_t kLargest = size_t(64) << 10; // larger pieces come from malloc
    static constexpr size_t kBlock = size_t(2) << 20;
    static constexpr size_t kKeptBlocks = 16; // memory kept between pages

    // The parser is C and cannot pass an exception on: without memory the
    // process ends, as it would inside the parser's own malloc.
    [[noreturn]] static void outOfMemory() { std::abort(); }

    // A block aligned to its size, so that it can be one huge page.
    static void *newBlock()
    {
        void *raw = mmap(nullptr, 2 * kBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            outOfMemory();
        auto *p = static_cast<char *>(raw);
        const size_t skip = (kBlock - (reinterpret_cast<uintptr_t>(p) & (kBlock - 1))) & (kBlock - 1);
        if (skip)
            munmap(p, skip);
        munmap(p + skip + kBlock, kBlock - skip);
        p += skip;
        madvise(p, kBlock, MADV_HUGEPAGE); // a hint: small pages serve as well
        return p;
    }

    void *take(size_t size)
    {
        // A free piece holds the link to the next one on its list.
        const size_t need = (std::max(size, sizeof(void *)) + kHeader + 15) & ~size_t(15);
        if (need > kLargest) {
            if (m_large.size() == m_large.capacity())
                m_large.reserve(m_large.size() * 2 + 16);
            auto *piece = static_cast<char *>(std::malloc(need));
            if (!piece)
                outOfMemory();
            m_large.push_back(piece);
            *reinterpret_cast<size_t *>(piece) = 0;
            return piece + kHeader;
        }
        const size_t list = need / 16;
        if (void *p = m_free[list]) {
            m_free[list] = *static_cast<void **>(p);
            return p;
        }
        if (need > m_left) {
            if (m_next == m_blocks.size()) {
                if (m_blocks.size() == m_blocks.capacity())
                    m_blocks.reserve(m_blocks.size() * 2 + 16);
                m_blocks.push_back(newBlock());
            }
            m_cursor = static_cast<char *>(m_blocks[m_next++]);
            m_left = kBlock;
        }
        char *piece = m_cursor;
        m_cursor += need;
        m_left -= need;
        *reinterpret_cast<size_t *>(piece) = list;
        return piece + kHeader;
    }

    // A large piece stays until the tree goes: the parser frees few.
    void give(void *p)
    {
        if (!p)
            return;
        const size_t list = *reinterpret_cast<const size_t *>(static_cast<char *>(p) - kHeader);
        if (list == 0)
            return;
        *static_cast<void **>(p) = m_free[list];
        m_free[list] = p;
    }

    std::vector<void *> m_blocks;
    size_t m_next = 0; // the first block not yet carved in this parse
    char *m_cursor = nullptr;
    size_t m_left = 0;
    std::vector<void *> m_large;
    void *m_free[kLargest / 16 + 1] = {};
};

namespace {

// The pool of the thread's last tree, waiting for the next one.
thread_local std::unique_ptr<HtmlTree::Pool> spare;

} // namespace

HtmlTree::HtmlTree(const QByteArray &utf8)
    : m_pool(spare ? std::move(spare) : std::make_unique<Pool>())
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Pool::allocate;
    options.deallocator = &Pool::deallocate;
    options.userdata = m_pool.get();
    // Parse errors stay recorded, unread: with a cap on them this parser
    // version leaves a dropped duplicate attribute's name in its buffer, so
    // that a tag repeating one attribute costs time in the square of its
    // length (four megabytes of "<a " took ten seconds).
    options.max_errors = -1;
    m_output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    if (!m_output || !m_output->document) {
        m_pool->clear();
        spare = std::move(m_pool);
        throw AppError(QStringLiteral("The HTML parser returned no document"));
    }
}

HtmlTree::~HtmlTree()
{
    // The output lives in the pool: clearing it frees the whole tree.
    m_pool->clear();
    if (!spare)
        spare = std::move(m_pool);
}

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
