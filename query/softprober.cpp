#include "query/softprober.h"

#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"
#include "fetch/urlparts.h"
#include "query/checkverdict.h"
#include "query/dispatch.h"
#include "query/hostqueue.h"
#include "query/myhttpget.h"
#include "shell/formstate.h"

#include <QRandomGenerator>

namespace {

constexpr int kNameLetters = 25;

// A run without a check queue sends its probes at once.
HostQueueLimits atOnce()
{
    HostQueueLimits limits;
    limits.total = 1000;
    limits.perHost = 1000;
    return limits;
}

QString randomName()
{
    QString name(kNameLetters, Qt::Uninitialized);
    for (QChar &c : name)
        c = QChar(u'a' + QRandomGenerator::global()->bounded(26));
    return name;
}

} // namespace

SoftProber::SoftProber(FormState &form, QObject *parent)
    : QObject(parent)
    , m_form(form)
{
    reset();
}

SoftProber::~SoftProber() = default;

void SoftProber::useQueue(HostQueue *queue)
{
    m_queue = queue ? queue : m_ownQueue.get();
}

void SoftProber::reset()
{
    m_folders.clear();
    m_waitingRows = 0;
    m_sent = 0;
    // Its probes in flight go with it, and their handlers never run.
    m_ownQueue = std::make_unique<HostQueue>(atOnce());
    m_queue = m_ownQueue.get();
}

bool SoftProber::judge(int row, const QString &url, const FetchResult &record, const QByteArray &body)
{
    if (!m_form.soft404Check)
        return false;
    const TSplitURL parts = SplitURL(url);
    qsizetype pathEnd = 0;
    while (pathEnd < parts.Path.size() && parts.Path.at(pathEnd) != u'?' && parts.Path.at(pathEnd) != u'#')
        ++pathEnd;
    const QString path = parts.Path.left(pathEnd);
    if (parts.Path == QLatin1String("/"))
        return false; // the site's root page answers for itself
    const QString origin = (parts.Secure ? QStringLiteral("https://") : QStringLiteral("http://")) + parts.Host + QLatin1Char(':')
        + QString::number(parts.Port);
    const QString folder = path.left(path.lastIndexOf(u'/') + 1);
    const QString key = asciilower(origin) + folder;

    auto at = m_folders.find(key);
    if (at != m_folders.end() && at->state == Folder::State::Behaves)
        return false;
    Waiting waiting {row, m_form.lv1.generation(), record, SoftPage {record.finalUrl, record.hops.size() > 1, PageFingerprint::of(decodeText(body), url)}};
    if (at != m_folders.end() && at->state == Folder::State::AnswersAnything) {
        answer(waiting, isSoftNotFound(waiting.page, at->probe));
        return true;
    }
    const bool first = at == m_folders.end();
    if (first)
        at = m_folders.insert(key, Folder {});
    at->waiting.push_back(std::move(waiting));
    ++m_waitingRows;
    if (first)
        sendProbe(key, origin + folder + randomName(), row);
    return true;
}

void SoftProber::sendProbe(const QString &key, const QString &probeUrl, int order)
{
    HostQueue &queue = *m_queue;
    queue.add(
        quint64(order), probeUrl,
        [this, probeUrl]() -> std::unique_ptr<THTTPGet> {
            ++m_sent;
            // A request of the state like the checks, so that whoever waits
            // for the requests in flight waits for it too; the queue
            // releases it if it never completes.
            auto request = std::make_unique<Tmyhttpget>(&m_form);
            request->mode = dispatch::ModeProbe;
            QObject::connect(request.get(), &QObject::destroyed, &m_form, &FormState::requestReleased);
            request->BinaryData = false;
            request->UseCache = false;
            request->Agent = dispatch::AgentQuery;
            request->URL = probeUrl;
            request->RequestTimeoutMs = m_form.requestTimeoutMs;
            request->MaxBodySize = dispatch::ReachBodyLimit;
            return request;
        },
        [this, key, probeUrl](THTTPGet *sender, bool fetched, const QByteArray &body) {
            const FinishedRequest done(sender);
            probeAnswered(key, probeUrl, sender->FetchRecord(), fetched, body);
        });
    queue.kick();
}

void SoftProber::probeAnswered(const QString &key, const QString &probeUrl, const FetchResult &record, bool fetched, const QByteArray &body)
{
    const auto at = m_folders.find(key);
    if (at == m_folders.end())
        return;
    const int code = record.finalStatus();
    // Anything but a page for the random name (a 404, an error, no answer)
    // leaves nothing to compare with.
    const bool answersAnything = fetched && record.reason == FetchFailure::None && code >= 200 && code < 300;
    if (answersAnything) {
        at->state = Folder::State::AnswersAnything;
        at->probe = SoftPage {record.finalUrl, record.hops.size() > 1, PageFingerprint::of(decodeText(body), probeUrl)};
    } else {
        at->state = Folder::State::Behaves;
    }
    const std::vector<Waiting> waiting = std::move(at->waiting);
    at->waiting.clear();
    const SoftPage probe = at->probe;
    m_waitingRows -= int(waiting.size());
    for (const Waiting &w : waiting)
        answer(w, answersAnything && isSoftNotFound(w.page, probe));
    if (idle())
        emit settled();
}

void SoftProber::answer(const Waiting &waiting, bool notFoundPage)
{
    // A row of a list that has since been cleared or rebuilt is no longer
    // this check's.
    if (m_form.lv1.generation() != waiting.generation || !m_form.lv1.hasRow(waiting.row))
        return;
    const VerdictClass verdict = checkVerdict(waiting.record, true, m_form.statusPolicy,
        notFoundPage ? SoftJudgement::NotFoundPage : SoftJudgement::Genuine);
    checkAnswered(m_form, waiting.row, waiting.record, verdictMark(verdict), verdict, true);
}
