#include "listfiles/listimportjob.h"

#include <QMetaObject>

#include <exception>
#include <optional>

ListImportJob::ListImportJob(QObject *parent)
    : QObject(parent)
{
}

ListImportJob::~ListImportJob()
{
    cancel();
    join();
}

bool ListImportJob::start(const QString &path, qsizetype capacity)
{
    if (m_running)
        return false;
    join();
    m_running = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_thread = std::thread([this, cancel, path, capacity] {
        std::optional<ListText> list;
        QString error;
        bool cancelled = false;
        try {
            list = readListFile(path, capacity, cancel.get());
        } catch (const ImportCancelled &e) {
            error = e.message();
            cancelled = true;
        } catch (const AppError &e) {
            error = e.message();
        } catch (const std::bad_alloc &) {
            error = QStringLiteral("Out of memory");
        }
        // The job lives until this thread ends (its destructor waits), and
        // Qt drops what was posted to an object it destroys.
        QMetaObject::invokeMethod(
            this, [this, list = std::move(list), error, cancelled] {
                m_running = false;
                if (list)
                    emit finished(*list);
                else
                    emit failed(error, cancelled);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void ListImportJob::cancel()
{
    if (m_cancel)
        m_cancel->store(true);
}

void ListImportJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
