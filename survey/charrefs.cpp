#include "survey/charrefs.h"

#include "base/errors.h"
#include "survey/htmltree.h"

#include <QByteArray>

#include <vector>

namespace {

// The markup given to the parser at once; its tree takes some ten times as
// much.
constexpr qsizetype kBatchBytes = qsizetype(1) << 20;

// One piece of a snippet as it goes through the parser. A snippet is cut at
// each U+0000, which no reference contains or produces and which the parser
// would drop or replace.
struct Piece
{
    qsizetype snippet;
    QStringView text;
};

// The piece written so that the parser reads it back as it stands, apart
// from its references: the character that would end the attribute or open
// a tag, and the carriage return that the parser would turn into a line
// feed, are written as references themselves.
void appendEscaped(QByteArray &out, QStringView text, RefContext context)
{
    const char quote = context == RefContext::Attribute ? '"' : '<';
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char(quote) && c != u'\r')
            continue;
        out += text.mid(from, i - from).toUtf8();
        out += c == u'\r' ? "&#13;" : quote == '"' ? "&quot;"
                                                   : "&lt;";
        from = i + 1;
    }
    out += text.mid(from).toUtf8();
}

QString textOf(const GumboNode *span)
{
    QByteArray utf8;
    const GumboVector *kids = HtmlTree::children(span);
    for (unsigned k = 0; kids && k < kids->length; ++k) {
        const auto *n = static_cast<const GumboNode *>(kids->data[k]);
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA)
            utf8 += n->v.text.text;
    }
    return QString::fromUtf8(utf8);
}

const GumboNode *bodyOf(const HtmlTree &tree)
{
    const GumboVector *top = HtmlTree::children(tree.document());
    for (unsigned i = 0; top && i < top->length; ++i) {
        const auto *html = static_cast<const GumboNode *>(top->data[i]);
        if (!HtmlTree::isElement(html, GUMBO_TAG_HTML))
            continue;
        const GumboVector *parts = HtmlTree::children(html);
        for (unsigned j = 0; j < parts->length; ++j) {
            const auto *body = static_cast<const GumboNode *>(parts->data[j]);
            if (HtmlTree::isElement(body, GUMBO_TAG_BODY))
                return body;
        }
    }
    return nullptr;
}

} // namespace

QStringList decodeReferences(const QStringList &snippets, RefContext context)
{
    std::vector<Piece> pieces;
    for (qsizetype i = 0; i < snippets.size(); ++i) {
        const QString &s = snippets.at(i);
        if (!s.contains(u'&'))
            continue;
        for (const QStringView part : QStringView(s).split(QChar(0)))
            pieces.push_back({i, part});
    }
    if (pieces.empty())
        return snippets;

    QStringList decoded = snippets;
    qsizetype current = -1;
    // The pieces go through the parser a batch at a time, so that the tree
    // it builds stays small whatever the page.
    for (size_t first = 0; first < pieces.size();) {
        // One span per piece, the piece as its title or as its text.
        QByteArray html("<!DOCTYPE html><body>");
        size_t end = first;
        while (end < pieces.size() && (end == first || html.size() < kBatchBytes)) {
            const Piece &p = pieces[end++];
            if (context == RefContext::Attribute) {
                html += "<span title=\"";
                appendEscaped(html, p.text, context);
                html += "\"></span>";
            } else {
                html += "<span>";
                appendEscaped(html, p.text, context);
                html += "</span>";
            }
        }
        const HtmlTree tree(html);
        const GumboNode *body = bodyOf(tree);
        const GumboVector *spans = body ? HtmlTree::children(body) : nullptr;
        if (!spans || spans->length != end - first)
            throw AppError(QStringLiteral("The HTML parser did not give back the character references"));

        for (size_t k = first; k < end; ++k) {
            const auto *span = static_cast<const GumboNode *>(spans->data[k - first]);
            if (!HtmlTree::isElement(span, GUMBO_TAG_SPAN))
                throw AppError(QStringLiteral("The HTML parser did not give back the character references"));
            QString &out = decoded[pieces[k].snippet];
            if (pieces[k].snippet != current) {
                current = pieces[k].snippet;
                out.clear();
            } else {
                out += QChar(0);
            }
            if (context == RefContext::Attribute) {
                const char *value = HtmlTree::attribute(span, "title");
                out += QString::fromUtf8(value ? value : "");
            } else {
                out += textOf(span);
            }
        }
        first = end;
    }
    return decoded;
}

QString decodeReferences(const QString &snippet, RefContext context)
{
    return decodeReferences(QStringList {snippet}, context).constFirst();
}
