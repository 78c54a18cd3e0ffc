#include "ranks/rankloader.h"

#include "base/errors.h"
#include "ranks/rankbuild.h"

#include <QFileInfo>

#include <utility>

RankIndexLoader::RankIndexLoader(QString source, QString folder, QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
    , m_folder(folder.isEmpty() ? rankIndexFolder() : std::move(folder))
{
}

RankIndexLoader::~RankIndexLoader()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void RankIndexLoader::start()
{
    if (m_state != State::Idle)
        return;
    const std::optional<SourceStamp> stamp = stampOf(m_source);
    if (!stamp) {
        m_state = State::Failed;
        m_error = QStringLiteral("无法打开排名文件 \"%1\": 文件不存在或不是普通文件").arg(m_source);
        return;
    }
    const QString path = rankIndexPath(m_folder, *stamp);
    QString why;
    if (std::unique_ptr<RankIndex> index = RankIndex::open(path, *stamp, &why)) {
        m_index = std::move(index);
        m_state = State::Ready;
        return;
    }
    m_rebuilding = QFileInfo::exists(path);
    m_state = State::Building;
    m_worker = std::thread([this] { work(); });
}

void RankIndexLoader::cancel()
{
    m_cancel = true;
}

void RankIndexLoader::work()
{
    std::shared_ptr<const RankIndex> index;
    QString error;
    bool cancelled = false;
    try {
        const RankBuildSummary built = buildRankIndex(m_source, m_folder, [this](double share) {
            const int thousandths = int(share * 1000);
            if (m_shown.exchange(thousandths) != thousandths)
                QMetaObject::invokeMethod(
                    this, [this, share] { emit progress(share); }, Qt::QueuedConnection);
            return !m_cancel;
        });
        QString why;
        index = RankIndex::open(built.indexPath, built.stamp, &why);
        if (!index)
            throw AppError(QStringLiteral("刚建立的排名索引 \"%1\" 无法使用: %2").arg(built.indexPath, why));
    } catch (const RankBuildCancelled &) {
        cancelled = true;
        error = QStringLiteral("排名文件 \"%1\" 的索引未建立: 已取消").arg(m_source);
    } catch (const AppError &e) {
        error = e.message();
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("内存不足, 无法为排名文件 \"%1\" 建立索引").arg(m_source);
    } catch (const std::exception &e) {
        error = QStringLiteral("无法为排名文件 \"%1\" 建立索引: %2").arg(m_source, QString::fromLocal8Bit(e.what()));
    }
    QMetaObject::invokeMethod(
        this, [this, index, error, cancelled] { ended(index, error, cancelled); }, Qt::QueuedConnection);
}

void RankIndexLoader::ended(std::shared_ptr<const RankIndex> index, const QString &error, bool cancelled)
{
    if (m_worker.joinable())
        m_worker.join();
    m_index = std::move(index);
    m_state = m_index ? State::Ready : State::Failed;
    m_error = error;
    m_cancelledEnd = cancelled;
    emit finished();
}
