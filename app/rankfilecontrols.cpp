#include "app/rankfilecontrols.h"

#include "listfiles/listfiledialogs.h"
#include "query/graphrank.h"
#include "shell/options.h"
#include "shell/windowsettings.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

#include <utility>

namespace {

constexpr int Steps = 1000;

} // namespace

RankFileControls::RankFileControls(OpenFile openFile, QWidget *parent)
    : QWidget(parent)
    , m_openFile(std::move(openFile))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("edtRankFile"));
    m_path->setAccessibleName(QStringLiteral("网络图排名文件"));
    m_path->setReadOnly(true);
    m_path->setPlaceholderText(QStringLiteral("排名文件"));
    m_path->setFixedSize(110, 18);
    m_browse = new QPushButton(QStringLiteral("…"), this);
    m_browse->setObjectName(QStringLiteral("btnRankFile"));
    m_browse->setToolTip(QStringLiteral("选择网络图排名文件"));
    m_browse->setFixedSize(22, 18);
    layout->addWidget(m_path);
    layout->addWidget(m_browse);
    connect(m_browse, &QPushButton::clicked, this, [this] {
        if (choose())
            emit fileChosen();
    });
}

QString RankFileControls::file() const
{
    return m_path->text();
}

void RankFileControls::setFile(const QString &path)
{
    m_path->setText(path);
    m_path->setToolTip(path);
    // The end of a long path says most about the file.
    m_path->setCursorPosition(int(path.size()));
}

bool RankFileControls::choose()
{
    const QString folder = file().isEmpty() ? QString() : QFileInfo(file()).absolutePath();
    const FileDialogAnswer answer
        = m_openFile({QStringLiteral("选择网络图排名文件"), folder, QString(), {QStringLiteral("排名文件 (*.gz *.txt)"), QStringLiteral("所有文件 (*)")}});
    if (answer.path.isEmpty())
        return false;
    setFile(answer.path);
    return true;
}

bool RankFileControls::showProgress(const RankIndexProgress &progress)
{
    if (progress.done) {
        if (m_progress)
            m_progress->deleteLater();
        m_progress = nullptr;
        return true;
    }
    if (!m_progress) {
        m_progress = new QProgressDialog(window());
        m_progress->setObjectName(QStringLiteral("rankIndexProgress"));
        m_progress->setWindowTitle(QStringLiteral("建立排名索引"));
        m_progress->setLabelText(QStringLiteral("%1排名文件的索引 (每个文件只需一次):\n%2")
                                     .arg(progress.rebuilding ? QStringLiteral("原索引已损坏, 正在重新建立") : QStringLiteral("正在建立"),
                                         QFileInfo(progress.file).fileName()));
        m_progress->setCancelButtonText(QStringLiteral("取消"));
        m_progress->setRange(0, Steps);
        // The window goes on while the index is made.
        m_progress->setWindowModality(Qt::NonModal);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setMinimumDuration(0);
        m_progress->show();
    }
    if (m_progress->wasCanceled())
        return false;
    m_progress->setValue(int(progress.share * Steps));
    return true;
}

RankStart windowRankChoice(const Options &options, const WindowSettings &remembered)
{
    RankStart start;
    start.key = options.apiKey().isEmpty() ? remembered.key : options.apiKey();
    start.file = options.rankFile.isEmpty() ? remembered.rankFile : options.rankFile;
    const auto named = [](const QString &name) {
        if (name == QLatin1String("graph"))
            return RankChoice::GraphFile;
        return name == QLatin1String("opr") ? RankChoice::OpenPageRank : RankChoice::Toolbar;
    };
    // The command line goes first.
    if (options.rankSource != QLatin1String("auto") || !options.rankFile.isEmpty()) {
        start.choice = named(options.chosenRankSource());
        return start;
    }
    // Then the source chosen last; but a key given now asks for Open
    // PageRank where the toolbar service was chosen, as auto would.
    if (remembered.rankSource == int(RankChoice::GraphFile) && !remembered.rankFile.isEmpty()) {
        start.choice = RankChoice::GraphFile;
        return start;
    }
    if (remembered.rankSource == int(RankChoice::OpenPageRank) || !options.apiKey().isEmpty()) {
        start.choice = RankChoice::OpenPageRank;
        return start;
    }
    if (remembered.rankSource >= 0) {
        start.choice = RankChoice::Toolbar;
        return start;
    }
    // A first start: auto over the key the window may have kept.
    start.choice = start.key.isEmpty() ? RankChoice::Toolbar : RankChoice::OpenPageRank;
    return start;
}
