#include "app/headless.h"

#include "app/Unit1.h"
#include "listfiles/listexport.h"
#include "listfiles/listimport.h"
#include "query/dispatch.h"
#include "shell/errors.h"
#include "shell/guard.h"
#include "shell/options.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

bool runFinished(FormState &s)
{
    return !s.tmr2.isActive() && requestsInFlight(s) == 0;
}

} // namespace

int runHeadless(const Options &options, const WindowEndpoints &endpoints, QTextStream &err)
{
    QStringList errors;
    const guard::ErrorBox previous = guard::setErrorBox([&errors, &err](const QString &, const QString &message) {
        errors << message;
        err << "错误: " << message << Qt::endl;
    });
    struct Restore
    {
        const guard::ErrorBox &box;
        ~Restore() { guard::setErrorBox(box); }
    } restore{previous};

    WindowEndpoints headlessEndpoints = endpoints;
    headlessEndpoints.bannerUrl.clear(); // a run without a screen loads no banner
    // Nothing to ask and nothing to open without a screen.
    WindowSeams seams;
    seams.openFile = [](const FileDialogQuestion &) { return FileDialogAnswer(); };
    seams.saveFile = seams.openFile;
    seams.openUrl = [](const QUrl &) {};

    TForm1 form(headlessEndpoints, seams);
    if (!errors.isEmpty())
        return 1;
    form.setChoices(!options.noPr, !options.noDeadLink, !options.longForm, options.filterIndex(), options.intervalMs);
    FormState &s = form.state();
    // A site run knows how its page went from the status line, which names
    // the address as it was typed.
    bool pageListed = false;
    bool pageFailed = false;
    QObject::connect(&s, &FormState::lbl13Changed, &form, [&](const QString &text) {
        // Every request start shows its address; the periodic progress line
        // below stands for those.
        if (!text.startsWith(QStringLiteral("正在查询：")))
            err << text << Qt::endl;
        if (text == QStringLiteral("提示：") + s.siteurl + QStringLiteral("访问成功..."))
            pageListed = true;
        else if (text == QStringLiteral("提示：") + s.siteurl + QStringLiteral("访问失败..."))
            pageFailed = true;
    });

    const bool site = !options.site.isEmpty();
    if (site) {
        form.setSiteText(options.site);
        if (!guard::run([&form] { form.btn3Click(); }))
            return 1;
    } else {
        if (!guard::run([&] { form.setEntryText(importListFile(options.batchFile)); }))
            return 1;
        if (!guard::run([&form] { form.btn1Click(); }))
            return 1;
    }

    QDeadlineTimer deadline = options.timeoutSeconds > 0 ? QDeadlineTimer(qint64(options.timeoutSeconds) * 1000) : QDeadlineTimer(QDeadlineTimer::Forever);
    QElapsedTimer sinceReport;
    sinceReport.start();
    int lastDone = -1;
    for (;;) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
        if (pageFailed || !errors.isEmpty())
            return 1;
        if (runFinished(s)) {
            if (!site || pageListed)
                break;
            err << "失败: " << s.lbl13() << Qt::endl; // the page request never started
            return 1;
        }
        if (deadline.hasExpired()) {
            err << "超时: " << options.timeoutSeconds << " 秒内未完成 (" << s.donecount << "/" << s.pr1.maximum() << ")" << Qt::endl;
            return 1;
        }
        if (s.donecount != lastDone && sinceReport.elapsed() >= 1000) {
            lastDone = s.donecount;
            sinceReport.restart();
            err << "进度: " << s.curindex << "/" << s.lv1.count() << " 行已发送, " << s.donecount << " 个回复" << Qt::endl;
        }
    }
    if (!guard::run([&] { exportList(s.lv1, s.bschck1, options.outFile); }))
        return 1;
    err << "完成: " << s.lv1.count() << " 行 -> " << options.outFile << Qt::endl;
    return 0;
}
