#pragma once

#include <QPlainTextEdit>

#include <utility>
#include <vector>

// The entry box. Its text is the lines exactly as they were given: the text
// document behind a QPlainTextEdit turns U+2029 (and its own frame marks
// U+FDD0, U+FDD1) into line breaks, and toPlainText() turns U+2028 into a
// break and U+00A0 into a space.
//
// So the text set from outside is kept as it was until the user edits it; an
// edited text is read from the document's raw characters, where only the
// breaks between blocks are line breaks. The three characters the document
// cannot hold are shown as stand-ins, whose places are followed through every
// edit and which read back as the characters they stand for.
class TEntryBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEntryBox)

public:
    explicit TEntryBox(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

protected:
    void insertFromMimeData(const QMimeData *source) override;

private:
    // The text as the document can hold it; the stand-ins it needs are added
    // to placed, at their places counted from first.
    static QString withStandIns(QString text, int first, std::vector<std::pair<int, QChar>> &placed);
    void contentsChanged(int position, int removed, int added);

    QString m_given;
    bool m_edited = true;
    bool m_setting = false;
    std::vector<std::pair<int, QChar>> m_standIns; // document position, character; in order
};
