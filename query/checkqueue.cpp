#include "query/checkqueue.h"

#include "fetch/httpget.h"
#include "query/dispatch.h"
#include "query/myhttpget.h"
#include "shell/formstate.h"

CheckQueue::CheckQueue(FormState &form, CheckQueueLimits limits, QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_queue(limits)
{
}

CheckQueue::~CheckQueue() = default;

void CheckQueue::start()
{
    m_total = m_form.lv1.count();
    m_done = 0;
    for (int row = 0; row < m_total; ++row) {
        if (m_form.checkIntercepted(row)) {
            ++m_done;
            continue;
        }
        const QString url = m_form.lv1.cell(row, CellUrl);
        m_queue.add(
            quint64(row), url,
            [this, url, row] {
                std::unique_ptr<Tmyhttpget> request = newRequest(m_form, url, row, dispatch::ModeReach);
                request->Engine = m_engine;
                return std::unique_ptr<THTTPGet>(std::move(request));
            },
            [this](THTTPGet *sender, bool success, const QByteArray &body) {
                // The window's routing writes the verdict and releases the
                // request.
                if (success)
                    getstr(m_form, sender, body);
                else
                    geterror(m_form, sender);
                ++m_done;
                if (finished())
                    emit allDone();
            });
    }
    if (finished()) {
        emit allDone();
        return;
    }
    m_queue.kick();
}
