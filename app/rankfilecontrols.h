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
struct WindowSettings;
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

// The PR source at the window's start, with the key for its field and the
// ranks file to show (the one given, else the one chosen last, whichever
// source is chosen): what the command line says, else the source the window
// remembers (a key given now turns the toolbar service into Open PageRank,
// as auto would), else auto over the key.
struct RankStart
{
    RankChoice choice = RankChoice::Toolbar;
    QString key;
    QString file;
};
RankStart windowRankChoice(const Options &options, const WindowSettings &remembered);
