#include "query/engine.h"

#include "data/storedtext.h"
#include "query/graphrank.h"
#include "query/oprsource.h"
#include "query/prquery.h"
#include "query/sitequery.h"
#include "query/toolbarrank.h"
#include "survey/regexp.h"

Engine::Engine(EngineEndpoints endpoints, QObject *parent)
    : QObject(parent)
    , m_endpoints(std::move(endpoints))
    , m_state(new FormState(this))
    , m_myreg(std::make_unique<TRegExp>())
{
    FormState &s = *m_state;
    s.memo3 = storedtext::checksumScript();
    s.memo4 = m_endpoints.servers.isEmpty() ? storedtext::serverPool() : m_endpoints.servers.join(QLatin1Char('\n'));
    s.edt7 = storedtext::linkPattern();
    s.linkexpr = s.edt7;
    s.iplist = iplistFromText(s.memo4);
    s.setRankSource(std::make_unique<ToolbarRankSource>(s));
    s.onSitePage = [this](const QString &siteUrl, const QString &finalUrl, const QString &page) {
        siteReplyBranch(*m_state, *m_myreg, siteUrl, finalUrl, page);
    };
}

Engine::~Engine() = default;

void Engine::setRankChoice(RankChoice choice, RankChoiceSeams seams)
{
    m_rankChoice = choice;
    FormState &s = *m_state;
    if (choice == RankChoice::Toolbar) {
        s.setRankSource(std::make_unique<ToolbarRankSource>(s));
        return;
    }
    if (choice == RankChoice::GraphFile) {
        s.setRankSource(std::make_unique<GraphRankSource>(s, GraphRankSettings {seams.rankFile, QString(), seams.notice, seams.indexProgress}));
        return;
    }
    OprSettings settings;
    settings.endpoint = m_endpoints.oprEndpoint;
    settings.key = std::move(seams.key);
    settings.report = std::move(seams.notice);
    s.setRankSource(std::make_unique<OprRankSource>(s, settings));
}
