#include "app/Unit1.h"

#include "app/entrybox.h"

#include "app/bannerview.h"
#include "app/detailspane.h"
#include "app/rankfilecontrols.h"
#include "app/rowdelegate.h"
#include "app/statuschart.h"
#include "app/storepanel.h"
#include "base/guard.h"
#include "data/storedtext.h"
#include "listfiles/csvaddresses.h"
#include "listfiles/listexport.h"
#include "listfiles/listfiledialogs.h"
#include "listfiles/listimport.h"
#include "query/batch.h"
#include "query/crawl.h"
#include "query/oprprotocol.h"
#include "query/scheduler.h"
#include "query/sitequery.h"
#include "shell/listcommands.h"
#include "shell/listcounts.h"
#include "shell/resultproxy.h"
#include "shell/windowsettings.h"
#include "store/resultstore.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>
#include <memory>

namespace {

// The narrowest the window opens; it opens wider when the columns shown need
// it, so that none is out of sight at the start.
constexpr int kClientWidth = 682;
constexpr int kClientHeight = 700;
constexpr int kGaugeBlockHeight = 44;
constexpr int kChartWidth = 320;

QWidget *strip(QWidget *parent, int height)
{
    auto *w = new QWidget(parent);
    w->setFixedHeight(height);
    return w;
}

// One line of a strip: the widgets left to right, then empty space, or the
// last widget takes the rest of the line.
QWidget *lineOf(QWidget *parent, int height, std::initializer_list<QWidget *> widgets, bool lastTakesRest = false)
{
    QWidget *line = strip(parent, height);
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->setSpacing(6);
    for (QWidget *w : widgets)
        layout->addWidget(w);
    if (lastTakesRest)
        layout->setStretch(layout->count() - 1, 1);
    else
        layout->addStretch(1);
    return line;
}

// A region of fixed height whose children stand one below the other; a
// child added with stretch 1 takes the rest.
QVBoxLayout *stackIn(QWidget *region, int margin, int spacing)
{
    auto *layout = new QVBoxLayout(region);
    layout->setContentsMargins(0, margin, 0, margin);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

WindowEndpoints TForm1::defaultEndpoints()
{
    WindowEndpoints e;
    e.bannerUrl = storedtext::bannerUrl();
    e.oprEndpoint = opr::DefaultEndpoint;
    e.storeFile = defaultStorePath();
    return e;
}

namespace {

QFileDialog *fileDialog(QWidget *parent, const FileDialogQuestion &question)
{
    auto *dialog = new QFileDialog(parent, question.title, question.folder);
    dialog->setNameFilters(question.filters);
    if (!question.filters.isEmpty())
        dialog->selectNameFilter(question.filters.constFirst());
    if (!question.suggestedName.isEmpty())
        dialog->selectFile(question.suggestedName);
    return dialog;
}

FileDialogAnswer answerOf(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {dialog.selectedFiles().constFirst(), dialog.selectedNameFilter()};
}

// The extension of a filter such as "文本文件 (*.txt)": ".txt".
QString filterSuffix(const QString &filter)
{
    const qsizetype star = filter.lastIndexOf(QLatin1String("(*"));
    return star < 0 ? QString() : filter.mid(star + 2).chopped(1);
}

} // namespace

WindowSeams TForm1::defaultSeams()
{
    WindowSeams s;
    s.openFile = [](const FileDialogQuestion &question) {
        // Only an existing file; a name typed without an extension is looked
        // up with ".txt" added.
        const std::unique_ptr<QFileDialog> dialog(fileDialog(QApplication::activeWindow(), question));
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setDefaultSuffix(QStringLiteral("txt"));
        return answerOf(*dialog);
    };
    s.saveFile = [](const FileDialogQuestion &question) {
        // A typed name is used as typed, and an existing file is overwritten
        // without asking.
        const std::unique_ptr<QFileDialog> dialog(fileDialog(QApplication::activeWindow(), question));
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        // Choosing another filter changes the extension of a name that has
        // one of the filters' extensions, so that a CSV export is not named
        // ".txt". Qt's own dialog only; a native one keeps its own ways.
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            QObject::connect(dialog.get(), &QFileDialog::filterSelected, name, [name, filters = question.filters](const QString &chosen) {
                const QString to = filterSuffix(chosen);
                for (const QString &f : filters) {
                    const QString from = filterSuffix(f);
                    if (!from.isEmpty() && !to.isEmpty() && name->text().endsWith(from)) {
                        name->setText(name->text().chopped(from.size()) + to);
                        return;
                    }
                }
            });
        }
        return answerOf(*dialog);
    };
    // QDesktopServices hands the address to the desktop's URL handler as an
    // argument; nothing goes through a shell.
    s.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    // The user's own settings file (~/.config/prquery/prquery.conf).
    s.settings = [] { return std::make_unique<QSettings>(QStringLiteral("prquery"), QStringLiteral("prquery")); };
    return s;
}

namespace {

std::unique_ptr<Engine> engineFor(const WindowEndpoints &endpoints)
{
    EngineEndpoints e;
    e.servers = endpoints.servers;
    e.oprEndpoint = endpoints.oprEndpoint;
    return std::make_unique<Engine>(e);
}

} // namespace

TForm1::TForm1(WindowEndpoints endpoints, WindowSeams seams, QWidget *parent)
    : TForm1(engineFor(endpoints), endpoints.bannerUrl, std::move(seams), parent, endpoints.storeFile)
{
}

TForm1::TForm1(std::unique_ptr<Engine> engine, QString bannerUrl, WindowSeams seams, QWidget *parent, QString storeFile)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_bannerUrl(std::move(bannerUrl))
    , m_storeFile(std::move(storeFile))
    , m_seams(std::move(seams))
    , m_engine(engine.release())
    , m_state(&m_engine->state())
    , m_view(new ResultListProxy(m_state->lv1, this))
    , m_counts(new ListCounts(m_state->lv1, this))
{
    m_engine->setParent(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KelvrayGoogle PR批量查询工具V1.0"));
    buildControls();
    nameControls();
    connectControls();
    // Every column shown at the start fits without a sideways scroll.
    int columns = 0;
    for (int c = 0; c < ResultListModel::ColumnCount; ++c)
        columns += lv1->isColumnHidden(c) ? 0 : lv1->columnWidth(c);
    const int width = std::max(kClientWidth, columns + 2 * lv1->frameWidth() + lv1->verticalScrollBar()->sizeHint().width() + 2);
    resize(width, kClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width / 2, kClientHeight / 2));
    }
    loadSettings();
    refreshNow();
    guard::run([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    saveSettings();
    // The store records the run's end from the engine's list: it goes
    // while the engine is still there.
    delete m_storePanel;
}

void TForm1::buildControls()
{
    QVBoxLayout *outer = stackIn(this, 0, 0);
    // First: what it says about the store is in the status line from the start.
    if (!m_storeFile.isEmpty())
        m_storePanel = new StorePanel(*m_engine, m_storeFile, this);

    // Query panel: caption bar 22, site strip 75, batch area 184.
    // A group box whose caption bar takes exactly the top 22 pixels, whatever
    // the style would give a QGroupBox title.
    bskngrpbx1 = new QFrame(this);
    bskngrpbx1->setObjectName(QStringLiteral("bskngrpbx1"));
    bskngrpbx1->setFrameShape(QFrame::NoFrame);
    bskngrpbx1->setFixedHeight(281);
    QVBoxLayout *panel = stackIn(bskngrpbx1, 0, 0);
    bskngrpbx1Caption = new QLabel(QStringLiteral("Google PR批量查询"), bskngrpbx1);
    bskngrpbx1Caption->setObjectName(QStringLiteral("bskngrpbx1Caption"));
    bskngrpbx1Caption->setFixedHeight(22);
    bskngrpbx1Caption->setIndent(6);
    bskngrpbx1Caption->setAutoFillBackground(true);
    bskngrpbx1Caption->setBackgroundRole(QPalette::Mid);
    panel->addWidget(bskngrpbx1Caption);

    lbl12 = new QLabel(QStringLiteral("整站PR查询，请在下面输入您的域名："), this);
    lbl6 = new QLabel(QStringLiteral("注意：查询太频繁会被GOOGLE屏蔽IP"), this);
    QPalette red = lbl6->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lbl6->setPalette(red);
    edt6 = new QLineEdit(QStringLiteral("http://"), this);
    edt6->setFixedWidth(321);
    rdlist1 = new QWidget(this);
    auto *radios = new QHBoxLayout(rdlist1);
    radios->setContentsMargins(0, 0, 0, 0);
    rdlist1Group = new QButtonGroup(rdlist1);
    const QString items[] = {QStringLiteral("所有链接"), QStringLiteral("站内链接"), QStringLiteral("站外链接")};
    for (int i = 0; i < 3; ++i) {
        auto *b = new QRadioButton(items[i], rdlist1);
        b->setObjectName(QStringLiteral("rdlist1_%1").arg(i));
        rdlist1Group->addButton(b, i);
        radios->addWidget(b);
    }
    rdlist1Group->button(0)->setChecked(true);
    bschck4 = new QCheckBox(QStringLiteral("按HTML解析"), this);
    lbl13 = new QLabel(m_state->lbl13(), this);
    // The status shows whole request addresses; a long one is cut at the
    // window's edge instead of widening the window.
    lbl13->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    // How far 整站查询 goes: depth 1 reads the typed page alone.
    lblDepth = new QLabel(QStringLiteral("抓取深度"), this);
    spnDepth = new QSpinBox(this);
    spnDepth->setRange(1, CrawlSettings::MaxDepth);
    spnDepth->setValue(1);
    lblMaxPages = new QLabel(QStringLiteral("最多页面"), this);
    spnMaxPages = new QSpinBox(this);
    spnMaxPages->setRange(1, CrawlSettings::MaxPagesLimit);
    spnMaxPages->setValue(10000);
    cbbScope = new QComboBox(this);
    cbbScope->addItems({QStringLiteral("整站"), QStringLiteral("仅本目录")});
    bschckRobots = new QCheckBox(QStringLiteral("遵守robots"), this);
    bschckRobots->setChecked(true);
    bschckSitemap = new QCheckBox(QStringLiteral("读取sitemap"), this);
    bschckSitemap->setChecked(true);

    QWidget *site = strip(bskngrpbx1, 75);
    site->setObjectName(QStringLiteral("siteStrip"));
    QVBoxLayout *siteLines = stackIn(site, 2, 2);
    // The crawl's choices share the lines: the status keeps the most room.
    if (m_storePanel)
        siteLines->addWidget(lineOf(site, 20, {lbl12, lbl6, bschckRobots, bschckSitemap, m_storePanel}));
    else
        siteLines->addWidget(lineOf(site, 20, {lbl12, lbl6, bschckRobots, bschckSitemap}));
    siteLines->addWidget(lineOf(site, 24, {edt6, rdlist1, bschck4}));
    siteLines->addWidget(lineOf(site, 23, {lblDepth, spnDepth, lblMaxPages, spnMaxPages, cbbScope, lbl13}, true));
    panel->addWidget(site);

    btn1 = new QPushButton(QStringLiteral("批量查询PR"), this);
    btn3 = new QPushButton(QStringLiteral("整站查询"), this);
    btn4 = new QPushButton(QStringLiteral("导入查询列表"), this);
    bschck2 = new QCheckBox(QStringLiteral("查询PR"), this);
    bschck3 = new QCheckBox(QStringLiteral("死链检测"), this);
    bschck2->setChecked(true);
    bschck3->setChecked(true);
    lbl14 = new QLabel(QStringLiteral("PR来源"), this);
    cbb1 = new QComboBox(this);
    // In the order of RankChoice.
    cbb1->addItems({QStringLiteral("工具栏"), QStringLiteral("Open PageRank"), QStringLiteral("网络图排名文件")});
    edt8 = new QLineEdit(this);
    edt8->setPlaceholderText(QStringLiteral("API密钥"));
    edt8->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    edt8->setFixedSize(110, 18);
    edt8->setVisible(false);
    m_rankFile = new RankFileControls([this](const FileDialogQuestion &q) { return m_seams.openFile(q); }, this);
    m_rankFile->setVisible(false);
    bschck5 = new QCheckBox(QStringLiteral("记住密钥"), this);
    bschck5->setToolTip(QStringLiteral("下次启动时仍使用此密钥 (以明文保存在设置文件中)"));
    bschck5->setVisible(false);
    // The check queue's limits, out of the way of the everyday controls.
    btnOptions = new QToolButton(this);
    btnOptions->setText(QStringLiteral("选项"));
    btnOptions->setPopupMode(QToolButton::InstantPopup);
    auto *options = new QMenu(btnOptions);
    options->setObjectName(QStringLiteral("optionsMenu"));
    auto *limits = new QWidget(options);
    auto *limitsLayout = new QFormLayout(limits);
    limitsLayout->setContentsMargins(8, 6, 8, 6);
    spnConcurrency = new QSpinBox(limits);
    spnConcurrency->setRange(1, 1000);
    spnConcurrency->setValue(CheckQueueLimits().total);
    spnPerHost = new QSpinBox(limits);
    spnPerHost->setRange(1, 1000);
    spnPerHost->setValue(CheckQueueLimits().perHost);
    limitsLayout->addRow(QStringLiteral("同时检测的网址数:"), spnConcurrency);
    limitsLayout->addRow(QStringLiteral("每个主机同时检测:"), spnPerHost);
    // Whether a page that answers 2xx is compared with its folder's answer
    // to a random name.
    chkSoft404 = new QCheckBox(QStringLiteral("软404检测"), limits);
    chkSoft404->setChecked(m_state->soft404Check);
    limitsLayout->addRow(chkSoft404);
    auto *limitsAction = new QWidgetAction(options);
    limitsAction->setDefaultWidget(limits);
    options->addAction(limitsAction);
    btnOptions->setMenu(options);
    lbl1 = new QLabel(QStringLiteral("批量查询PR值，在下面文本框中输入查询地址，每行一个。整站查询请在上面输入域名。"), this);
    memo1 = new TEntryBox(this);
    memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A tab character would go into the address and split the export's
    // fields: Tab moves on to the next control.
    memo1->setTabChangesFocus(true);

    QWidget *batch = strip(bskngrpbx1, 184);
    batch->setObjectName(QStringLiteral("batchArea"));
    QWidget *tools = strip(batch, 49);
    tools->setObjectName(QStringLiteral("toolStrip"));
    QVBoxLayout *toolLines = stackIn(tools, 2, 2);
    toolLines->addWidget(lineOf(tools, 25, {btn1, btn3, btn4, bschck2, lbl14, cbb1, bschck3, btnOptions}));
    // The key field stands after the hint, under the box that shows it; the
    // hint keeps its place whichever source is chosen.
    toolLines->addWidget(lineOf(tools, 18, {lbl1, edt8, bschck5, m_rankFile}));
    QVBoxLayout *batchLayout = stackIn(batch, 0, 0);
    batchLayout->addWidget(tools);
    batchLayout->addWidget(memo1, 1);
    panel->addWidget(batch);
    outer->addWidget(bskngrpbx1);

    // Banner
    WebBrowser1 = new TBannerView(this);
    WebBrowser1->setFixedHeight(62);
    outer->addWidget(WebBrowser1);
    // Without a banner address the region is not shown: the list below
    // takes its height.
    WebBrowser1->setVisible(!m_bannerUrl.isEmpty());

    // The gauge, and below it the view line (search and filter); beside both
    // the chart of the list.
    pr1 = new QProgressBar(this);
    pr1->setFixedHeight(13);
    pr1->setTextVisible(false);
    pr1->setAlignment(Qt::AlignCenter);
    edtSearch = new QLineEdit(this);
    edtSearch->setPlaceholderText(QStringLiteral("搜索网址或链接词 (Ctrl+F)"));
    edtSearch->setClearButtonEnabled(true);
    cbbFilter = new QComboBox(this);
    cbbFilter->addItems(ResultListProxy::filterTexts());
    chart1 = new TStatusChart(this);
    chart1->setFixedWidth(kChartWidth);
    auto *gaugeBlock = new QWidget(this);
    gaugeBlock->setObjectName(QStringLiteral("gaugeBlock"));
    gaugeBlock->setFixedHeight(kGaugeBlockHeight);
    auto *gaugeLayout = new QHBoxLayout(gaugeBlock);
    gaugeLayout->setContentsMargins(0, 0, 6, 0);
    gaugeLayout->setSpacing(6);
    auto *gaugeColumn = new QVBoxLayout;
    gaugeColumn->setContentsMargins(0, 0, 0, 2);
    gaugeColumn->setSpacing(4);
    gaugeColumn->addWidget(pr1);
    auto *viewLine = new QHBoxLayout;
    viewLine->setContentsMargins(6, 0, 0, 0);
    viewLine->setSpacing(6);
    viewLine->addWidget(edtSearch, 1);
    viewLine->addWidget(cbbFilter);
    gaugeColumn->addLayout(viewLine);
    gaugeLayout->addLayout(gaugeColumn, 1);
    gaugeLayout->addWidget(chart1);
    outer->addWidget(gaugeBlock);

    // List strip
    btn2 = new QPushButton(QStringLiteral("导出"), this);
    lbl2 = new QLabel(m_state->lbl2(), this);
    bschck1 = new QCheckBox(QStringLiteral("只导出网址和PR"), this);
    bschck1->setChecked(true);
    lbl4 = new QLabel(QStringLiteral("查询频率："), this);
    bsknspndt1 = new QSpinBox(this);
    bsknspndt1->setRange(200, 100000);
    bsknspndt1->setSingleStep(100);
    bsknspndt1->setValue(1000);
    lbl3 = new QLabel(QStringLiteral("毫秒"), this);
    btn5 = new QPushButton(QStringLiteral("统计死链"), this);
    lbl5 = new QLabel(m_state->lbl5(), this);
    lblBlocked = new QLabel(m_state->lblBlocked(), this);
    btnStop = new QPushButton(QStringLiteral("停止"), this);
    // The controls share the window's width: the buttons take what their
    // texts need, and the counts may be cut short rather than widen the
    // window when they grow long.
    for (QPushButton *b : {btn2, btn5, btnStop})
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(b->text()) + 24);
    for (QLabel *l : {lbl2, lbl5, lblBlocked})
        l->setMinimumWidth(l->sizeHint().width());
    // The two counts of "统计死链" stand one above the other: the strip has
    // no width left for a second one.
    auto *counts = new QWidget(this);
    QVBoxLayout *countLines = stackIn(counts, 0, 0);
    countLines->addWidget(lbl5);
    countLines->addWidget(lblBlocked);
    QWidget *listStrip = lineOf(this, 32, {btn2, lbl2, bschck1, lbl4, bsknspndt1, lbl3, btn5, counts, btnStop});
    listStrip->setObjectName(QStringLiteral("listStrip"));
    outer->addWidget(listStrip);

    // Result list, and below it the details of the selected row: they alone
    // grow and shrink with the window.
    spl1 = new QSplitter(Qt::Vertical, this);
    spl1->setChildrenCollapsible(false);
    lv1 = new QTableView(spl1);
    // The view shows the list through the sorting and filtering model; the
    // list itself never moves, and every view row is mapped back to it.
    lv1->setModel(m_view);
    lv1->setItemDelegate(new TRowDelegate(lv1));
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv1->setShowGrid(false);
    lv1->setWordWrap(false);
    lv1->setContextMenuPolicy(Qt::CustomContextMenu);
    lv1->verticalHeader()->hide();
    lv1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lv1->verticalHeader()->setDefaultSectionSize(lv1->fontMetrics().height() + 4);
    QHeaderView *header = lv1->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    // A click sorts up, the second down, the third gives list order back.
    header->setSectionsClickable(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    lv1->setSortingEnabled(true);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
        lv1->setColumnWidth(c, ResultListModel::columnWidth(c));
        lv1->setColumnHidden(c, !ResultListModel::columnShownAtStart(c));
    }
    // 状态 holds a chain of two hops whole; a longer one is elided in the
    // middle, with the whole chain in its tooltip.
    lv1->setColumnWidth(ColumnStatus,
        std::max(ResultListModel::columnWidth(ColumnStatus), lv1->fontMetrics().horizontalAdvance(QStringLiteral("302→301→200")) + 16));
    lv1->viewport()->installEventFilter(this);
    // The header's menu shows or hides columns; 序号 and 网址 name a row and
    // are always shown.
    mnuColumns = new QMenu(this);
    for (int c = 1; c < ResultListModel::ColumnCount; ++c) {
        if (c == CellUrl + 1)
            continue;
        QAction *shown = mnuColumns->addAction(m_view->headerData(c, Qt::Horizontal).toString());
        shown->setObjectName(QStringLiteral("column%1").arg(c));
        shown->setCheckable(true);
        shown->setChecked(ResultListModel::columnShownAtStart(c));
        shown->setData(c);
        connect(shown, &QAction::triggered, this, [this, c](bool on) {
            lv1->setColumnHidden(c, !on);
            if (on && lv1->columnWidth(c) <= 0)
                lv1->setColumnWidth(c, ResultListModel::columnWidth(c));
            fitAddressColumn();
        });
    }
    m_details = new TDetailsPane(spl1);
    m_details->setVisible(false);
    spl1->addWidget(lv1);
    spl1->addWidget(m_details);
    spl1->setStretchFactor(0, 3);
    spl1->setStretchFactor(1, 1);
    outer->addWidget(spl1, 1);

    bsknpmn1 = new QMenu(this);
    N4 = bsknpmn1->addAction(QStringLiteral("重新查询"));
    N3 = bsknpmn1->addAction(QStringLiteral("导出文本"));
    N1 = bsknpmn1->addAction(QStringLiteral("清空列表"));
    N2 = bsknpmn1->addAction(QStringLiteral("打开网址"));
    N5 = bsknpmn1->addAction(QStringLiteral("复制"));
    N7 = bsknpmn1->addAction(QStringLiteral("打开来源页"));
    N8 = bsknpmn1->addAction(QStringLiteral("复制网址"));
    N9 = bsknpmn1->addAction(QStringLiteral("复制最终网址"));
    // Ctrl+C in the list copies the selected rows, not the current cell.
    N5->setShortcut(QKeySequence::Copy);
    N5->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lv1->addAction(N5);

    syncGauge();
}

void TForm1::nameControls()
{
    // Object names for the code and the tests; accessible names for the
    // people who reach the window through a screen reader.
    const struct
    {
        QObject *object;
        const char *name;
        const char *accessible; // nullptr: no widget, or its own text says it
    } names[] = {
        {lbl12, "lbl12", nullptr},
        {lbl6, "lbl6", nullptr},
        {edt6, "edt6", "整站查询的网址"},
        {rdlist1, "rdlist1", "保留的链接"},
        {bschck4, "bschck4", "按HTML解析"},
        {lblDepth, "lblDepth", nullptr},
        {spnDepth, "spnDepth", "抓取深度"},
        {lblMaxPages, "lblMaxPages", nullptr},
        {spnMaxPages, "spnMaxPages", "最多页面"},
        {cbbScope, "cbbScope", "抓取范围"},
        {bschckRobots, "bschckRobots", "遵守robots"},
        {bschckSitemap, "bschckSitemap", "读取sitemap"},
        {lbl13, "lbl13", "状态"},
        {btn1, "btn1", "批量查询PR"},
        {btn3, "btn3", "整站查询"},
        {btn4, "btn4", "导入查询列表"},
        {bschck2, "bschck2", "查询PR"},
        {bschck3, "bschck3", "死链检测"},
        {lbl14, "lbl14", nullptr},
        {cbb1, "cbb1", "PR来源"},
        {edt8, "edt8", "Open PageRank 的 API 密钥"},
        {bschck5, "bschck5", "记住密钥"},
        {btnOptions, "btnOptions", "选项"},
        {spnConcurrency, "spnConcurrency", "同时检测的网址数"},
        {spnPerHost, "spnPerHost", "每个主机同时检测的网址数"},
        {chkSoft404, "chkSoft404", "软404检测"},
        {m_rankFile, "rankFileControls", nullptr},
        {lbl1, "lbl1", nullptr},
        {memo1, "memo1", "查询网址, 每行一个"},
        {WebBrowser1, "WebBrowser1", "广告"},
        {pr1, "pr1", "查询进度"},
        {edtSearch, "edtSearch", "搜索网址或链接词"},
        {cbbFilter, "cbbFilter", "显示哪些行"},
        {chart1, "chart1", "各类结果的行数, 点击条形只看这些行"},
        {btn2, "btn2", "导出"},
        {lbl2, "lbl2", nullptr},
        {bschck1, "bschck1", "只导出网址和PR"},
        {lbl4, "lbl4", nullptr},
        {bsknspndt1, "bsknspndt1", "查询频率, 毫秒"},
        {lbl3, "lbl3", nullptr},
        {btn5, "btn5", "统计死链"},
        {lbl5, "lbl5", nullptr},
        {lblBlocked, "lblBlocked", nullptr},
        {btnStop, "btnStop", "停止"},
        {spl1, "spl1", nullptr},
        {lv1, "lv1", "结果列表"},
        {bsknpmn1, "bsknpmn1", "结果列表的菜单"},
        {mnuColumns, "mnuColumns", "显示的列"},
        {N4, "N4", nullptr},
        {N3, "N3", nullptr},
        {N1, "N1", nullptr},
        {N2, "N2", nullptr},
        {N5, "N5", nullptr},
        {N7, "N7", nullptr},
        {N8, "N8", nullptr},
        {N9, "N9", nullptr},
        {&m_state->tmr2, "tmr2", nullptr},
    };
    for (const auto &n : names) {
        n.object->setObjectName(QString::fromLatin1(n.name));
        if (auto *widget = qobject_cast<QWidget *>(n.object); widget && n.accessible)
            widget->setAccessibleName(QString::fromUtf8(n.accessible));
    }
    for (int i = 0; i < 3; ++i) {
        if (QAbstractButton *b = rdlist1Group->button(i))
            b->setAccessibleName(b->text());
    }
}

void TForm1::connectControls()
{
    FormState &s = *m_state;
    connect(btn1, &QPushButton::clicked, this, [this] { guard::run([this] { btn1Click(); }); });
    connect(btn2, &QPushButton::clicked, this, [this] { guard::run([this] { btn2Click(); }); });
    connect(btn3, &QPushButton::clicked, this, [this] { guard::run([this] { btn3Click(); }); });
    connect(btn4, &QPushButton::clicked, this, [this] { guard::run([this] { btn4Click(); }); });
    connect(btn5, &QPushButton::clicked, this, [this] { guard::run([this] { btn5Click(); }); });
    connect(N1, &QAction::triggered, this, [this] { guard::run([this] { N1Click(); }); });
    connect(N2, &QAction::triggered, this, [this] { guard::run([this] { N2Click(); }); });
    connect(N3, &QAction::triggered, this, [this] { guard::run([this] { N3Click(); }); });
    connect(N4, &QAction::triggered, this, [this] { guard::run([this] { N4Click(); }); });
    connect(N5, &QAction::triggered, this, [this] { guard::run([this] { N5Click(); }); });
    connect(N7, &QAction::triggered, this, [this] { guard::run([this] { N7Click(); }); });
    connect(N8, &QAction::triggered, this, [this] { guard::run([this] { N8Click(); }); });
    connect(N9, &QAction::triggered, this, [this] { guard::run([this] { N9Click(); }); });
    connect(btnStop, &QPushButton::clicked, this, [this] { guard::run([this] { btnStopClick(); }); });
    // Enter in the site box starts the whole-site query.
    connect(edt6, &QLineEdit::returnPressed, btn3, &QPushButton::click);
    connect(cbbFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_view->setViewFilter(ResultListProxy::ViewFilter(index));
        chart1->setChosen(ResultListProxy::groupOf(ResultListProxy::ViewFilter(index)));
        scheduleRefresh();
    });
    connect(chart1, &TStatusChart::groupClicked, this, [this](std::optional<RowGroup> group) {
        cbbFilter->setCurrentIndex(group ? ResultListProxy::filterFor(*group) : ResultListProxy::ShowAll);
    });
    // The search waits for a pause in the typing: a list of many rows is
    // filtered once, not at every letter.
    m_searchDelay = new QTimer(this);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(150);
    connect(edtSearch, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_searchDelay, &QTimer::timeout, this, [this] {
        m_view->setSearchText(edtSearch->text().trimmed());
        scheduleRefresh();
    });
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        edtSearch->setFocus(Qt::ShortcutFocusReason);
        edtSearch->selectAll();
    });
    // The engine runs the ticks; the list follows the row each one queries.
    connect(m_engine, &Engine::tickStarting, this, &TForm1::followRow);
    connect(bsknspndt1, &QSpinBox::valueChanged, this, [this](int v) { guard::run([this, v] { bsknspndt1Change(v); }); });
    connect(cbb1, &QComboBox::currentIndexChanged, this, [this](int i) { guard::run([this, i] { cbb1Change(i); }); });
    const auto limitsChanged = [this] {
        CheckQueueLimits limits = m_engine->queueLimits();
        limits.total = spnConcurrency->value();
        limits.perHost = spnPerHost->value();
        m_engine->setQueueLimits(limits);
    };
    connect(spnConcurrency, &QSpinBox::valueChanged, this, limitsChanged);
    connect(spnPerHost, &QSpinBox::valueChanged, this, limitsChanged);
    connect(m_rankFile, &RankFileControls::fileChosen, this, [this] { guard::run([this] { cbb1Change(cbb1->currentIndex()); }); });
    connect(lv1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const int row = selectedRow();
        const QList<RowSource> sources = sourcesOf(row);
        N7->setEnabled(std::any_of(sources.cbegin(), sources.cend(), [](const RowSource &s) { return isOpenablePage(s.page); }));
        N9->setEnabled(m_state->lv1.check(row) != nullptr);
        bsknpmn1->popup(lv1->viewport()->mapToGlobal(at));
    });
    connect(lv1, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &at) {
        guard::run([this, at] { ::N2Click(*m_state, m_view->listRow(at), m_seams.openUrl); });
    });
    // The header chooses the columns shown.
    QHeaderView *header = lv1->horizontalHeader();
    connect(header, &QWidget::customContextMenuRequested, this, &TForm1::columnMenu);
    connect(header, &QHeaderView::sectionResized, this, [this](int section) {
        // Another column's new width is taken from 网址's.
        if (section != CellUrl + 1)
            fitAddressColumn();
    });
    // The details are shown again only when their row changes, or another
    // row is selected: text selected in them stays selected meanwhile.
    const auto detailsChanged = [this] {
        m_detailsStale = true;
        scheduleRefresh();
    };
    connect(lv1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, detailsChanged);
    connect(lv1->selectionModel(), &QItemSelectionModel::selectionChanged, this, detailsChanged);
    connect(&s.lv1, &QAbstractItemModel::modelReset, this, detailsChanged);
    connect(&s.lv1, &QAbstractItemModel::dataChanged, this, [this, detailsChanged](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
        const int shown = m_details->shownRow();
        if (shown >= topLeft.row() && shown <= bottomRight.row())
            detailsChanged();
    });

    // The handlers read the user's choices from the state: keep it current.
    connect(bschck1, &QCheckBox::toggled, this, [&s](bool on) { s.bschck1 = on; });
    connect(bschck2, &QCheckBox::toggled, this, [&s](bool on) { s.bschck2 = on; });
    connect(bschck3, &QCheckBox::toggled, this, [&s](bool on) { s.bschck3 = on; });
    connect(bschck4, &QCheckBox::toggled, this, [&s](bool on) { s.bschck4 = on; });
    connect(chkSoft404, &QCheckBox::toggled, this, [&s](bool on) { s.soft404Check = on; });
    connect(rdlist1Group, &QButtonGroup::idToggled, this, [&s](int id, bool on) {
        if (on)
            s.rdlist1 = id;
    });
    connect(spnDepth, &QSpinBox::valueChanged, this, [&s](int v) { s.crawl.depth = v; });
    connect(spnMaxPages, &QSpinBox::valueChanged, this, [&s](int v) { s.crawl.maxPages = v; });
    connect(cbbScope, &QComboBox::currentIndexChanged, this, [&s](int i) { s.crawl.scope = i == 1 ? CrawlSettings::Scope::Prefix : CrawlSettings::Scope::Site; });
    connect(bschckRobots, &QCheckBox::toggled, this, [&s](bool on) { s.crawl.robots = on; });
    connect(bschckSitemap, &QCheckBox::toggled, this, [&s](bool on) { s.crawl.sitemap = on; });
    connect(m_engine, &Engine::crawlProgressed, this, &TForm1::syncGauge);
    // A crawl gone on from the store runs with the choices it was started
    // with: the controls show them.
    connect(m_engine, &Engine::runOpened, this, [this](RunKind kind) {
        if (kind != RunKind::Crawl)
            return;
        const CrawlSettings crawl = m_state->crawl;
        const int linkFilter = m_state->rdlist1;
        const bool html = m_state->bschck4;
        setCrawlChoices(crawl);
        if (QAbstractButton *b = rdlist1Group->button(linkFilter))
            b->setChecked(true);
        setHtmlExtract(html);
    });

    connect(&s, &FormState::lbl2Changed, lbl2, &QLabel::setText);
    connect(&s, &FormState::lbl5Changed, lbl5, &QLabel::setText);
    connect(&s, &FormState::lblBlockedChanged, lblBlocked, &QLabel::setText);
    connect(&s, &FormState::lbl13Changed, lbl13, &QLabel::setText);
    connect(&s, &FormState::repaintRequested, lv1, [this] { lv1->viewport()->repaint(); });
    connect(&s.pr1, &Gauge::changed, this, &TForm1::syncGauge);
    connect(&s, &FormState::runStarted, this, [this] {
        m_gaugeText = true;
        m_followed = -1;
        syncGauge();
    });
    // Counts, chart and details follow the list and the view.
    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(50);
    connect(m_refresh, &QTimer::timeout, this, &TForm1::refreshNow);
    connect(m_counts, &ListCounts::changed, this, &TForm1::scheduleRefresh);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_view, signal, this, &TForm1::scheduleRefresh);
    connect(m_view, &QAbstractItemModel::modelReset, this, &TForm1::scheduleRefresh);
    connect(m_view, &QAbstractItemModel::layoutChanged, this, &TForm1::scheduleRefresh);

    connect(WebBrowser1, &TBannerView::DocumentComplete, this, [this] { guard::run([this] { WebBrowser1DocumentComplete(); }); });
    WebBrowser1->openLink = [this](const QUrl &url) {
        if (m_seams.openUrl)
            m_seams.openUrl(url);
    };
    m_details->openUrl = [this](const QUrl &url) {
        if (m_seams.openUrl)
            m_seams.openUrl(url);
    };
    DetailsSlots filled;
    filled.sources = [this](int row) { return listedSources(m_state->lv1, row); };
    // The address's earlier checks, where the result store keeps them.
    if (m_storePanel && m_storePanel->store())
        filled.history = [panel = m_storePanel](const QString &address) { return panel->addressVisits(address); };
    m_details->setSlots(filled);
}

void TForm1::scheduleRefresh()
{
    if (!m_refresh->isActive())
        m_refresh->start();
}

void TForm1::refreshNow()
{
    m_refresh->stop();
    const int total = m_counts->total();
    m_state->setLbl2(countLabelText(m_view->rowCount(), total, m_view->filtered()));
    m_state->setLbl5(deadLabelText(m_counts->count(RowGroup::Dead)));
    m_state->setLblBlocked(doubtLabelText(m_counts->count(RowGroup::Doubt)));
    chart1->setBars(chartBars(*m_counts));
    const int row = selectedRow();
    // Hidden until a row is selected; it keeps the height the person gave it.
    m_details->setVisible(row >= 0);
    if (row >= 0 && (m_detailsStale || row != m_details->shownRow()))
        showDetailsOf(row);
    m_detailsStale = false;
}

void TForm1::showDetailsOf(int listRow)
{
    m_details->showDetails(rowDetails(m_state->lv1, listRow, prSourceName()), listRow);
}

QString TForm1::prSourceName() const
{
    return cbb1->currentText();
}

QList<RowSource> TForm1::sourcesOf(int listRow) const
{
    const DetailsSlots &filled = m_details->detailSlots();
    return filled.sources ? filled.sources(listRow) : QList<RowSource>();
}

QList<int> TForm1::shownColumns() const
{
    QList<int> columns;
    const QHeaderView *header = lv1->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int c = header->logicalIndex(visual);
        if (!header->isSectionHidden(c))
            columns << c;
    }
    return columns;
}

void TForm1::syncColumnMenu()
{
    for (QAction *shown : mnuColumns->actions())
        shown->setChecked(!lv1->isColumnHidden(shown->data().toInt()));
}

void TForm1::columnMenu(const QPoint &at)
{
    syncColumnMenu();
    mnuColumns->popup(lv1->horizontalHeader()->mapToGlobal(at));
}

void TForm1::syncGauge()
{
    // A gauge whose maximum equals its minimum shows empty; QProgressBar
    // would show its busy animation for the range 0..0.
    const Gauge &g = m_state->pr1;
    if (g.maximum() <= g.minimum()) {
        pr1->setRange(0, 1);
        pr1->setValue(0);
    } else {
        pr1->setRange(g.minimum(), g.maximum());
        pr1->setValue(g.value());
    }
    // Written out rather than Qt's "%v/%m", which would show the stand-in
    // range of an empty list.
    QString text = QStringLiteral("%1/%2").arg(g.value()).arg(g.maximum());
    if (const Crawl *crawl = m_engine->crawl()) {
        const Crawl::Progress p = crawl->progress();
        text = QStringLiteral("已读网页 %1/%2 · 行 %3").arg(p.pagesRead).arg(p.pagesToRead).arg(text);
    }
    pr1->setFormat(text);
    pr1->setTextVisible(m_gaugeText);
}

void TForm1::fitAddressColumn()
{
    constexpr int address = CellUrl + 1;
    int others = 0;
    for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
        if (c != address)
            others += lv1->columnWidth(c);
    }
    const int width = std::max(ResultListModel::columnWidth(address), lv1->viewport()->width() - others);
    if (lv1->columnWidth(address) != width)
        lv1->setColumnWidth(address, width);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && lv1 && watched == lv1->viewport())
        fitAddressColumn();
    return QWidget::eventFilter(watched, event);
}

void TForm1::followRow(int listRow)
{
    const auto shown = [this](int row) {
        const int at = m_view->viewRow(row);
        if (at < 0)
            return false;
        const QRect rect = lv1->visualRect(m_view->index(at, 0));
        return rect.isValid() && lv1->viewport()->rect().intersects(rect);
    };
    // The first row of a run is always followed; after that only while the
    // row followed last is still in sight, so that scrolling away stops the
    // following and scrolling back to it resumes it.
    if (m_followed >= 0 && !shown(m_followed))
        return;
    const int at = m_view->viewRow(listRow);
    if (at < 0)
        return;
    lv1->scrollTo(m_view->index(at, 0), QAbstractItemView::EnsureVisible);
    m_followed = listRow;
}

void TForm1::FormCreate()
{
    // The regex object, the server pool, the lock and the link pattern are
    // the engine's, composed before the window was built. What remains is
    // the window's own: grid lines and the banner.
    lv1->setShowGrid(true);
    if (!m_bannerUrl.isEmpty())
        WebBrowser1->Navigate(QUrl(m_bannerUrl));
}

void TForm1::WebBrowser1DocumentComplete()
{
    // No scroll bars, no margin, no border: applied again after every
    // completed document, an error page included.
    WebBrowser1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->document()->setDocumentMargin(0);
    WebBrowser1->setFrameShape(QFrame::NoFrame);
    WebBrowser1->setLineWidth(0);
}

int TForm1::selectedRow() const
{
    const QModelIndex current = lv1->currentIndex();
    if (!current.isValid() || !lv1->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return -1;
    return m_view->listRow(current);
}

QList<int> TForm1::selectedRows() const
{
    QModelIndexList rows = lv1->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<int> out;
    out.reserve(rows.size());
    for (const QModelIndex &at : rows)
        out << m_view->listRow(at);
    return out;
}

void TForm1::btn1Click()
{
    m_engine->startBatch(memo1->text());
}

void TForm1::btn2Click()
{
    N3Click();
}

void TForm1::btn3Click()
{
    m_engine->startSite(edt6->text());
}

void TForm1::btn4Click()
{
    const FileDialogAnswer answer = m_seams.openFile({ListFileDialogs::importTitle(), m_dialogs.startFolder(), QString(), ListFileDialogs::importFilters()});
    if (answer.path.isEmpty())
        return;
    m_dialogs.remember(answer.path);
    // The entry box keeps its text when the file cannot be read.
    ListText list = readListFile(m_dialogs.systemPath(answer.path));
    // A spreadsheet's export: its column of addresses, without the header.
    if (ListFileDialogs::importsCsv(answer))
        list.text = csvAddressLines(list.text);
    memo1->setText(list.text);
    if (list.undecodableLines > 0)
        m_state->setLbl13(undecodableLinesNote(list.undecodableLines));
}

void TForm1::btn5Click()
{
    ::btn5Click(*m_state);
}

void TForm1::N1Click()
{
    ::N1Click(*m_state);
}

void TForm1::N2Click()
{
    ::N2Click(*m_state, selectedRow(), m_seams.openUrl);
}

void TForm1::N3Click()
{
    const FileDialogAnswer answer = m_seams.saveFile({ListFileDialogs::exportTitle(), m_dialogs.exportStartFolder(),
        ListFileDialogs::exportName(QDateTime::currentDateTime()), ListFileDialogs::exportFilters()});
    if (answer.path.isEmpty())
        return;
    m_dialogs.remember(answer.path);
    // Every row goes out, whatever the view shows.
    exportListAs(m_state->lv1, ListFileDialogs::exportFormat(answer), m_state->bschck1, m_dialogs.systemPath(answer.path));
    m_state->setLbl13(QStringLiteral("已导出 %1 行到 %2").arg(m_state->lv1.count()).arg(answer.path));
}

void TForm1::N4Click()
{
    const QList<int> rows = selectedRows();
    // Under a filter the rows stay in view, and selected, while their
    // answers come, whatever those answers are.
    m_view->holdRows(rows);
    ::N4Click(*m_state, rows);
}

void TForm1::N5Click()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(N5Text(*m_state, rows, shownColumns()));
}

void TForm1::N7Click()
{
    const QList<RowSource> sources = sourcesOf(selectedRow());
    // The first page that links to the row; the sitemap is no page to open.
    const auto page = std::find_if(sources.cbegin(), sources.cend(), [](const RowSource &s) { return isOpenablePage(s.page); });
    if (page == sources.cend() || !m_seams.openUrl)
        return;
    const QUrl url = visitTarget(page->page);
    if (url.isValid())
        m_seams.openUrl(url);
}

void TForm1::N8Click()
{
    const int row = selectedRow();
    if (m_state->lv1.hasRow(row))
        QGuiApplication::clipboard()->setText(m_state->lv1.cell(row, CellUrl));
}

void TForm1::N9Click()
{
    if (const FetchResult *check = m_state->lv1.check(selectedRow()))
        QGuiApplication::clipboard()->setText(check->finalUrl);
}

void TForm1::btnStopClick()
{
    m_engine->stop();
}

void TForm1::tmr2Timer()
{
    m_engine->tick();
}

void TForm1::bsknspndt1Change(int value)
{
    ::bsknspndt1Change(*m_state, value);
}

void TForm1::cbb1Change(int index)
{
    m_detailsStale = true; // the PR's source is named there
    const auto choice = RankChoice(index);
    edt8->setVisible(choice == RankChoice::OpenPageRank);
    bschck5->setVisible(choice == RankChoice::OpenPageRank);
    m_rankFile->setVisible(choice == RankChoice::GraphFile);
    // The warning is the toolbar service's: no other source blocks anyone.
    lbl6->setVisible(choice == RankChoice::Toolbar);
    if (choice == RankChoice::GraphFile && m_rankFile->file().isEmpty())
        m_rankFile->choose();
    RankChoiceSeams seams;
    // Read as each request goes out: a key typed during a run is used from
    // the next request on.
    seams.key = [this] { return edt8->text(); };
    seams.notice = m_seams.rankSourceNotice;
    seams.rankFile = m_rankFile->file();
    seams.indexProgress = m_seams.rankIndexProgress;
    if (!seams.indexProgress)
        seams.indexProgress = [this](const RankIndexProgress &p) { return m_rankFile->showProgress(p); };
    m_engine->setRankChoice(choice, seams);
    scheduleRefresh();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    saveSettings();
    m_settingsSaved = true;
    QWidget::closeEvent(event);
}

void TForm1::loadSettings()
{
    if (!m_seams.settings)
        return;
    const std::unique_ptr<QSettings> store = m_seams.settings();
    if (!store)
        return;
    const WindowSettings w = readWindowSettings(*store);
    m_remembered = w;
    if (!w.geometry.isEmpty())
        restoreGeometry(w.geometry);
    if (!w.splitter.isEmpty())
        spl1->restoreState(w.splitter);
    for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
        const QString name = m_view->headerData(c, Qt::Horizontal).toString();
        if (c != 0 && c != CellUrl + 1)
            lv1->setColumnHidden(c, w.hiddenColumns.contains(name) || (!ResultListModel::columnShownAtStart(c) && !w.columnWidths.contains(name)));
        if (c != CellUrl + 1 && w.columnWidths.contains(name))
            lv1->setColumnWidth(c, w.columnWidths.value(name));
    }
    setChoices(w.queryPr, w.deadLink, w.exportShort, w.linkFilter, w.intervalMs);
    bschck4->setChecked(w.htmlExtract);
    spnConcurrency->setValue(w.concurrency);
    spnPerHost->setValue(w.perHost);
    bschck5->setChecked(w.rememberKey);
    if (!w.rankFile.isEmpty())
        m_rankFile->setFile(w.rankFile);
    // A ranks file chosen last but no longer named is not asked for at the
    // start: the toolbar service stands in.
    RankChoice source = w.rankSource < 0 ? RankChoice::Toolbar : RankChoice(w.rankSource);
    if (source == RankChoice::GraphFile && w.rankFile.isEmpty())
        source = RankChoice::Toolbar;
    setRankChoice(source, w.key);
    m_dialogs.restoreFolder(w.folder);
    syncColumnMenu();
    fitAddressColumn();
}

void TForm1::saveSettings()
{
    if (m_settingsSaved || !m_seams.settings)
        return;
    const std::unique_ptr<QSettings> store = m_seams.settings();
    if (!store)
        return;
    WindowSettings w;
    w.geometry = saveGeometry();
    w.splitter = spl1->saveState();
    for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
        const QString name = m_view->headerData(c, Qt::Horizontal).toString();
        if (lv1->isColumnHidden(c))
            w.hiddenColumns << name;
        else if (c != CellUrl + 1)
            w.columnWidths.insert(name, lv1->columnWidth(c));
    }
    w.intervalMs = bsknspndt1->value();
    w.exportShort = bschck1->isChecked();
    w.queryPr = bschck2->isChecked();
    w.deadLink = bschck3->isChecked();
    w.htmlExtract = bschck4->isChecked();
    w.linkFilter = std::max(0, rdlist1Group->checkedId());
    w.rankSource = cbb1->currentIndex();
    w.rankFile = m_rankFile->file();
    w.concurrency = spnConcurrency->value();
    w.perHost = spnPerHost->value();
    w.folder = m_dialogs.chosenFolder();
    w.rememberKey = bschck5->isChecked();
    w.key = w.rememberKey ? edt8->text() : QString();
    writeWindowSettings(*store, w);
    m_remembered = w;
}

QString TForm1::entryText() const
{
    return memo1->text();
}

void TForm1::setEntryText(const QString &text)
{
    memo1->setText(text);
}

void TForm1::setSiteText(const QString &text)
{
    edt6->setText(text);
}

void TForm1::setChoices(bool queryPr, bool deadLink, bool exportShort, int linkFilter, int intervalMs)
{
    bschck2->setChecked(queryPr);
    bschck3->setChecked(deadLink);
    bschck1->setChecked(exportShort);
    if (QAbstractButton *b = rdlist1Group->button(linkFilter))
        b->setChecked(true);
    bsknspndt1->setValue(intervalMs);
}

void TForm1::setRankChoice(RankChoice choice, const QString &key, const QString &rankFile)
{
    edt8->setText(key);
    if (!rankFile.isEmpty())
        m_rankFile->setFile(rankFile);
    // The box says nothing when it stays on its item: the source is set anew
    // all the same, for the file may be another.
    if (cbb1->currentIndex() == int(choice))
        cbb1Change(int(choice));
    else
        cbb1->setCurrentIndex(int(choice));
}

void TForm1::setRankKey(const QString &key)
{
    edt8->setText(key);
}

void TForm1::setHtmlExtract(bool on)
{
    bschck4->setChecked(on);
}

void TForm1::setSoft404Check(bool on)
{
    chkSoft404->setChecked(on);
}

void TForm1::setCrawlChoices(const CrawlSettings &crawl)
{
    spnDepth->setValue(crawl.depth);
    spnMaxPages->setValue(crawl.maxPages);
    cbbScope->setCurrentIndex(crawl.scope == CrawlSettings::Scope::Prefix ? 1 : 0);
    bschckRobots->setChecked(crawl.robots);
    bschckSitemap->setChecked(crawl.sitemap);
    m_state->crawl.sitemapUrl = crawl.sitemapUrl;
}
