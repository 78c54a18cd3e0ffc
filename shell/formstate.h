#pragma once

#include "shell/crawlsettings.h"
#include "shell/gauge.h"
#include "shell/knownanswers.h"
#include "shell/resultlist.h"
#include "shell/statuspolicy.h"

#include <QByteArray>
#include <QObject>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class RankSource;

// The module state of the main window and the controls that the handlers
// report through: the result list, the gauge, the labels, the query timer and
// the user's choices. The window mirrors these into its widgets; the handlers
// of every subsystem work on this object alone, so they run without a window.
class FormState final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormState)

public:
    explicit FormState(QObject *parent = nullptr);
    ~FormState() override;

    ResultListModel lv1;
    Gauge pr1;
    QTimer tmr2;

    // Module state
    qint32 curindex = 0;
    qint32 donecount = 0;
    QStringList iplist;
    QString linkexpr;
    QString siteurl;
    QRecursiveMutex httpcs;

    // The stored texts of the window: the checksum script (read at every
    // use), the server pool and the link pattern.
    QString memo3;
    QString memo4;
    QString edt7;

    // True while a tick runs: a timer event that arrives inside one of its
    // request starts does nothing.
    bool inTick = false;

    // Rows of a re-query of several rows still to be sent, one per tick, and
    // the list they belong to.
    QList<int> requeue;
    quint64 requeueGeneration = 0;

    // The user's choices, kept current by the window on every change.
    bool bschck1 = true; // 只导出网址和PR
    bool bschck2 = true; // 查询PR
    bool bschck3 = true; // 死链检测
    int rdlist1 = 0; // 0 所有链接, 1 站内链接, 2 站外链接
    bool bschck4 = false; // 按HTML解析
    bool soft404Check = true; // 软404检测: a 2xx page is compared with its folder's probe
    // The user's moves of reply codes between the classes of a check.
    StatusPolicy statusPolicy;
    CrawlSettings crawl; // 抓取深度, 最多页面, 范围, 遵守robots, 读取sitemap

    // The walk sends the rows' checks; false while a crawl checks its rows
    // itself and the walk asks only the PR.
    bool walkChecks = true;
    // Rows are still being added to the list (a crawl under way): a full
    // gauge does not yet mean that every answer is in.
    bool listGrowing = false;

    // Takes the page of a whole-site query once it has arrived: the address
    // as requested, the fetch record of its reply (the address it was
    // finally read from, its Content-Type, whether the body was cut at the
    // cap) and the page's bytes. The engine installs the survey here, so that the reply routing
    // needs no part of it. The page may be listed later, when its reading
    // ends: sitePageListed or sitePageFailed says when.
    std::function<void(const QString &siteUrl, const FetchResult &record, const QByteArray &body)> onSitePage;

    // What is known of rows before they are asked (a run being continued,
    // the result store's cache); none: every row is asked. Not owned.
    KnownAnswers *knownAnswers = nullptr;
    // Consulted before a row's PR is asked, and before the walk moves on to
    // a row: true when the answer was known and has been written into the
    // row instead.
    bool answerKnown(int row, RowQuery what);
    // Whether answerKnown would answer; nothing is written.
    bool knowsAnswer(int row, RowQuery what) const;

    // Asked in order just before a row's check is sent (by the walk, the
    // check queue or a re-query). One that answers the row itself (a line
    // that is no address, a page that robots.txt forbids) returns true, and
    // no request goes out; then knownAnswers is asked (an answer kept from
    // an earlier run, or in the cache).
    using CheckInterceptor = std::function<bool(int row)>;
    void addCheckInterceptor(CheckInterceptor interceptor) { m_checkInterceptors.push_back(std::move(interceptor)); }
    bool checkIntercepted(int row) const;

    // Takes over the answer of a check that answered 2xx with a page, before
    // its row is answered: the row's index, the address checked, the
    // check's record and the body read. Returns true when it answers the
    // row itself (through checkAnswered, once the page has been compared
    // with its folder's probe); false leaves the row to the routing, which
    // answers it as Alive. Empty: every such row is Alive.
    std::function<bool(int row, const QString &url, const FetchResult &record, const QByteArray &body)> judgeSoft;

    // Every request started from here fails when not completed this long
    // after its start.
    int requestTimeoutMs = 120000;

    const QString &lbl2() const { return m_lbl2; }
    const QString &lbl5() const { return m_lbl5; }
    // "存疑=(n)", beside lbl5: the rows that a server refused to a robot.
    const QString &lblBlocked() const { return m_lblBlocked; }
    const QString &lbl13() const { return m_lbl13; }
    void setLbl2(const QString &text);
    void setLbl5(const QString &text);
    void setLblBlocked(const QString &text);
    // A notice of the run: shown in lbl13 and told as noticeShown.
    void setLbl13(const QString &text);
    // lbl13 names the address of a request being started ("正在查询："); no
    // notice is told for it.
    void showRequestStart(const QString &url);
    // lbl13 still shows the start of a request, not a notice.
    bool lbl13ShowsRequest() const { return m_lbl13ShowsRequest; }

    // Where PR cells get their answers. Until one is set (the engine sets
    // the one the user chose), PR cells get no answer.
    RankSource &rankSource() { return *m_rankSource; }
    const RankSource &rankSource() const { return *m_rankSource; }
    void setRankSource(std::unique_ptr<RankSource> source);

    // Asks the window to repaint the result list at once.
    void repaintList();

signals:
    void lbl2Changed(const QString &text);
    void lbl5Changed(const QString &text);
    void lblBlockedChanged(const QString &text);
    void lbl13Changed(const QString &text);
    void repaintRequested();
    // A list has been built and its walk starts.
    void runStarted();
    // A notice of the run, as lbl13 shows it (never a request start).
    void noticeShown(const QString &text);
    // The answer of a ranking request or a check has been written into row.
    void rowAnswered(int row);
    // A request started from this state has been released.
    void requestReleased();
    // The page of a whole-site query has been listed, or could not be read.
    void sitePageListed();
    void sitePageFailed();
    // "停止" was pressed.
    void stopRequested();

private:
    QString m_lbl2;
    QString m_lbl5;
    QString m_lblBlocked;
    QString m_lbl13;
    bool m_lbl13ShowsRequest = false;
    std::vector<CheckInterceptor> m_checkInterceptors;
    std::unique_ptr<RankSource> m_rankSource;
};
