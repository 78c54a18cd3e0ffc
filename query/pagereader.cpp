#include "query/pagereader.h"

#include "base/errors.h"
#include "survey/pagecharset.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace {

// The one thread that reads pages; it goes after a while without work. At
// exit its destruction waits for the page being read.
QThreadPool *readingThread()
{
    static QThreadPool pool;
    static const bool oneAtATime = (pool.setMaxThreadCount(1), true);
    Q_UNUSED(oneAtATime);
    return &pool;
}

PageSurvey survey(const PageReader::Page &page, const PageReader::Reading &reading, PageSurvey *)
{
    return readPageLinks(reading.reader, reading.pattern, decodePage(page.body, page.contentType).text, page.siteUrl, page.pageUrl);
}

LinkSurvey survey(const PageReader::Page &page, const PageReader::Reading &reading, LinkSurvey *)
{
    return surveyPage(reading.reader, reading.pattern, decodePage(page.body, page.contentType).text, page.siteUrl, page.pageUrl);
}

} // namespace

PageReader::PageReader(QObject *parent)
    : QObject(parent)
{
}

PageReader::~PageReader()
{
    // Pages not started yet are skipped; the one being read ends within the
    // parser's time budget, and its answer goes nowhere.
    forget();
}

QString PageReader::cutNote(qsizetype bodyBytes)
{
    return QStringLiteral("已截断：网页超过上限，只读取了前 %1 MB").arg(QString::number(double(bodyBytes) / (1024 * 1024), 'f', 1));
}

void PageReader::forget()
{
    m_generation->fetch_add(1);
    m_pending = 0;
}

template<typename Survey>
void PageReader::read(Page page, Reading reading, std::function<void(Answer<Survey>)> done)
{
    using Result = Answer<Survey>;
    auto *watcher = new QFutureWatcher<Result>(this);
    const quint64 generation = m_generation->load();
    ++m_pending;
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher, generation, done = std::move(done)] {
        watcher->deleteLater();
        if (generation != m_generation->load())
            return;
        --m_pending;
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(readingThread(), [page = std::move(page), reading = std::move(reading), current = m_generation, generation]() -> Result {
        if (current->load() != generation)
            return QString();
        try {
            return survey(page, reading, static_cast<Survey *>(nullptr));
        } catch (const AppError &e) {
            return e.message();
        } catch (const std::bad_alloc &) {
            return QStringLiteral("内存不足，无法解析网页");
        }
    }));
}

void PageReader::readLinks(Page page, Reading reading, std::function<void(Answer<PageSurvey>)> done)
{
    read<PageSurvey>(std::move(page), std::move(reading), std::move(done));
}

void PageReader::readRecords(Page page, Reading reading, std::function<void(Answer<LinkSurvey>)> done)
{
    read<LinkSurvey>(std::move(page), std::move(reading), std::move(done));
}
