#include "app/Unit1.h"

#include "app/entrybox.h"

#include "app/bannerview.h"
#include "app/rankfilecontrols.h"
#include "app/storepanel.h"
#include "base/guard.h"
#include "data/storedtext.h"
#include "listfiles/listexport.h"
#include "listfiles/listfiledialogs.h"
#include "listfiles/listimport.h"
#include "query/batch.h"
#include "query/crawl.h"
#include "query/oprprotocol.h"
#include "query/scheduler.h"
#include "query/sitequery.h"
#include "shell/listcommands.h"
#include "shell/resultproxy.h"
#include "store/resultstore.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileDialog>
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
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

constexpr int kClientWidth = 682;
constexpr int kClientHeight = 579;

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
    s.rememberRankChoice = true;
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
{
    m_engine->setParent(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KelvrayGoogle PR批量查询工具V1.0"));
    buildControls();
    connectControls();
    resize(kClientWidth, kClientHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
    guard::run([this] { FormCreate(); });
}

TForm1::~TForm1()
{
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
    chkSoft404 = new QCheckBox(QStringLiteral("软404检测"), this);
    chkSoft404->setChecked(m_state->soft404Check);
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
    toolLines->addWidget(lineOf(tools, 25, {btn1, btn3, btn4, bschck2, lbl14, cbb1, bschck3, chkSoft404}));
    // The key field stands after the hint, under the box that shows it; the
    // hint keeps its place whichever source is chosen.
    toolLines->addWidget(lineOf(tools, 18, {lbl1, edt8, m_rankFile}));
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

    // Gauge; it shows "n/m" once a list has been built.
    pr1 = new QProgressBar(this);
    pr1->setFixedHeight(13);
    pr1->setTextVisible(false);
    pr1->setAlignment(Qt::AlignCenter);
    outer->addWidget(pr1);

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
    cbbFilter = new QComboBox(this);
    cbbFilter->addItems(ResultListProxy::filterTexts());
    // Ten controls share the window's width: the buttons take what their
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
    QWidget *listStrip = lineOf(this, 32, {btn2, lbl2, bschck1, lbl4, bsknspndt1, lbl3, btn5, counts, btnStop, cbbFilter});
    listStrip->setObjectName(QStringLiteral("listStrip"));
    outer->addWidget(listStrip);

    // Result list: it alone grows and shrinks with the window.
    lv1 = new QTableView(this);
    // The view shows the list through the sorting and filtering model; the
    // list itself never moves, and every view row is mapped back to it.
    lv1->setModel(m_view);
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
    for (int c = 0; c < ResultListModel::ColumnCount; ++c)
        lv1->setColumnWidth(c, ResultListModel::columnWidth(c));
    lv1->viewport()->installEventFilter(this);
    outer->addWidget(lv1, 1);

    bsknpmn1 = new QMenu(this);
    N4 = bsknpmn1->addAction(QStringLiteral("重新查询"));
    N3 = bsknpmn1->addAction(QStringLiteral("导出文本"));
    N1 = bsknpmn1->addAction(QStringLiteral("清空列表"));
    N2 = bsknpmn1->addAction(QStringLiteral("访问网站"));
    N5 = bsknpmn1->addAction(QStringLiteral("复制"));
    // Ctrl+C in the list copies the selected rows, not the current cell.
    N5->setShortcut(QKeySequence::Copy);
    N5->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lv1->addAction(N5);

    const std::pair<QObject *, const char *> names[] = {
        {lbl12, "lbl12"}, {lbl6, "lbl6"}, {edt6, "edt6"}, {rdlist1, "rdlist1"}, {bschck4, "bschck4"}, {lbl13, "lbl13"},
        {btn1, "btn1"}, {btn3, "btn3"}, {btn4, "btn4"}, {bschck2, "bschck2"}, {bschck3, "bschck3"},
        {lbl14, "lbl14"}, {cbb1, "cbb1"}, {edt8, "edt8"},
        {lbl1, "lbl1"}, {memo1, "memo1"}, {WebBrowser1, "WebBrowser1"}, {pr1, "pr1"}, {btn2, "btn2"},
        {lbl2, "lbl2"}, {bschck1, "bschck1"}, {lbl4, "lbl4"}, {bsknspndt1, "bsknspndt1"}, {lbl3, "lbl3"},
        {btn5, "btn5"}, {lbl5, "lbl5"}, {lblBlocked, "lblBlocked"}, {chkSoft404, "chkSoft404"}, {lv1, "lv1"}, {bsknpmn1, "bsknpmn1"}, {N4, "N4"}, {N3, "N3"},
        {N1, "N1"}, {N2, "N2"}, {N5, "N5"}, {btnStop, "btnStop"}, {cbbFilter, "cbbFilter"}, {&m_state->tmr2, "tmr2"},
        {lblDepth, "lblDepth"}, {spnDepth, "spnDepth"}, {lblMaxPages, "lblMaxPages"}, {spnMaxPages, "spnMaxPages"}, {cbbScope, "cbbScope"},
        {bschckRobots, "bschckRobots"}, {bschckSitemap, "bschckSitemap"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QString::fromLatin1(name));

    syncGauge();
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
    connect(btnStop, &QPushButton::clicked, this, [this] { guard::run([this] { btnStopClick(); }); });
    // Enter in the site box starts the whole-site query.
    connect(edt6, &QLineEdit::returnPressed, btn3, &QPushButton::click);
    connect(cbbFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_view->setViewFilter(ResultListProxy::ViewFilter(index));
    });
    // The engine runs the ticks; the list follows the row each one queries.
    connect(m_engine, &Engine::tickStarting, this, &TForm1::followRow);
    connect(bsknspndt1, &QSpinBox::valueChanged, this, [this](int v) { guard::run([this, v] { bsknspndt1Change(v); }); });
    connect(cbb1, &QComboBox::currentIndexChanged, this, [this](int i) { guard::run([this, i] { cbb1Change(i); }); });
    connect(m_rankFile, &RankFileControls::fileChosen, this, [this] { guard::run([this] { cbb1Change(cbb1->currentIndex()); }); });
    connect(lv1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        bsknpmn1->popup(lv1->viewport()->mapToGlobal(at));
    });
    // The header belongs to the list: the same menu opens on it.
    QHeaderView *header = lv1->horizontalHeader();
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint &at) {
        bsknpmn1->popup(header->mapToGlobal(at));
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int section) {
        // Another column's new width is taken from 网址's.
        if (section != CellUrl + 1)
            fitAddressColumn();
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
    connect(WebBrowser1, &TBannerView::DocumentComplete, this, [this] { guard::run([this] { WebBrowser1DocumentComplete(); }); });
    WebBrowser1->openLink = [this](const QUrl &url) {
        if (m_seams.openUrl)
            m_seams.openUrl(url);
    };
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
    const QString path = m_seams.openFile({ListFileDialogs::importTitle(), m_dialogs.startFolder(), QString(), {ListFileDialogs::filter()}}).path;
    if (path.isEmpty())
        return;
    m_dialogs.remember(path);
    // The entry box keeps its text when the file cannot be read.
    const ListText list = readListFile(m_dialogs.systemPath(path));
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
}

void TForm1::N4Click()
{
    ::N4Click(*m_state, selectedRows());
}

void TForm1::N5Click()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(N5Text(*m_state, rows));
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
    const auto choice = RankChoice(index);
    edt8->setVisible(choice == RankChoice::OpenPageRank);
    m_rankFile->setVisible(choice == RankChoice::GraphFile);
    if (choice == RankChoice::GraphFile && m_rankFile->file().isEmpty())
        m_rankFile->choose();
    RankChoiceSeams seams;
    // Read as each request goes out: a key typed during a run is used from
    // the next request on. It is never kept anywhere.
    seams.key = [this] { return edt8->text(); };
    seams.notice = m_seams.rankSourceNotice;
    seams.rankFile = m_rankFile->file();
    seams.indexProgress = m_seams.rankIndexProgress;
    if (!seams.indexProgress)
        seams.indexProgress = [this](const RankIndexProgress &p) { return m_rankFile->showProgress(p); };
    m_engine->setRankChoice(choice, seams);
    if (m_seams.rememberRankChoice)
        rememberRankChoice(choice, m_rankFile->file());
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
