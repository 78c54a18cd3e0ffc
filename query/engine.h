#pragma once

#include "shell/formstate.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TRegExp;
struct RankIndexProgress;

// What a run may reach: the ranking front ends and the Open PageRank
// service. Whoever builds an engine says where; nothing is assumed.
struct EngineEndpoints
{
    // Ranking front ends, one host[:port] an entry; empty: the stored pool.
    QStringList servers;
    // The Open PageRank service; empty: that source reaches nothing.
    QString oprEndpoint;
};

// Where PR cells get their answers.
enum class RankChoice {
    Toolbar,
    OpenPageRank,
    GraphFile, // a ranks file of the web graph, offline
};

// How the rank source reaches the user: the key it sends, and the one
// notice of a refused key per run (empty: the standard error box).
struct RankChoiceSeams
{
    std::function<QString()> key;
    std::function<void(const QString &message)> notice;
    // GraphFile: the ranks file, and the reports on the making of its index
    // (false cancels it).
    QString rankFile;
    std::function<bool(const RankIndexProgress &)> indexProgress;
};

// The engine of one window or one command-line run: it owns the run's state
// and composes what a run needs (stored texts, server pool, link pattern,
// the regex object, the rank source, the survey of a site page). It knows no
// widget: the window mirrors the state into its controls and the command
// line reads its signals.
class Engine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Engine)

public:
    explicit Engine(EngineEndpoints endpoints, QObject *parent = nullptr);
    ~Engine() override;

    FormState &state() { return *m_state; }
    const FormState &state() const { return *m_state; }
    const EngineEndpoints &endpoints() const { return m_endpoints; }

    // Replaces the rank source by the chosen one; a source of a run under
    // way stops answering.
    void setRankChoice(RankChoice choice, RankChoiceSeams seams = {});
    RankChoice rankChoice() const { return m_rankChoice; }

private:
    EngineEndpoints m_endpoints;
    FormState *m_state;
    std::unique_ptr<TRegExp> m_myreg;
    RankChoice m_rankChoice = RankChoice::Toolbar;
};
