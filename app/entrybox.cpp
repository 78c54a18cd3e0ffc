#include "app/entrybox.h"

#include <QTextDocument>

TEntryBox::TEntryBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (m_setting || (removed == 0 && added == 0))
            return;
        m_edited = true;
        m_given.clear();
    });
}

void TEntryBox::setText(const QString &text)
{
    m_setting = true;
    setPlainText(text);
    m_setting = false;
    m_given = text;
    m_edited = false;
}

QString TEntryBox::text() const
{
    if (!m_edited)
        return m_given;
    // The raw characters keep U+2028 and U+00A0; U+2029 there is the break
    // between two blocks.
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}
