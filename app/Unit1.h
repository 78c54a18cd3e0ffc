#pragma once

#include "listfiles/listfiledialogs.h"
#include "query/engine.h"
#include "shell/formstate.h"
#include "shell/rowdetails.h"
#include "shell/windowsettings.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class ListCounts;
class QButtonGroup;
class QSettings;
class QSplitter;
class QToolButton;
class TDetailsPane;
class TStatusChart;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class QAction;
class RankFileControls;
class TBannerView;
class TEntryBox;
class ResultListProxy;
class StorePanel;

// What the window reaches outside itself. Tests and the command line replace
// each of these, so that nothing blocks, nothing is launched and no public
// address is contacted.
struct WindowEndpoints
{
    // Ranking front ends, one host[:port] an entry; empty: the stored pool.
    QStringList servers;
    // The banner page; empty: no banner is loaded.
    QString bannerUrl;
    // The Open PageRank service; empty: that source reaches nothing.
    QString oprEndpoint;
    // The result store every run is kept in; empty: none.
    QString storeFile;
};

struct WindowSeams
{
    // Answers a file dialog: the chosen path (empty for cancel) and filter.
    using FileDialog = std::function<FileDialogAnswer(const FileDialogQuestion &)>;
    FileDialog openFile;
    FileDialog saveFile;
    // Opens a web address with the user's default browser.
    std::function<void(const QUrl &)> openUrl;
    // Tells the user, once per run, that the PR source refused its key.
    // Empty: the standard error box.
    std::function<void(const QString &message)> rankSourceNotice;
    // Where the window keeps what it remembers between starts (the PR
    // source and its ranks file among the rest); empty: nothing is
    // remembered (each window starts from the start values).
    std::function<std::unique_ptr<QSettings>()> settings;
    // Reports the making of a ranks file's index (false cancels it). Empty:
    // a progress dialog of the window.
    std::function<bool(const RankIndexProgress &)> rankIndexProgress;
};

// The main window Form1.
class TForm1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    static WindowEndpoints defaultEndpoints();
    static WindowSeams defaultSeams();

    // No defaults: whoever creates the window says where it may reach. The
    // window builds its engine from the endpoints.
    TForm1(WindowEndpoints endpoints, WindowSeams seams, QWidget *parent = nullptr);
    // The window over an engine, which it takes over; storeFile: the result
    // store (empty: none).
    TForm1(std::unique_ptr<Engine> engine, QString bannerUrl, WindowSeams seams, QWidget *parent = nullptr, QString storeFile = QString());
    ~TForm1() override;

    Engine &engine() { return *m_engine; }
    FormState &state() { return *m_state; }
    QString entryText() const;
    void setEntryText(const QString &text);
    // For the command line: the controls that a person would set.
    void setSiteText(const QString &text);
    void setChoices(bool queryPr, bool deadLink, bool exportShort, int linkFilter, int intervalMs);
    // The PR source: the toolbar service, Open PageRank with key in its key
    // field, or a ranks file (rankFile, when given, goes into its field).
    void setRankChoice(RankChoice choice, const QString &key, const QString &rankFile = QString());
    // The key field alone; the source stays as chosen.
    void setRankKey(const QString &key);
    void setHtmlExtract(bool on);
    // The tick box 软404检测.
    void setSoft404Check(bool on);
    // 抓取深度, 最多页面, the scope, 遵守robots and 读取sitemap.
    void setCrawlChoices(const CrawlSettings &crawl);
    TBannerView *banner() const { return WebBrowser1; }
    WindowSeams &seams() { return m_seams; }
    TDetailsPane *detailsPane() const { return m_details; }
    ResultListProxy &view() { return *m_view; }
    // Writes what the window remembers (it does so itself when it closes).
    void saveSettings();
    // What the window remembered at its start, or wrote last.
    const WindowSettings &remembered() const { return m_remembered; }
    // The result store's buttons; null without a store.
    StorePanel *storePanel() const { return m_storePanel; }

    // Handlers, named after their control and event.
    void FormCreate();
    void WebBrowser1DocumentComplete();
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void btn5Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N7Click(); // 打开来源页
    void N8Click(); // 复制网址
    void N9Click(); // 复制最终网址
    void btnStopClick();
    void tmr2Timer();
    void bsknspndt1Change(int value);
    void cbb1Change(int index);

    // The list row of the current row when it is selected; -1 otherwise.
    int selectedRow() const;
    // The list rows of the selected view rows, in view order.
    QList<int> selectedRows() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectControls();
    void nameControls();
    void loadSettings();
    void syncGauge();
    // The counts, the chart and the details follow the list; many answers
    // in a moment are shown once.
    void scheduleRefresh();
    void refreshNow();
    void showDetailsOf(int listRow);
    void columnMenu(const QPoint &at);
    void syncColumnMenu();
    QList<int> shownColumns() const;
    QString prSourceName() const;
    // The sources of a list row: the crawl's when it filled the slot, else
    // the surveyed page's.
    QList<RowSource> sourcesOf(int listRow) const;
    // 网址 takes what the view has beyond the other columns' widths.
    void fitAddressColumn();
    // Keeps the row a tick is about to query in view, unless the person has
    // scrolled away from the row followed last.
    void followRow(int listRow);

    QString m_bannerUrl;
    QString m_storeFile;
    WindowSeams m_seams;
    ListFileDialogs m_dialogs;
    Engine *m_engine = nullptr; // a child of the window
    FormState *m_state = nullptr;
    ResultListProxy *m_view = nullptr;
    ListCounts *m_counts = nullptr;
    bool m_gaugeText = false; // the gauge shows "n/m" once a list was built
    int m_followed = -1; // the list row the view followed last; -1: none yet
    QTimer *m_refresh = nullptr;
    QTimer *m_searchDelay = nullptr;
    bool m_settingsSaved = false; // saved as the window closed: not again
    WindowSettings m_remembered;
    bool m_detailsStale = true;

    // Query panel
    QFrame *bskngrpbx1 = nullptr;
    QLabel *bskngrpbx1Caption = nullptr;
    QLabel *lbl12 = nullptr;
    QLabel *lbl6 = nullptr;
    QLineEdit *edt6 = nullptr;
    QWidget *rdlist1 = nullptr;
    QButtonGroup *rdlist1Group = nullptr;
    QCheckBox *bschck4 = nullptr;
    QLabel *lbl13 = nullptr;
    QPushButton *btn1 = nullptr;
    QPushButton *btn3 = nullptr;
    QPushButton *btn4 = nullptr;
    QCheckBox *bschck2 = nullptr;
    QLabel *lbl14 = nullptr;
    QComboBox *cbb1 = nullptr; // PR来源
    QLineEdit *edt8 = nullptr; // the Open PageRank key
    QCheckBox *bschck5 = nullptr; // 记住密钥
    RankFileControls *m_rankFile = nullptr; // the ranks file
    QToolButton *btnOptions = nullptr; // 选项: the check queue's limits
    QSpinBox *spnConcurrency = nullptr;
    QSpinBox *spnPerHost = nullptr;
    QCheckBox *bschck3 = nullptr;
    QCheckBox *chkSoft404 = nullptr; // 软404检测
    QLabel *lbl1 = nullptr;
    TEntryBox *memo1 = nullptr;
    // Banner
    TBannerView *WebBrowser1 = nullptr;
    // Gauge, with the view line below it and the chart beside both
    QProgressBar *pr1 = nullptr;
    QLineEdit *edtSearch = nullptr;
    TStatusChart *chart1 = nullptr;
    // List strip
    QPushButton *btn2 = nullptr;
    QLabel *lbl2 = nullptr;
    QCheckBox *bschck1 = nullptr;
    QLabel *lbl4 = nullptr;
    QSpinBox *bsknspndt1 = nullptr;
    QLabel *lbl3 = nullptr;
    QPushButton *btn5 = nullptr;
    QLabel *lbl5 = nullptr;
    QLabel *lblBlocked = nullptr; // 存疑=(n)
    QPushButton *btnStop = nullptr;
    QComboBox *cbbFilter = nullptr;
    StorePanel *m_storePanel = nullptr;
    // Crawl strip
    QLabel *lblDepth = nullptr;
    QSpinBox *spnDepth = nullptr; // 抓取深度
    QLabel *lblMaxPages = nullptr;
    QSpinBox *spnMaxPages = nullptr; // 最多页面
    QComboBox *cbbScope = nullptr; // 整站 or 仅本目录
    QCheckBox *bschckRobots = nullptr; // 遵守robots
    QCheckBox *bschckSitemap = nullptr; // 读取sitemap
    // Result list, and the details of its selected row below it
    QSplitter *spl1 = nullptr;
    QTableView *lv1 = nullptr;
    TDetailsPane *m_details = nullptr;
    QMenu *bsknpmn1 = nullptr;
    QMenu *mnuColumns = nullptr; // the header's: which columns are shown
    QAction *N4 = nullptr;
    QAction *N3 = nullptr;
    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N5 = nullptr;
    QAction *N7 = nullptr;
    QAction *N8 = nullptr;
    QAction *N9 = nullptr;
};
