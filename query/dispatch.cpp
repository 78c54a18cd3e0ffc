#include "query/dispatch.h"

#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "query/checkverdict.h"
#include "query/myhttpget.h"
#include "query/prquery.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"

#include <QMutexLocker>

#include <memory>

namespace {

// A reply belongs to the list it was started for. Once the list has been
// cleared or rebuilt, a late reply has no row of its own: it is neither
// written nor counted.
bool belongsToList(const FormState &form, const Tmyhttpget &request)
{
    return request.listGeneration == form.lv1.generation() && form.lv1.hasRow(request.rowindex);
}

void countReply(FormState &form)
{
    ++form.donecount;
    form.pr1.setValue(form.donecount);
}

} // namespace

void completionCheck(FormState &form, bool repaintFirst)
{
    if (form.pr1.value() == form.pr1.maximum() && !form.listGrowing) {
        if (repaintFirst)
            form.repaintList();
        form.setLbl13(QStringLiteral("提示：全部查询完毕"));
    }
}

std::unique_ptr<Tmyhttpget> newRequest(FormState &form, const QString &url, qint32 rowindex, const QString &mode)
{
    auto request = std::make_unique<Tmyhttpget>(&form);
    request->BinaryData = false;
    request->UseCache = false;
    request->Agent = mode == dispatch::ModeSite ? dispatch::AgentSite : dispatch::AgentQuery;
    request->URL = url;
    request->RequestTimeoutMs = form.requestTimeoutMs;
    if (mode == dispatch::ModeReach)
        request->MaxBodySize = dispatch::ReachBodyLimit;
    if (mode == dispatch::ModeRank)
        request->MaxBodySize = RankReplyLimit;
    FormState *state = &form;
    request->OnDoneString = [state](THTTPGet *sender, const QByteArray &result) { getstr(*state, sender, result); };
    request->OnError = [state](THTTPGet *sender) { geterror(*state, sender); };
    request->rowindex = rowindex;
    request->mode = mode;
    request->listGeneration = form.lv1.generation();
    // Told once the request has gone, so that whoever waits for the run's
    // end looks again.
    QObject::connect(request.get(), &QObject::destroyed, state, &FormState::requestReleased);
    return request;
}

void gotourl(FormState &form, const QString &url, qint32 rowindex, const QString &mode)
{
    try {
        QMutexLocker lock(&form.httpcs);
        // There is no URL cache on this platform: every fetch goes to the
        // origin server, so there is no cached copy to delete first.
        form.showRequestStart(url);
        // Owned here until it starts, so that a failure on the way leaves no
        // request behind that would never complete.
        std::unique_ptr<Tmyhttpget> request = newRequest(form, url, rowindex, mode);
        // From here the window owns it, and its completion handler releases it.
        request.release()->FetchString();
    } catch (...) {
        // A request that cannot be started is dropped without a message.
    }
}

namespace {

// A page answers when its body arrived with a final status below 400: an
// error page that the server sends with its 404 is no answer.
bool pageAnswered(const THTTPGet &request)
{
    return request.FetchRecord().finalStatus() < 400;
}

// Writes the answer of a ranking request into its row.
void routeRankReply(FormState &form, const Tmyhttpget &request, bool success, const RankAnswer &answer)
{
    if (belongsToList(form, request))
        rankAnswered(form, request.rowindex, answer, success);
}

// Writes the answer of a check into its row: the mark of its class, and its
// record for the 状态 column. A page that answered 2xx may first be compared
// with its folder's probe, which then answers the row.
void routeCheckReply(FormState &form, const Tmyhttpget &request, bool fetched, const QByteArray &body)
{
    if (!belongsToList(form, request))
        return;
    const FetchResult &record = request.FetchRecord();
    const VerdictClass verdict = checkVerdict(record, fetched, form.statusPolicy);
    if (wantsSoftJudgement(verdict, record) && form.judgeSoft && form.judgeSoft(request.rowindex, request.URL, record, body))
        return;
    checkAnswered(form, request.rowindex, record, verdictMark(verdict), verdict, verdict == VerdictClass::Alive);
}

void siteFailed(FormState &form, const Tmyhttpget &request)
{
    form.setLbl13(QStringLiteral("提示：") + request.URL + QStringLiteral("访问失败..."));
    emit form.sitePageFailed();
}

} // namespace

void getstr(FormState &form, THTTPGet *Sender, const QByteArray &Result)
{
    const FinishedRequest done(Sender);
    const auto *request = qobject_cast<Tmyhttpget *>(Sender);
    if (!request)
        return;
    // A check reads only the status; only ranking replies (whatever their
    // status) and site pages are read, so only they are decoded.
    if (request->mode == dispatch::ModeRank) {
        const RankCell cell = rankCellOfReply(Result);
        routeRankReply(form, *request, true, RankAnswer {cell.text, cell.reason, std::nullopt});
    } else if (request->mode == dispatch::ModeReach) {
        routeCheckReply(form, *request, true, Result);
    } else if (request->mode == dispatch::ModeSite && !pageAnswered(*request)) {
        siteFailed(form, *request);
    } else if (request->mode == dispatch::ModeSite && form.onSitePage) {
        form.onSitePage(request->URL, request->FetchRecord(), Result);
    }
}

void geterror(FormState &form, THTTPGet *Sender)
{
    const FinishedRequest done(Sender);
    const auto *request = qobject_cast<Tmyhttpget *>(Sender);
    if (!request)
        return;
    if (request->mode == dispatch::ModeRank)
        routeRankReply(form, *request, false, RankAnswer {celltext::NoAnswer, QString(), std::nullopt});
    else if (request->mode == dispatch::ModeReach)
        routeCheckReply(form, *request, false, QByteArray());
    else if (request->mode == dispatch::ModeSite)
        siteFailed(form, *request);
}

void checkAnswered(FormState &form, qint32 row, const FetchResult &record, const QString &mark, VerdictClass verdict, bool repaintFirst, bool fromCache)
{
    form.lv1.setCheck(row, record, fromCache);
    form.lv1.setCell(row, CellAccess, mark);
    form.lv1.setVerdict(row, verdict);
    if (!form.bschck2) {
        countReply(form);
        completionCheck(form, repaintFirst);
    } else if (form.lbl13ShowsRequest()) {
        // The ranking replies count. When the last of them came while
        // this check was still to start, the start's "正在查询：" has
        // covered the finish text: it is shown again.
        completionCheck(form, false);
    }
    emit form.rowAnswered(row);
}

void rankAnswered(FormState &form, qint32 row, const QString &prText, bool repaintFirst)
{
    rankAnswered(form, row, RankAnswer {prText, QString(), std::nullopt}, repaintFirst);
}

void rankAnswered(FormState &form, qint32 row, const RankAnswer &answer, bool repaintFirst)
{
    form.lv1.setRankFigures(row, answer.figures);
    form.lv1.setRankNote(row, answer.note);
    countReply(form);
    form.lv1.setCell(row, CellPr, answer.text);
    completionCheck(form, repaintFirst);
    emit form.rowAnswered(row);
}

int requestsInFlight(const FormState &form)
{
    return int(form.findChildren<Tmyhttpget *>(QString(), Qt::FindDirectChildrenOnly).size());
}

void cancelRequests(FormState &form, const QString &mode)
{
    for (Tmyhttpget *request : form.findChildren<Tmyhttpget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (request->mode == mode)
            request->Cancel();
    }
}
