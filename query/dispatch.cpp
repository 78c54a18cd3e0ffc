#include "query/dispatch.h"

#include "query/myhttpget.h"
#include "query/prquery.h"
#include "shell/formstate.h"
#include "shell/textutil.h"
#include "survey/sitequery.h"

#include <QMutexLocker>

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

void release(THTTPGet *request) noexcept
{
    try {
        delete request;
    } catch (...) {
        // Releasing a request never reports an error.
    }
}

} // namespace

void gotourl(FormState &form, const QString &url, qint32 rowindex, const QString &mode)
{
    try {
        QMutexLocker lock(&form.httpcs);
        // There is no URL cache on this platform: every fetch goes to the
        // origin server, so there is no cached copy to delete first.
        form.setLbl13(QStringLiteral("正在查询：") + url);
        auto *request = new Tmyhttpget(&form);
        request->BinaryData = false;
        request->UseCache = false;
        request->Agent = mode == dispatch::ModeSite ? dispatch::AgentSite : dispatch::AgentQuery;
        request->URL = url;
        if (mode == dispatch::ModeReach)
            request->MaxBodySize = dispatch::ReachBodyLimit;
        FormState *state = &form;
        request->OnDoneString = [state](THTTPGet *sender, const QByteArray &result) { getstr(*state, sender, result); };
        request->OnError = [state](THTTPGet *sender) { geterror(*state, sender); };
        request->rowindex = rowindex;
        request->mode = mode;
        request->listGeneration = form.lv1.generation();
        request->FetchString();
    } catch (...) {
        // A request that cannot be started is dropped without a message.
    }
}

void getstr(FormState &form, THTTPGet *Sender, const QByteArray &Result)
{
    auto *request = qobject_cast<Tmyhttpget *>(Sender);
    if (!request) {
        release(Sender);
        return;
    }
    struct Releaser
    {
        THTTPGet *r;
        ~Releaser() { release(r); }
    } releaser{Sender};

    const QString reply = decodeText(Result);
    if (request->mode == dispatch::ModeRank) {
        if (!belongsToList(form, *request))
            return;
        countReply(form);
        form.lv1.setCell(request->rowindex, CellPr, prcell(reply));
        completionCheck(form, true);
    } else if (request->mode == dispatch::ModeReach) {
        if (!belongsToList(form, *request))
            return;
        form.lv1.setCell(request->rowindex, CellAccess, QStringLiteral("√"));
        if (!form.bschck2) {
            countReply(form);
            completionCheck(form, true);
        }
    } else if (request->mode == dispatch::ModeSite) {
        siteReplyBranch(form, request->URL, reply);
    }
}

void geterror(FormState &form, THTTPGet *Sender)
{
    auto *request = qobject_cast<Tmyhttpget *>(Sender);
    if (!request) {
        release(Sender);
        return;
    }
    struct Releaser
    {
        THTTPGet *r;
        ~Releaser() { release(r); }
    } releaser{Sender};

    if (request->mode == dispatch::ModeRank) {
        if (!belongsToList(form, *request))
            return;
        countReply(form);
        form.lv1.setCell(request->rowindex, CellPr, QStringLiteral("--"));
        completionCheck(form, false);
    } else if (request->mode == dispatch::ModeReach) {
        if (!belongsToList(form, *request))
            return;
        form.lv1.setCell(request->rowindex, CellAccess, QStringLiteral("×"));
        if (!form.bschck2) {
            countReply(form);
            completionCheck(form, false);
        }
    } else if (request->mode == dispatch::ModeSite) {
        form.setLbl13(QStringLiteral("提示：") + request->URL + QStringLiteral("访问失败..."));
    }
}

int requestsInFlight(const FormState &form)
{
    return int(form.findChildren<Tmyhttpget *>(QString(), Qt::FindDirectChildrenOnly).size());
}
