#include "survey/markupbounds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

QString ReadLimit::text() const
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::Depth:
        return QStringLiteral("解析受限：标签嵌套过深，更深的标签已忽略，链接照常列出");
    case Kind::Attributes:
        return QStringLiteral("解析受限：有标签的属性过多，已忽略该标签");
    case Kind::Memory:
        return QStringLiteral("解析受限：页面结构过于复杂，只列出前 %1 字节中的链接").arg(readBytes);
    case Kind::Time:
        return QStringLiteral("解析受限：解析超时，只列出前 %1 字节中的链接").arg(readBytes);
    }
    return QString();
}

namespace {

// A light reading of the tokenizer and of the tree builder's stack: enough
// to know how deep the parser's tree will go, never the tree itself. Where
// it cannot tell, it errs towards more depth.

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// What the reading needs to know of a tag name.
enum TagFlag : unsigned {
    Void = 1u << 0,
    RawText = 1u << 1, // its content is text up to its own end tag
    Formatting = 1u << 2,
    ScopeBoundary = 1u << 3, // stops the search for an element in scope
    TablePart = 1u << 4,
    ClosesParagraph = 1u << 5,
    Heading = 1u << 6,
    ListBoundary = 1u << 7, // stops the search for an open list item
    Foreign = 1u << 8, // svg, math: "/>" closes an element inside
    Merged = 1u << 9, // html, head, body: never a second element
};

struct TagInfo
{
    const char *name;
    unsigned flags;
};

const TagInfo kTags[] = {
    {"area", Void},
    {"base", Void},
    {"basefont", Void},
    {"bgsound", Void},
    {"br", Void},
    {"col", Void},
    {"embed", Void},
    {"frame", Void},
    {"hr", Void | ClosesParagraph},
    {"img", Void},
    {"image", Void},
    {"input", Void},
    {"keygen", Void},
    {"link", Void},
    {"meta", Void},
    {"param", Void},
    {"source", Void},
    {"track", Void},
    {"wbr", Void},
    {"script", RawText},
    {"style", RawText},
    {"xmp", RawText | ClosesParagraph},
    {"iframe", RawText},
    {"noembed", RawText},
    {"noframes", RawText},
    {"title", RawText},
    {"textarea", RawText},
    {"a", Formatting},
    {"b", Formatting},
    {"big", Formatting},
    {"code", Formatting},
    {"em", Formatting},
    {"font", Formatting},
    {"i", Formatting},
    {"nobr", Formatting},
    {"s", Formatting},
    {"small", Formatting},
    {"strike", Formatting},
    {"strong", Formatting},
    {"tt", Formatting},
    {"u", Formatting},
    {"applet", ScopeBoundary},
    {"caption", ScopeBoundary | TablePart},
    {"html", ScopeBoundary | Merged},
    {"table", ScopeBoundary | TablePart | ClosesParagraph | ListBoundary},
    {"td", ScopeBoundary | TablePart | ListBoundary},
    {"th", ScopeBoundary | TablePart | ListBoundary},
    {"marquee", ScopeBoundary},
    {"object", ScopeBoundary},
    {"template", ScopeBoundary | ListBoundary},
    {"button", ScopeBoundary},
    {"svg", ScopeBoundary | Foreign},
    {"math", ScopeBoundary | Foreign},
    {"tbody", TablePart},
    {"thead", TablePart},
    {"tfoot", TablePart},
    {"tr", TablePart},
    {"colgroup", TablePart},
    {"head", Merged},
    {"body", Merged},
    {"frameset", Merged},
    {"address", ClosesParagraph},
    {"article", ClosesParagraph},
    {"aside", ClosesParagraph},
    {"blockquote", ClosesParagraph},
    {"center", ClosesParagraph},
    {"details", ClosesParagraph},
    {"dialog", ClosesParagraph},
    {"dir", ClosesParagraph | ListBoundary},
    {"div", ClosesParagraph},
    {"dl", ClosesParagraph | ListBoundary},
    {"fieldset", ClosesParagraph},
    {"figcaption", ClosesParagraph},
    {"figure", ClosesParagraph},
    {"footer", ClosesParagraph},
    {"form", ClosesParagraph},
    {"h1", ClosesParagraph | Heading},
    {"h2", ClosesParagraph | Heading},
    {"h3", ClosesParagraph | Heading},
    {"h4", ClosesParagraph | Heading},
    {"h5", ClosesParagraph | Heading},
    {"h6", ClosesParagraph | Heading},
    {"header", ClosesParagraph},
    {"hgroup", ClosesParagraph},
    {"li", ClosesParagraph},
    {"dd", ClosesParagraph},
    {"dt", ClosesParagraph},
    {"listing", ClosesParagraph},
    {"main", ClosesParagraph},
    {"menu", ClosesParagraph | ListBoundary},
    {"nav", ClosesParagraph},
    {"ol", ClosesParagraph | ListBoundary},
    {"p", ClosesParagraph},
    {"plaintext", ClosesParagraph},
    {"pre", ClosesParagraph},
    {"section", ClosesParagraph},
    {"summary", ClosesParagraph},
    {"ul", ClosesParagraph | ListBoundary},
    {"select", ListBoundary},
    {"option", 0},
    {"optgroup", 0},
};

unsigned flagsOf(const std::string &name)
{
    static const std::unordered_map<std::string, unsigned> table = [] {
        std::unordered_map<std::string, unsigned> t;
        for (const TagInfo &tag : kTags)
            t.emplace(tag.name, tag.flags);
        return t;
    }();
    const auto it = table.find(name);
    return it == table.end() ? 0u : it->second;
}

// One tag as read.
struct Tag
{
    std::string name;
    unsigned flags = 0;
    bool is(const char *n) const { return name == n; }
};

class Scanner
{
public:
    Scanner(const QByteArray &utf8, const MarkupBounds &bounds)
        : m_in(utf8.constData())
        , m_size(size_t(utf8.size()))
        , m_bounds(bounds)
        , m_source(utf8)
    {
    }

    BoundedMarkup run()
    {
        size_t i = 0;
        while (i < m_size) {
            const char *lt = static_cast<const char *>(std::memchr(m_in + i, '<', m_size - i));
            if (!lt)
                break;
            i = markup(size_t(lt - m_in));
        }
        BoundedMarkup result;
        result.limit.kind = m_kind;
        result.limit.totalBytes = qsizetype(m_size);
        result.limit.readBytes = qsizetype(m_size);
        result.bytes = kept();
        return result;
    }

private:
    // Reads the markup that begins with the "<" at i; returns where the text
    // after it begins.
    size_t markup(size_t i)
    {
        const size_t n = m_size;
        if (i + 1 >= n)
            return n;
        const char c = m_in[i + 1];
        if (c == '!') {
            if (i + 3 < n && m_in[i + 2] == '-' && m_in[i + 3] == '-')
                return comment(i + 4);
            return past('>', i + 2);
        }
        if (c == '?')
            return past('>', i + 2);
        if (c == '/') {
            if (i + 2 < n && isAlpha(m_in[i + 2]))
                return endTag(i);
            return i + 2 < n && m_in[i + 2] == '>' ? i + 3 : past('>', i + 2);
        }
        if (isAlpha(c))
            return startTag(i);
        return i + 1;
    }

    size_t past(char c, size_t from) const
    {
        const void *at = from < m_size ? std::memchr(m_in + from, c, m_size - from) : nullptr;
        return at ? size_t(static_cast<const char *>(at) - m_in) + 1 : m_size;
    }

    // From just after "<!--".
    size_t comment(size_t i) const
    {
        if (i < m_size && m_in[i] == '>')
            return i + 1;
        if (i + 1 < m_size && m_in[i] == '-' && m_in[i + 1] == '>')
            return i + 2;
        for (; i + 2 < m_size; ++i) {
            if (m_in[i] == '-' && m_in[i + 1] == '-' && (m_in[i + 2] == '>' || (m_in[i + 2] == '!' && i + 3 < m_size && m_in[i + 3] == '>')))
                return i + (m_in[i + 2] == '>' ? 3 : 4);
        }
        return m_size;
    }

    size_t name(size_t i, std::string &out) const
    {
        out.clear();
        while (i < m_size && !isSpace(m_in[i]) && m_in[i] != '/' && m_in[i] != '>') {
            if (out.size() < 32)
                out += lower(m_in[i]);
            ++i;
        }
        return i;
    }

    // The attributes up to the end of the tag. Returns where the tag ends
    // (just past ">", or the end of the page for a tag never closed). A
    // repeated attribute is left out, as the parser would leave it: the
    // parser, recording no errors, would run its name into the next one.
    size_t attributes(size_t i, int *count, bool *selfClosing)
    {
        *count = 0;
        *selfClosing = false;
        m_names.clear();
        const size_t n = m_size;
        for (;;) {
            while (i < n && (isSpace(m_in[i]) || m_in[i] == '/')) {
                *selfClosing = m_in[i] == '/';
                ++i;
            }
            if (i >= n)
                return n;
            if (m_in[i] == '>')
                return i + 1;
            *selfClosing = false;
            ++*count;
            const size_t nameBegin = i;
            ++i; // a name may begin with "="
            while (i < n && !isSpace(m_in[i]) && m_in[i] != '/' && m_in[i] != '>' && m_in[i] != '=')
                ++i;
            const size_t nameEnd = i;
            size_t valueEnd = i;
            while (i < n && isSpace(m_in[i]))
                ++i;
            if (i < n && m_in[i] == '=') {
                ++i;
                while (i < n && isSpace(m_in[i]))
                    ++i;
                if (i < n && (m_in[i] == '"' || m_in[i] == '\'')) {
                    i = past(m_in[i], i + 1);
                } else {
                    while (i < n && !isSpace(m_in[i]) && m_in[i] != '>')
                        ++i;
                }
                valueEnd = i;
            }
            if (*count <= m_bounds.maxAttributes && repeats(nameBegin, nameEnd))
                m_removed.emplace_back(nameBegin, valueEnd);
        }
    }

    // True when the tag being read had the attribute [begin, end) already;
    // otherwise notes it.
    bool repeats(size_t begin, size_t end)
    {
        const size_t length = end - begin;
        for (const auto &[b, e] : m_names) {
            if (e - b != length)
                continue;
            size_t k = 0;
            while (k < length && lower(m_in[b + k]) == lower(m_in[begin + k]))
                ++k;
            if (k == length)
                return true;
        }
        m_names.emplace_back(begin, end);
        return false;
    }

    // Past the end tag of a raw-text element whose content begins at i.
    size_t rawText(size_t i, const std::string &tag)
    {
        const size_t n = m_size;
        while (i < n) {
            const void *at = std::memchr(m_in + i, '<', n - i);
            if (!at)
                return n;
            i = size_t(static_cast<const char *>(at) - m_in);
            size_t k = i + 1;
            if (k < n && m_in[k] == '/') {
                ++k;
                size_t j = 0;
                while (j < tag.size() && k + j < n && lower(m_in[k + j]) == tag[j])
                    ++j;
                if (j == tag.size() && (k + j >= n || isSpace(m_in[k + j]) || m_in[k + j] == '/' || m_in[k + j] == '>')) {
                    int count;
                    bool selfClosing;
                    return attributes(k + j, &count, &selfClosing);
                }
            }
            i += 1;
        }
        return n;
    }

    size_t startTag(size_t begin)
    {
        Tag tag;
        const size_t i = name(begin + 1, tag.name);
        tag.flags = flagsOf(tag.name);
        int count = 0;
        bool selfClosing = false;
        const size_t end = attributes(i, &count, &selfClosing);
        if (count > m_bounds.maxAttributes) {
            drop(begin, end, ReadLimit::Kind::Attributes);
            return end;
        }
        if (tag.is("plaintext"))
            return m_size; // the rest is text
        if (tag.flags & RawText)
            return rawText(end, tag.name);
        if ((tag.flags & (Merged | Void)) || (selfClosing && m_foreign > 0))
            return end;
        if (tag.flags & Formatting) {
            // A new a (or nobr) closes the one still open; a link is never
            // left out.
            const bool replaces = (tag.is("a") || tag.is("nobr")) && closeFormatting(tag.name);
            if (!replaces && !tag.is("a") && int(m_formatting.size()) >= m_bounds.maxOpenFormatting) {
                drop(begin, end, ReadLimit::Kind::Depth);
                return end;
            }
            m_formatting.push_back({tag.name, m_stack.size(), begin, end});
            return end;
        }
        closeImplied(tag);
        if (depth() >= m_bounds.maxDepth) {
            drop(begin, end, ReadLimit::Kind::Depth);
            return end;
        }
        push(std::move(tag));
        return end;
    }

    size_t endTag(size_t begin)
    {
        std::string name;
        const size_t i = this->name(begin + 2, name);
        int count;
        bool selfClosing;
        const size_t end = attributes(i, &count, &selfClosing);
        const unsigned flags = flagsOf(name);
        if (flags & Formatting) {
            closeFormatting(name);
            return end;
        }
        if (openCount(name) == 0)
            return end;
        // Table parts close through any cell; anything else stops at the
        // elements that bound a scope.
        for (size_t k = m_stack.size(); k-- > 0;) {
            const Tag &open = m_stack[k];
            if (open.name == name) {
                popTo(k);
                break;
            }
            if ((flags & TablePart) ? (open.is("table") || open.is("template")) : (open.flags & ScopeBoundary) != 0)
                break;
        }
        return end;
    }

    bool closeFormatting(const std::string &name)
    {
        for (size_t k = m_formatting.size(); k-- > 0;) {
            if (m_formatting[k].name == name) {
                m_formatting.erase(m_formatting.begin() + std::ptrdiff_t(k));
                return true;
            }
        }
        return false;
    }

    // The closings that a start tag implies: a new paragraph, list item,
    // cell or row closes the one before it.
    void closeImplied(const Tag &tag)
    {
        if (tag.flags & ClosesParagraph)
            closeInScope({"p"}, 0);
        if (tag.is("li"))
            closeInScope({"li"}, ListBoundary);
        else if (tag.is("dd") || tag.is("dt"))
            closeInScope({"dd", "dt"}, ListBoundary);
        else if (tag.is("td") || tag.is("th"))
            closeInTable({"td", "th"}, {"tr", "table"});
        else if (tag.is("tr"))
            closeInTable({"tr", "td", "th"}, {"tbody", "thead", "tfoot", "table"});
        else if (tag.is("tbody") || tag.is("thead") || tag.is("tfoot"))
            closeInTable({"tbody", "thead", "tfoot", "tr", "td", "th"}, {"table"});
        else if ((tag.flags & Heading) && !m_stack.empty() && (m_stack.back().flags & Heading))
            popTo(m_stack.size() - 1);
        else if (tag.is("option") || tag.is("optgroup")) {
            if (!m_stack.empty() && m_stack.back().is("option"))
                popTo(m_stack.size() - 1);
            if (tag.is("optgroup") && !m_stack.empty() && m_stack.back().is("optgroup"))
                popTo(m_stack.size() - 1);
        }
    }

    static bool named(const Tag &tag, std::initializer_list<const char *> names)
    {
        return std::any_of(names.begin(), names.end(), [&](const char *n) { return tag.is(n); });
    }

    bool anyOpen(std::initializer_list<const char *> names) const
    {
        return std::any_of(names.begin(), names.end(), [&](const char *n) { return openCount(n) > 0; });
    }

    // Closes the nearest of names, unless a scope boundary (or an element
    // with one of the flags stop) comes first.
    void closeInScope(std::initializer_list<const char *> names, unsigned stop)
    {
        if (!anyOpen(names))
            return;
        for (size_t k = m_stack.size(); k-- > 0;) {
            const Tag &open = m_stack[k];
            if (named(open, names)) {
                popTo(k);
                return;
            }
            if (open.flags & (ScopeBoundary | stop))
                return;
        }
    }

    // Closes the nearest of names when it comes before any of stops: the
    // element that holds the new one stays open.
    void closeInTable(std::initializer_list<const char *> names, std::initializer_list<const char *> stops)
    {
        if (!anyOpen(names))
            return;
        for (size_t k = m_stack.size(); k-- > 0;) {
            const Tag &open = m_stack[k];
            if (named(open, stops) || open.is("template"))
                return;
            if (named(open, names)) {
                // The outermost of the run goes, with all inside it.
                size_t first = k;
                while (first > 0 && named(m_stack[first - 1], names))
                    --first;
                popTo(first);
                return;
            }
        }
    }

    int openCount(const std::string &name) const
    {
        const auto it = m_open.find(name);
        return it == m_open.end() ? 0 : it->second;
    }

    void push(Tag tag)
    {
        if (tag.flags & Foreign)
            ++m_foreign;
        ++m_open[tag.name];
        m_stack.push_back(std::move(tag));
    }

    void popTo(size_t k)
    {
        for (size_t j = k; j < m_stack.size(); ++j) {
            if (m_stack[j].flags & Foreign)
                --m_foreign;
            --m_open[m_stack[j].name];
        }
        m_stack.resize(k);
        // A formatting element still open inside a closed one would be built
        // again around every later run of text and every later tag, as many
        // times as there are such elements: it only styles text, so it is
        // left out. A link stays; a new one closes it anyway.
        while (!m_formatting.empty() && m_formatting.back().depth > k) {
            const OpenFormatting &f = m_formatting.back();
            if (f.name != "a")
                m_removed.emplace_back(f.begin, f.end);
            m_formatting.pop_back();
        }
    }

    int depth() const { return int(m_stack.size() + m_formatting.size()); }

    void drop(size_t begin, size_t end, ReadLimit::Kind why)
    {
        if (m_kind == ReadLimit::Kind::None || why == ReadLimit::Kind::Attributes)
            m_kind = why;
        m_removed.emplace_back(begin, end);
    }

    // The page without the tags left out.
    QByteArray kept()
    {
        if (m_removed.empty())
            return m_source;
        std::sort(m_removed.begin(), m_removed.end());
        QByteArray out;
        out.reserve(qsizetype(m_size));
        size_t from = 0;
        for (const auto &[begin, end] : m_removed) {
            // An attribute of a tag left out whole is already gone.
            if (begin < from)
                continue;
            out.append(m_in + from, qsizetype(begin - from));
            from = end;
        }
        out.append(m_in + from, qsizetype(m_size - from));
        return out;
    }

    const char *m_in;
    size_t m_size;
    const MarkupBounds &m_bounds;
    const QByteArray &m_source;
    std::vector<Tag> m_stack;
    std::unordered_map<std::string, int> m_open; // elements of m_stack by name
    struct OpenFormatting
    {
        std::string name;
        size_t depth; // of the stack when it opened
        size_t begin, end; // its start tag
    };
    std::vector<OpenFormatting> m_formatting; // oldest first
    int m_foreign = 0;
    std::vector<std::pair<size_t, size_t>> m_removed; // tags and attributes left out
    std::vector<std::pair<size_t, size_t>> m_names; // of the attributes of the tag being read
    ReadLimit::Kind m_kind = ReadLimit::Kind::None;
};

} // namespace

BoundedMarkup boundMarkup(const QByteArray &utf8, const MarkupBounds &bounds)
{
    return Scanner(utf8, bounds).run();
}
