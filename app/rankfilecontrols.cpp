#include "app/rankfilecontrols.h"

#include "listfiles/listfiledialogs.h"
#include "query/graphrank.h"
#include "shell/options.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>

#include <utility>

namespace {

constexpr int Steps = 1000;

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("prquery"), QStringLiteral("prquery"));
}

const QString SourceKey = QStringLiteral("rank/source");
const QString FileKey = QStringLiteral("rank/file");

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

RankChoice windowRankChoice(const Options &options, QString *file)
{
    const QSettings remembered = settings();
    const QString rememberedFile = remembered.value(FileKey).toString();
    Options chosen = options;
    // The file counts for auto only when it was the last choice; the
    // command line's choice goes first.
    const bool given = options.rankSource != QLatin1String("auto") || !options.rankFile.isEmpty();
    if (!given && remembered.value(SourceKey).toString() == QLatin1String("graph"))
        chosen.rankFile = rememberedFile;
    *file = chosen.rankFile.isEmpty() ? rememberedFile : chosen.rankFile;
    const QString name = chosen.chosenRankSource();
    if (name == QLatin1String("graph"))
        return RankChoice::GraphFile;
    return name == QLatin1String("opr") ? RankChoice::OpenPageRank : RankChoice::Toolbar;
}

void rememberRankChoice(RankChoice choice, const QString &file)
{
    QSettings s = settings();
    s.setValue(SourceKey, choice == RankChoice::GraphFile ? QStringLiteral("graph") : choice == RankChoice::OpenPageRank ? QStringLiteral("opr")
                                                                                                                         : QStringLiteral("toolbar"));
    if (!file.isEmpty())
        s.setValue(FileKey, file);
}
