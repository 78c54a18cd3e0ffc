#include "survey/htmltree.h"

#include "base/errors.h"

#include <QString>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
// is done with, and some blocks stay for the next page. The pool also
// keeps the parse within its budget (see TreeBudget).
using Clock = std::chrono::steady_clock;

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
        m_largeBytes = 0;
        while (m_blocks.size() > kKeptBlocks) {
            munmap(m_blocks.back(), kBlock);
            m_blocks.pop_back();
        }
        m_next = 0;
        m_cursor = nullptr;
        m_left = 0;
        std::fill(std::begin(m_free), std::end(m_free), nullptr);
        std::fill(std::begin(m_recentNodes), std::end(m_recentNodes), nullptr);
    }

    // From here until disarm, a piece beyond the budget, or one asked for
    // after the deadline, jumps to out instead of returning.
    void arm(std::jmp_buf *out, size_t maxBytes, Clock::time_point deadline)
    {
        m_out = out;
        m_maxBytes = maxBytes;
        m_deadline = deadline;
        m_calls = 0;
        m_exceeded = ReadLimit::Kind::None;
    }
    void disarm() { m_out = nullptr; }
    ReadLimit::Kind exceeded() const { return m_exceeded; }
    size_t bytesHeld() const { return m_next * kBlock + m_largeBytes; }

    // How far into text the parser had read, from the nodes it made last:
    // each points at its own source text. 0 when none tells.
    size_t reachedOffset(const char *text, size_t size) const
    {
        size_t reached = 0;
        for (const void *piece : m_recentNodes) {
            if (!piece)
                continue;
            GumboNode node;
            std::memcpy(&node, piece, sizeof node);
            const char *at = nullptr;
            if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE)
                at = node.v.element.original_tag.data;
            else if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE || node.type == GUMBO_NODE_CDATA || node.type == GUMBO_NODE_COMMENT)
                at = node.v.text.original_text.data;
            // Compared as numbers: a piece reused for something else may
            // hold anything.
            const auto p = reinterpret_cast<uintptr_t>(at);
            const auto first = reinterpret_cast<uintptr_t>(text);
            if (p >= first && p < first + size)
                reached = std::max(reached, size_t(p - first));
        }
        return reached;
    }

private:
    static constexpr size_t kHeader = 16; // keeps every piece aligned as malloc's
    static constexpr size_t kLargest = size_t(64) << 10; // larger pieces come from malloc
    static constexpr size_t kBlock = size_t(2) << 20;
    static constexpr size_t kKeptBlocks = 16; // memory kept between pages
    static constexpr unsigned kClockEvery = 4096; // pieces between looks at the clock

    // The parser is C and cannot pass an exception on: without memory the
    // process ends, as it would inside the parser's own malloc.
    [[noreturn]] static void outOfMemory() { std::abort(); }

    // Leaves the parse: the parser holds nothing but pieces of this pool,
    // which clear() takes back whole, and no frame between here and the
    // jump's target has anything to destroy.
    [[noreturn]] void stop(ReadLimit::Kind why)
    {
        m_exceeded = why;
        std::jmp_buf *out = m_out;
        m_out = nullptr;
        std::longjmp(*out, 1);
    }

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
        if (m_out) {
            if (++m_calls % kClockEvery == 0 && Clock::now() >= m_deadline)
                stop(ReadLimit::Kind::Time);
            if ((need > kLargest || (need > m_left && m_free[need / 16] == nullptr)) && bytesHeld() + std::max(need, kBlock) > m_maxBytes)
                stop(ReadLimit::Kind::Memory);
        }
        void *piece = carve(need);
        if (size == sizeof(GumboNode))
            m_recentNodes[m_nodeCount++ % std::size(m_recentNodes)] = piece;
        return piece;
    }

    void *carve(size_t need)
    {
        if (need > kLargest) {
            if (m_large.size() == m_large.capacity())
                m_large.reserve(m_large.size() * 2 + 16);
            auto *piece = static_cast<char *>(std::malloc(need));
            if (!piece)
                outOfMemory();
            m_large.push_back(piece);
            m_largeBytes += need;
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
    size_t m_largeBytes = 0;
    void *m_free[kLargest / 16 + 1] = {};

    std::jmp_buf *m_out = nullptr;
    size_t m_maxBytes = 0;
    Clock::time_point m_deadline;
    unsigned m_calls = 0;
    ReadLimit::Kind m_exceeded = ReadLimit::Kind::None;
    const void *m_recentNodes[32] = {};
    size_t m_nodeCount = 0;
};

namespace {

// The pool of the thread's last tree, waiting for the next one.
thread_local std::unique_ptr<HtmlTree::Pool> spare;

// No parse error is recorded: each would hold a copy of the stack of open
// elements, memory in the square of the depth (a page of 30,000 nested
// tables took gigabytes). Without a record this parser version leaves a
// repeated attribute's name in its buffer, to run into the next name and
// cost time in the square of the tag; a text given to it must hold no
// repeated attribute (see boundMarkup).
GumboOptions optionsFor(HtmlTree::Pool &pool)
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &HtmlTree::Pool::allocate;
    options.deallocator = &HtmlTree::Pool::deallocate;
    options.userdata = &pool;
    options.max_errors = 0;
    return options;
}

// One parse within the budget; null when it ran out, the pool then holding
// the parser's pieces until it is cleared. Nothing here has a destructor,
// so that the jump out of the parser skips none.
GumboOutput *parseWithin(HtmlTree::Pool &pool, const GumboOptions &options, const char *text, size_t size, size_t maxBytes, Clock::time_point deadline)
{
    std::jmp_buf out;
    pool.arm(&out, maxBytes, deadline);
    if (setjmp(out) != 0)
        return nullptr;
    GumboOutput *output = gumbo_parse_with_options(&options, text, size);
    pool.disarm();
    return output;
}

// Where to cut a text of size bytes for the next try, after a try that
// reached the offset reached: a little before it, at the start of a
// character.
size_t shorterCut(const char *text, size_t size, size_t reached)
{
    size_t cut = reached > 0 ? reached - reached / 4 : size / 2;
    cut = std::min(cut, size / 2 + size / 4);
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

constexpr int kTries = 4;

} // namespace

HtmlTree::HtmlTree(const QByteArray &utf8, const TreeBudget &budget)
    : m_pool(spare ? std::move(spare) : std::make_unique<Pool>())
{
    const GumboOptions options = optionsFor(*m_pool);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + budget.maxTime;
    size_t size = size_t(utf8.size());
    m_limit.totalBytes = utf8.size();
    for (int attempt = 1; !m_output; ++attempt) {
        // Each try may take half of the time left; the last all of it.
        const Clock::time_point now = Clock::now();
        const Clock::time_point deadline = attempt == kTries || now >= end ? end : now + (end - now) / 2;
        if (attempt > kTries || now >= end) {
            if (!m_limit.limited())
                m_limit.kind = ReadLimit::Kind::Time;
            size = 0; // nothing could be read within the budget: an empty tree
            m_output = gumbo_parse_with_options(&options, "", 0);
            break;
        }
        m_output = parseWithin(*m_pool, options, utf8.constData(), size, budget.maxBytes, deadline);
        m_peakBytes = std::max(m_peakBytes, m_pool->bytesHeld());
        if (m_output)
            break;
        m_limit.kind = m_pool->exceeded();
        const size_t reached = m_pool->reachedOffset(utf8.constData(), size);
        m_pool->clear();
        size = shorterCut(utf8.constData(), size, reached);
    }
    m_limit.readBytes = qsizetype(size);
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
