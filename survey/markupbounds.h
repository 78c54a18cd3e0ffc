#pragma once

#include <QByteArray>
#include <QString>

// Why a page's links were read only in part. A hostile page can make the
// HTML5 tree algorithm take time and memory in the square of its size (each
// parse error copies the stack of open elements, every token scans it, and
// an unclosed formatting element is built again at every later tag), so a
// page is read within bounds and the caller learns which one it met.
struct ReadLimit
{
    enum class Kind {
        None, // the whole page was read
        Depth, // start tags beyond the depth bound were left out; their text stays
        Attributes, // a tag with too many attributes was left out
        Memory, // the page was read up to readBytes: the rest would not fit
        Time, // the page was read up to readBytes: the rest took too long
    };
    Kind kind = Kind::None;
    qsizetype readBytes = 0; // of the page's UTF-8 bytes, up to where links were read
    qsizetype totalBytes = 0;

    bool limited() const { return kind != Kind::None; }
    // "解析受限：……" for the status line and standard error; empty when the
    // page was read whole.
    QString text() const;
};

// The bounds a page is read within.
struct MarkupBounds
{
    // Elements open at once, counted the way the tree builder keeps them
    // (implied closings included, roughly); no real page comes near.
    int maxDepth = 256;
    // Formatting elements (b, font, ...) left open at once: each is built
    // again after every closing that passes it, so that many of them cost
    // nodes in the square of the page. They carry no link.
    int maxOpenFormatting = 16;
    int maxAttributes = 64;
};

// The page's bytes with every start tag that would break a bound left out,
// and what was left out. Links, their text and every other character stay:
// only anchors inside a tag that had too many attributes are lost. Never
// drops the start tag of a link (a, area, base) for depth, nor one whose
// content is raw text (script, style, ...), which would show that content
// as markup.
struct BoundedMarkup
{
    QByteArray bytes;
    ReadLimit limit;
};
BoundedMarkup boundMarkup(const QByteArray &utf8, const MarkupBounds &bounds = {});
