#include "app/entrybox.h"

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

// What the document shows for a character it would turn into a break.
QChar standInFor(QChar c)
{
    switch (c.unicode()) {
    case 0x2029:
        return QChar(0x00B6); // ¶
    case 0xFDD0:
    case 0xFDD1:
        return QChar(0x25A1); // □
    default:
        return QChar();
    }
}

} // namespace

TEntryBox::TEntryBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, &TEntryBox::contentsChanged);
}

void TEntryBox::contentsChanged(int position, int removed, int added)
{
    if (m_setting || (removed == 0 && added == 0))
        return;
    m_edited = true;
    m_given.clear();
    // Stand-ins inside the changed range are gone; those after it move.
    std::vector<std::pair<int, QChar>> kept;
    kept.reserve(m_standIns.size());
    for (const auto &[at, c] : m_standIns) {
        if (at < position)
            kept.emplace_back(at, c);
        else if (at >= position + removed)
            kept.emplace_back(at - removed + added, c);
    }
    m_standIns = std::move(kept);
}

QString TEntryBox::withStandIns(QString text, int first, std::vector<std::pair<int, QChar>> &placed)
{
    // Breaks become one document position each, as the document will hold them.
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar standIn = standInFor(text.at(i));
        if (!standIn.isNull()) {
            placed.emplace_back(first + int(i), text.at(i));
            text[i] = standIn;
        }
    }
    return text;
}

void TEntryBox::setText(const QString &text)
{
    std::vector<std::pair<int, QChar>> placed;
    const QString shown = withStandIns(text, 0, placed);
    m_setting = true;
    setPlainText(shown);
    m_setting = false;
    m_standIns = std::move(placed);
    m_given = text;
    m_edited = false;
}

void TEntryBox::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || isReadOnly()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    std::vector<std::pair<int, QChar>> placed;
    const QString shown = withStandIns(source->text(), cursor.position(), placed);
    cursor.insertText(shown); // moves the stand-ins after it
    cursor.endEditBlock();
    m_standIns.insert(m_standIns.end(), placed.begin(), placed.end());
    std::sort(m_standIns.begin(), m_standIns.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    setTextCursor(cursor);
    ensureCursorVisible();
}

QString TEntryBox::text() const
{
    if (!m_edited)
        return m_given;
    // The raw characters keep U+2028 and U+00A0; U+2029 there is the break
    // between two blocks.
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    for (const auto &[at, c] : m_standIns) {
        if (at >= 0 && at < raw.size())
            raw[at] = c;
    }
    return raw;
}
