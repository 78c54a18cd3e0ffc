#pragma once

#include "query/engine.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QProgressDialog;
class QPushButton;
struct FileDialogAnswer;
struct FileDialogQuestion;
struct Options;
struct RankIndexProgress;

// The part of the PR来源 box for a ranks file of the web graph: the file's
// field and its chooser button, shown while "网络图排名文件" is chosen, and
// the progress of the file's index while it is made.
class RankFileControls final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RankFileControls)

public:
    using OpenFile = std::function<FileDialogAnswer(const FileDialogQuestion &)>;

    RankFileControls(OpenFile openFile, QWidget *parent);

    QString file() const;
    void setFile(const QString &path);
    // Asks for a ranks file; true when one was chosen.
    bool choose();
    // Shows how far the index has come in a dialog of its own, which the
    // window does not wait for; false once the person has cancelled it.
    bool showProgress(const RankIndexProgress &progress);

signals:
    // The person chose another file with the button.
    void fileChosen();

private:
    OpenFile m_openFile;
    QLineEdit *m_path = nullptr;
    QPushButton *m_browse = nullptr;
    QPointer<QProgressDialog> m_progress;
};

// The PR source at the window's start: what the command line says, else
// "auto" over the ranks file the window remembers (when it was the last
// choice) and the key. file is the ranks file to show: the one given or
// remembered, whichever source is chosen.
RankChoice windowRankChoice(const Options &options, QString *file);
// Remembers the window's choice for its next start.
void rememberRankChoice(RankChoice choice, const QString &file);
