#pragma once

#include <QPlainTextEdit>

// The entry box. Its text is the lines exactly as they were given: the text
// document behind a QPlainTextEdit turns U+2029 (and its own frame marks
// U+FDD0, U+FDD1) into line breaks, and toPlainText() turns U+2028 into a
// break and U+00A0 into a space. So the text set from outside is kept as it
// was until the user edits it, and an edited text is read from the
// document's raw characters, where only the breaks between its blocks are
// line breaks.
class TEntryBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEntryBox)

public:
    explicit TEntryBox(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

private:
    QString m_given;
    bool m_edited = true;
    bool m_setting = false;
};
