#include "query/dispatch.h"

#include "base/textutil.h"
#include "fetch/finishedrequest.h"
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

// Follows a counted reply, once its cell has been written.
void completionCheck(FormState &form, bool repaintFirst)
{
    if (form.pr1.value() == form.pr1.maximum()) {
        if (repaintFirst)
            form.repaintList();
        form.setLbl13(QStringLiteral("提示：全部查询完毕"));
    }
}

} // namespace

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

// Writes the answer of a ranking request or a check into its row. prText is
// the PR cell's text for a ranking request; a check writes "√" or "×" and
// keeps its record for the 状态 column.
void routeRowReply(FormState &form, const Tmyhttpget &request, bool success, const QString &prText)
{
    if (!belongsToList(form, request))
        return;
    if (request.mode == dispatch::ModeRank) {
        rankAnswered(form, request.rowindex, prText, success);
    } else {
        checkAnswered(form, request.rowindex, request.FetchRecord(), success ? VerdictClass::Alive : VerdictClass::Dead,
            success ? celltext::Alive : celltext::Dead);
    }
}

void siteFailed(FormState &form, const Tmyhttpget &request)
{
    form.setLbl13(QStringLiteral("提示：") + request.URL + QStringLiteral("访问失败..."));
    emit form.sitePageFailed();
}

bool routesToRow(const Tmyhttpget &request)
{
    return request.mode == dispatch::ModeRank || request.mode == dispatch::ModeReach;
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
    if (request->mode == dispatch::ModeRank)
        routeRowReply(form, *request, true, prcellOfReply(Result));
    else if (request->mode == dispatch::ModeReach)
        routeRowReply(form, *request, pageAnswered(*request), QString());
    else if (request->mode == dispatch::ModeSite && !pageAnswered(*request))
        siteFailed(form, *request);
    else if (request->mode == dispatch::ModeSite && form.onSitePage)
        form.onSitePage(request->URL, request->FetchRecord().finalUrl, decodeText(Result));
}

void geterror(FormState &form, THTTPGet *Sender)
{
    const FinishedRequest done(Sender);
    const auto *request = qobject_cast<Tmyhttpget *>(Sender);
    if (!request)
        return;
    if (routesToRow(*request))
        routeRowReply(form, *request, false, celltext::NoAnswer);
    else if (request->mode == dispatch::ModeSite)
        siteFailed(form, *request);
}

void rankAnswered(FormState &form, qint32 row, const QString &prText, bool repaintFirst)
{
    countReply(form);
    form.lv1.setCell(row, CellPr, prText);
    completionCheck(form, repaintFirst);
    emit form.rowAnswered(row);
}

void checkAnswered(FormState &form, qint32 row, const FetchResult &record, VerdictClass verdict, const QString &accessText, bool fromCache)
{
    form.lv1.setCheck(row, record, fromCache);
    form.lv1.setCell(row, CellAccess, accessText);
    form.lv1.setVerdict(row, verdict);
    if (!form.bschck2) {
        countReply(form);
        completionCheck(form, verdict == VerdictClass::Alive);
    } else if (form.lbl13ShowsRequest()) {
        // The ranking replies count. When the last of them came while this
        // check was still to start, the start's "正在查询：" has covered
        // the finish text: it is shown again.
        completionCheck(form, false);
    }
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
