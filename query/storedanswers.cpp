#include "query/storedanswers.h"

#include "query/dispatch.h"
#include "query/regdomain.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "store/resultstore.h"

#include <QDateTime>
#include <QScopedValueRollback>

#include <algorithm>

StoredAnswers::StoredAnswers(FormState &form, ResultStore &store)
    : m_form(form)
    , m_store(store)
{
}

void StoredAnswers::continueWith(qint64 run, QList<std::optional<PriorCheck>> checks, QList<QString> ranks, QList<QString> rankNotes)
{
    m_nextRun = run;
    m_nextChecks = std::move(checks);
    m_nextRanks = std::move(ranks);
    m_nextRankNotes = std::move(rankNotes);
}

void StoredAnswers::followList()
{
    if (m_generation == m_form.lv1.generation())
        return;
    m_generation = m_form.lv1.generation();
    m_priors.clear();
    m_stretchRead.clear();
    m_ranks.clear();
    m_given.clear();
    m_continuedChecks = std::exchange(m_nextChecks, {});
    m_continuedRanks = std::exchange(m_nextRanks, {});
    m_continuedRankNotes = std::exchange(m_nextRankNotes, {});
    m_exceptRun = std::exchange(m_nextRun, 0);
}

qint64 StoredAnswers::exceptRun()
{
    if (m_exceptRun != 0)
        return m_exceptRun;
    return m_currentRun ? m_currentRun->id.load() : 0;
}

QString StoredAnswers::rankKey(const QString &source, const QString &url)
{
    if (source == QLatin1String("opr"))
        return registrableDomain(url);
    return url;
}

const std::optional<PriorState> &StoredAnswers::prior(int row)
{
    followList();
    // Looked up a stretch at a time, in list order as the walk and the
    // queue take the rows.
    constexpr int Stretch = 256;
    const int count = m_form.lv1.count();
    // A crawl's list grows: what was looked up stays, the rows added since
    // are looked up as they are come to.
    if (m_priors.size() < std::size_t(count)) {
        m_priors.resize(std::size_t(count));
        m_stretchRead.resize(std::size_t(count / Stretch + 1), 0);
    }
    const int stretch = row / Stretch;
    const int end = std::min(count, (stretch + 1) * Stretch);
    const int first = stretch * Stretch + m_stretchRead[std::size_t(stretch)];
    if (first < end) {
        m_stretchRead[std::size_t(stretch)] = end - stretch * Stretch;
        std::vector<QString> urls;
        urls.reserve(std::size_t(end - first));
        for (int r = first; r < end; ++r)
            urls.push_back(m_form.lv1.cell(r, CellUrl));
        const qint64 except = exceptRun();
        std::vector<std::optional<PriorState>> found = m_store.lastStates(urls, except);
        // The store may have written this run's first records while the
        // question was on its way: a check of this run is no earlier check.
        const qint64 current = m_exceptRun == 0 && m_currentRun ? m_currentRun->id.load() : 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (found[i] && current != 0 && found[i]->runId == current)
                found[i] = m_store.lastStates({urls[i]}, current).front();
            m_priors[std::size_t(first) + i] = std::move(found[i]);
        }
    }
    return m_priors[std::size_t(row)];
}

const std::optional<StoredRank> &StoredAnswers::cachedRank(int row)
{
    followList();
    auto at = m_ranks.find(row);
    if (at != m_ranks.end())
        return *at;
    const QString key = rankKey(m_rankSource, m_form.lv1.cell(row, CellUrl));
    std::optional<StoredRank> found;
    if (!key.isEmpty())
        found = m_store.lastRank(m_rankSource, key, QDateTime::currentMSecsSinceEpoch() - m_cacheAgeMs);
    return *m_ranks.insert(row, std::move(found));
}

bool StoredAnswers::given(int row, RowQuery what) const
{
    const std::size_t at = std::size_t(row) * 2 + (what == RowQuery::Rank ? 1 : 0);
    return at < m_given.size() && m_given[at];
}

void StoredAnswers::markGiven(int row, RowQuery what)
{
    const std::size_t at = std::size_t(row) * 2 + (what == RowQuery::Rank ? 1 : 0);
    if (m_given.size() <= at)
        m_given.resize(std::max<std::size_t>(at + 1, std::size_t(m_form.lv1.count()) * 2), false);
    m_given[at] = true;
}

StoredAnswers::Known StoredAnswers::checkKnown(int row)
{
    followList();
    // Once only: a re-query of the row asks.
    if (given(row, RowQuery::Check))
        return {};
    if (row < m_continuedChecks.size() && m_continuedChecks.at(row))
        return {Origin::Continued, 0};
    if (m_cacheAgeMs <= 0)
        return {};
    const std::optional<PriorState> &p = prior(row);
    // Only a "√" is taken: a failure may have been a server's bad minute.
    if (p && p->verdict == VerdictClass::Alive && QDateTime::currentMSecsSinceEpoch() - p->checkedAt <= m_cacheAgeMs)
        return {Origin::Cached, p->checkedAt};
    return {};
}

StoredAnswers::Known StoredAnswers::rankKnown(int row)
{
    followList();
    if (given(row, RowQuery::Rank))
        return {};
    if (row < m_continuedRanks.size() && !m_continuedRanks.at(row).isNull())
        return {Origin::Continued, 0};
    // A ranks file answers offline: nothing to spare by a cache.
    if (m_cacheAgeMs <= 0 || m_rankSource.isEmpty() || m_rankSource == QLatin1String("graph"))
        return {};
    const std::optional<StoredRank> &r = cachedRank(row);
    if (r)
        return {Origin::Cached, r->askedAt};
    return {};
}

bool StoredAnswers::knows(int row, RowQuery what)
{
    switch (what) {
    case RowQuery::Rank:
        return rankKnown(row).origin != Origin::Asked;
    case RowQuery::Check:
        return checkKnown(row).origin != Origin::Asked;
    case RowQuery::Whole:
        // A run that asks nothing has nothing to know.
        if (!m_form.bschck2 && !m_form.bschck3)
            return false;
        // A crawl checks its rows itself: the walk asks only the PR.
        return (!m_form.bschck2 || knows(row, RowQuery::Rank)) && (!m_form.bschck3 || !m_form.walkChecks || knows(row, RowQuery::Check));
    }
    return false;
}

bool StoredAnswers::answer(int row, RowQuery what)
{
    if (what == RowQuery::Whole) {
        if (!knows(row, RowQuery::Whole))
            return false;
        if (m_form.bschck2)
            answer(row, RowQuery::Rank);
        if (m_form.bschck3 && m_form.walkChecks && m_form.lv1.hasRow(row))
            answer(row, RowQuery::Check);
        return true;
    }
    const Known known = what == RowQuery::Rank ? rankKnown(row) : checkKnown(row);
    if (known.origin == Origin::Asked)
        return false;
    const QScopedValueRollback<int> writingRow(m_writingRow, row);
    m_writing = known;
    markGiven(row, what);
    if (what == RowQuery::Rank) {
        RankAnswer rank;
        if (known.origin == Origin::Continued) {
            rank.text = m_continuedRanks.at(row);
            rank.note = m_continuedRankNotes.value(row);
        } else {
            rank.text = cachedRank(row)->pr;
            rank.note = cachedRank(row)->note;
        }
        rankAnswered(m_form, row, rank, true);
    } else {
        const std::optional<PriorCheck> p = known.origin == Origin::Continued ? m_continuedChecks.at(row) : m_store.check(prior(row)->checkId);
        if (!p)
            return false; // the store stopped reading
        checkAnswered(m_form, row, p->fetch, p->access, p->verdict, p->verdict == VerdictClass::Alive, known.origin == Origin::Cached);
    }
    return true;
}

StoredAnswers::Taken StoredAnswers::originOf(int row) const
{
    if (row != m_writingRow)
        return {};
    return {m_writing.origin, m_writing.at};
}
