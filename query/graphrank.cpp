#include "query/graphrank.h"

#include "base/guard.h"
#include "query/dispatch.h"
#include "query/regdomain.h"
#include "ranks/rankformat.h"
#include "ranks/rankindex.h"
#include "ranks/rankloader.h"
#include "shell/formstate.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <utility>

namespace {

const QString NoRank = QStringLiteral("--");

// A slice of answers takes about this long before the events get their turn.
constexpr int SliceMs = 20;

} // namespace

QString rankIndexProgressText(const RankIndexProgress &progress)
{
    const QString name = QFileInfo(progress.file).fileName();
    if (progress.done)
        return progress.failed ? QStringLiteral("排名文件 %1 的索引未建立").arg(name) : QStringLiteral("排名文件 %1 的索引已建立").arg(name);
    return QStringLiteral("%1排名文件 %2 的索引 (只需一次): %3%")
        .arg(progress.rebuilding ? QStringLiteral("原索引已损坏, 正在重新建立") : QStringLiteral("正在建立"), name)
        .arg(int(progress.share * 100));
}

GraphAnswer graphAnswer(const RankIndex &index, const QString &rowUrl, const QString &release)
{
    const RowDomain where = rowDomain(rowUrl);
    if (where.domain.isEmpty())
        return {NoRank, std::nullopt};
    const std::string domain = reversedDomain(where.domain.toStdString());
    RankLookup found;
    if (index.level() == RankLevel::Host) {
        const std::string host = reversedHost(where.host.toStdString());
        found = index.find(host);
        if (found.kind == RankLookup::Kind::Absent && host != domain)
            found = index.find(domain);
    } else {
        found = index.find(domain);
    }
    switch (found.kind) {
    case RankLookup::Kind::Found:
        return {QString::number(found.hit.score), RankFigures {found.hit.rankPos, found.hit.harmonicPos, release}};
    case RankLookup::Kind::Absent:
        return {QStringLiteral("0"), RankFigures {0, 0, release}};
    case RankLookup::Kind::Ambiguous:
        break;
    }
    return {NoRank, std::nullopt};
}

GraphRankSource::GraphRankSource(FormState &form, GraphRankSettings settings)
    : m_form(form)
    , m_settings(std::move(settings))
    , m_release(rankRelease(m_settings.rankFile))
{
    if (!m_settings.notice)
        m_settings.notice = [](const QString &message) { guard::showError(message); };
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, [this] { guard::run([this] { fillSome(); }); });
}

// The loader stops a build under way and waits for its thread.
GraphRankSource::~GraphRankSource() = default;

bool GraphRankSource::ready() const
{
    return m_loader && m_loader->state() == RankIndexLoader::State::Ready;
}

bool GraphRankSource::failed() const
{
    return m_loader && m_loader->state() == RankIndexLoader::State::Failed;
}

void GraphRankSource::prepare(bool retry)
{
    if (m_loader && !(retry && (failed() || ready())))
        return;
    if (m_loader) {
        // A file that failed as it is now fails again: it is not read again
        // for every run. A cancelled build, or a file changed since, is; and
        // the index of a file replaced by a newer release gives way to the
        // newer one's.
        const std::optional<SourceStamp> now = stampOf(m_settings.rankFile);
        const bool same = now && m_triedSize == now->size && m_triedTime == now->mtimeNs;
        if (same && !m_loader->cancelled())
            return;
        if (ready() && !now)
            return; // gone since: the index made of it still answers
    }
    const std::optional<SourceStamp> stamp = stampOf(m_settings.rankFile);
    m_triedSize = stamp ? std::optional<qint64>(stamp->size) : std::nullopt;
    m_triedTime = stamp ? stamp->mtimeNs : 0;
    m_loader = std::make_unique<RankIndexLoader>(m_settings.rankFile, m_settings.indexFolder);
    connect(m_loader.get(), &RankIndexLoader::progress, this, [this](double share) {
        if (m_settings.progress && !m_settings.progress({m_settings.rankFile, share, false, false, m_loader->rebuilding()}))
            m_loader->cancel();
    });
    connect(m_loader.get(), &RankIndexLoader::finished, this, [this] { guard::run([this] { loaderFinished(); }); });
    if (m_settings.rankFile.isEmpty())
        return; // no file chosen: the loader stays idle, and failed() is false
    m_loader->start();
    if (m_loader->state() == RankIndexLoader::State::Building && m_settings.progress) {
        if (!m_settings.progress({m_settings.rankFile, 0, false, false, m_loader->rebuilding()}))
            m_loader->cancel();
    }
}

void GraphRankSource::listBuilt()
{
    m_filling = true;
    m_fillGeneration = m_form.lv1.generation();
    m_next = 0;
    m_waiting.clear();
    prepare(true);
    if (ready())
        fillSome();
    else if (failed() || m_settings.rankFile.isEmpty())
        settleWithout();
}

void GraphRankSource::queryRow(int row)
{
    // Every row of a list that was built with PR wanted is answered by the
    // fill; a tick reaches here only for the rows of a list built without.
    if (m_filling && m_fillGeneration == m_form.lv1.generation()) {
        // Rows listed after the fill had passed the end (a crawl's) join it.
        if (ready()) {
            if (!m_slice.isActive())
                fillSome();
        } else if (failed() || m_settings.rankFile.isEmpty()) {
            settleWithout();
        }
        return;
    }
    askRow(row, false);
}

void GraphRankSource::requeryRow(int row)
{
    askRow(row, true);
}

void GraphRankSource::askRow(int row, bool retry)
{
    if (m_waitingGeneration != m_form.lv1.generation()) {
        m_waiting.clear();
        m_waitingGeneration = m_form.lv1.generation();
    }
    prepare(retry);
    if (ready()) {
        answerRow(row);
        return;
    }
    m_waiting.append(row);
    if (failed() || m_settings.rankFile.isEmpty())
        settleWithout();
}

int GraphRankSource::rowsWaiting() const
{
    const quint64 generation = m_form.lv1.generation();
    int n = 0;
    if (m_filling && m_fillGeneration == generation)
        n += std::max(0, m_form.lv1.count() - m_next);
    if (m_waitingGeneration == generation)
        n += int(m_waiting.size());
    return n;
}

void GraphRankSource::stop()
{
    // Nothing more is answered in this run; the index, if it is being made,
    // is made all the same for the next.
    m_filling = false;
    m_slice.stop();
    m_waiting.clear();
}

void GraphRankSource::answerRow(int row)
{
    // A blank line is never queried.
    if (!m_form.lv1.hasRow(row) || m_form.lv1.isBlank(row))
        return;
    const GraphAnswer a = graphAnswer(*m_loader->index(), m_form.lv1.cell(row, CellUrl), m_release);
    rankAnswered(m_form, row, RankAnswer {a.cell, QString(), a.figures}, true);
}

void GraphRankSource::fillSome()
{
    const quint64 generation = m_form.lv1.generation();
    if (!m_filling || m_fillGeneration != generation || !ready())
        return;
    QElapsedTimer clock;
    clock.start();
    while (m_next < m_form.lv1.count()) {
        answerRow(m_next++);
        // Answering may run events, and a command among them may rebuild
        // the list: the rest of this fill then belongs to no list.
        if (m_form.lv1.generation() != generation)
            return;
        if ((m_next & 255) == 0 && clock.elapsed() >= SliceMs) {
            m_slice.start();
            return;
        }
    }
}

void GraphRankSource::loaderFinished()
{
    if (m_settings.progress)
        m_settings.progress({m_settings.rankFile, 1, true, !ready(), m_loader->rebuilding()});
    const quint64 generation = m_form.lv1.generation();
    if (ready()) {
        const QList<int> rows = std::exchange(m_waiting, {});
        if (m_waitingGeneration == generation) {
            for (const int row : rows)
                answerRow(row);
        }
        fillSome();
        return;
    }
    settleWithout();
}

void GraphRankSource::settleWithout()
{
    const quint64 generation = m_form.lv1.generation();
    // Nobody asked in this run yet: nothing to say.
    if (rowsWaiting() == 0)
        return;
    const bool cancelled = m_loader && m_loader->cancelled();
    const QString why = m_settings.rankFile.isEmpty() ? QStringLiteral("未选择网络图排名文件") : m_loader->error();
    if (m_waitingGeneration == generation) {
        for (const int row : std::exchange(m_waiting, {})) {
            if (m_form.lv1.hasRow(row) && !m_form.lv1.isBlank(row))
                rankAnswered(m_form, row, NoRank, true);
        }
    }
    if (m_filling && m_fillGeneration == generation) {
        while (m_next < m_form.lv1.count()) {
            const int row = m_next++;
            if (m_form.lv1.isBlank(row))
                continue;
            rankAnswered(m_form, row, NoRank, true);
            if (m_form.lv1.generation() != generation)
                return;
        }
    }
    // Said once the rows are settled: an error box runs events of its own.
    if (cancelled) {
        m_form.setLbl13(QStringLiteral("提示：排名索引未建立, PR 为 --"));
    } else if (m_noticed != generation) {
        m_noticed = generation;
        m_settings.notice(why);
    }
}
