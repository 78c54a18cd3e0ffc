#include "app/Unit1.h"

#include "app/entrybox.h"

#include "app/bannerview.h"
#include "data/storedtext.h"
#include "listfiles/listexport.h"
#include "listfiles/listfiledialogs.h"
#include "listfiles/listimport.h"
#include "query/batch.h"
#include "query/oprprotocol.h"
#include "query/oprsource.h"
#include "query/prquery.h"
#include "query/ranksource.h"
#include "query/scheduler.h"
#include "shell/guard.h"
#include "shell/listcommands.h"
#include "survey/regexp.h"
#include "survey/sitequery.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
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
    return e;
}

WindowSeams TForm1::defaultSeams()
{
    WindowSeams s;
    s.openFile = [](const QString &title, const QString &folder, const QString &filter) {
        // Only an existing file; a name typed without an extension is looked
        // up with ".txt" added.
        QFileDialog dialog(QApplication::activeWindow(), title, folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    s.saveFile = [](const QString &title, const QString &folder, const QString &filter) {
        // A typed name is used as typed, and an existing file is overwritten
        // without asking.
        QFileDialog dialog(QApplication::activeWindow(), title, folder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
    // QDesktopServices hands the address to the desktop's URL handler as an
    // argument; nothing goes through a shell.
    s.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    return s;
}

TForm1::TForm1(WindowEndpoints endpoints, WindowSeams seams, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_endpoints(std::move(endpoints))
    , m_seams(std::move(seams))
    , m_state(new FormState(this))
{
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

TForm1::~TForm1() = default;

void TForm1::buildControls()
{
    QVBoxLayout *outer = stackIn(this, 0, 0);

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

    QWidget *site = strip(bskngrpbx1, 75);
    site->setObjectName(QStringLiteral("siteStrip"));
    QVBoxLayout *siteLines = stackIn(site, 2, 2);
    siteLines->addWidget(lineOf(site, 20, {lbl12, lbl6}));
    siteLines->addWidget(lineOf(site, 24, {edt6, rdlist1, bschck4}));
    siteLines->addWidget(lineOf(site, 20, {lbl13}, true));
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
    cbb1->addItems({QStringLiteral("工具栏"), QStringLiteral("Open PageRank")});
    edt8 = new QLineEdit(this);
    edt8->setPlaceholderText(QStringLiteral("API Key"));
    edt8->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    edt8->setFixedSize(110, 18);
    edt8->setVisible(false);
    lbl1 = new QLabel(QStringLiteral("批量查询PR值，在下面文本框中输入查询地址，每行一个。整站查询请在上面输入域名。"), this);
    memo1 = new TEntryBox(this);
    memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QWidget *batch = strip(bskngrpbx1, 184);
    batch->setObjectName(QStringLiteral("batchArea"));
    QWidget *tools = strip(batch, 49);
    tools->setObjectName(QStringLiteral("toolStrip"));
    QVBoxLayout *toolLines = stackIn(tools, 2, 2);
    toolLines->addWidget(lineOf(tools, 25, {btn1, btn3, btn4, bschck2, lbl14, cbb1, bschck3}));
    // The key field stands below the box, where the hint leaves room.
    toolLines->addWidget(lineOf(tools, 18, {edt8, lbl1}, true));
    QVBoxLayout *batchLayout = stackIn(batch, 0, 0);
    batchLayout->addWidget(tools);
    batchLayout->addWidget(memo1, 1);
    panel->addWidget(batch);
    outer->addWidget(bskngrpbx1);

    // Banner
    WebBrowser1 = new TBannerView(this);
    WebBrowser1->setFixedHeight(62);
    outer->addWidget(WebBrowser1);

    // Gauge, without text
    pr1 = new QProgressBar(this);
    pr1->setFixedHeight(13);
    pr1->setTextVisible(false);
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
    QWidget *listStrip = lineOf(this, 32, {btn2, lbl2, bschck1, lbl4, bsknspndt1, lbl3, btn5, lbl5});
    listStrip->setObjectName(QStringLiteral("listStrip"));
    outer->addWidget(listStrip);

    // Result list: it alone grows and shrinks with the window.
    lv1 = new QTableView(this);
    lv1->setModel(&m_state->lv1);
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setSelectionMode(QAbstractItemView::SingleSelection);
    lv1->setSortingEnabled(false);
    lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv1->setShowGrid(false);
    lv1->setWordWrap(false);
    lv1->setContextMenuPolicy(Qt::CustomContextMenu);
    lv1->verticalHeader()->hide();
    lv1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lv1->verticalHeader()->setDefaultSectionSize(lv1->fontMetrics().height() + 4);
    lv1->horizontalHeader()->setSectionsClickable(false);
    lv1->horizontalHeader()->setHighlightSections(false);
    lv1->horizontalHeader()->setStretchLastSection(false);
    for (int c = 0; c < ResultListModel::ColumnCount; ++c)
        lv1->setColumnWidth(c, ResultListModel::columnWidth(c));
    outer->addWidget(lv1, 1);

    bsknpmn1 = new QMenu(this);
    N4 = bsknpmn1->addAction(QStringLiteral("重新查询"));
    N3 = bsknpmn1->addAction(QStringLiteral("导出文本"));
    N1 = bsknpmn1->addAction(QStringLiteral("清空列表"));
    N2 = bsknpmn1->addAction(QStringLiteral("访问网站"));

    const std::pair<QObject *, const char *> names[] = {
        {lbl12, "lbl12"}, {lbl6, "lbl6"}, {edt6, "edt6"}, {rdlist1, "rdlist1"}, {bschck4, "bschck4"}, {lbl13, "lbl13"},
        {btn1, "btn1"}, {btn3, "btn3"}, {btn4, "btn4"}, {bschck2, "bschck2"}, {bschck3, "bschck3"},
        {lbl14, "lbl14"}, {cbb1, "cbb1"}, {edt8, "edt8"},
        {lbl1, "lbl1"}, {memo1, "memo1"}, {WebBrowser1, "WebBrowser1"}, {pr1, "pr1"}, {btn2, "btn2"},
        {lbl2, "lbl2"}, {bschck1, "bschck1"}, {lbl4, "lbl4"}, {bsknspndt1, "bsknspndt1"}, {lbl3, "lbl3"},
        {btn5, "btn5"}, {lbl5, "lbl5"}, {lv1, "lv1"}, {bsknpmn1, "bsknpmn1"}, {N4, "N4"}, {N3, "N3"},
        {N1, "N1"}, {N2, "N2"}, {&m_state->tmr2, "tmr2"}};
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
    connect(&s.tmr2, &QTimer::timeout, this, [this] { guard::run([this] { tmr2Timer(); }); });
    connect(bsknspndt1, &QSpinBox::valueChanged, this, [this](int v) { guard::run([this, v] { bsknspndt1Change(v); }); });
    connect(cbb1, &QComboBox::currentIndexChanged, this, [this](int i) { guard::run([this, i] { cbb1Change(i); }); });
    connect(lv1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        bsknpmn1->popup(lv1->viewport()->mapToGlobal(at));
    });

    // The handlers read the user's choices from the state: keep it current.
    connect(bschck1, &QCheckBox::toggled, this, [&s](bool on) { s.bschck1 = on; });
    connect(bschck2, &QCheckBox::toggled, this, [&s](bool on) { s.bschck2 = on; });
    connect(bschck3, &QCheckBox::toggled, this, [&s](bool on) { s.bschck3 = on; });
    connect(bschck4, &QCheckBox::toggled, this, [&s](bool on) { s.bschck4 = on; });
    connect(rdlist1Group, &QButtonGroup::idToggled, this, [&s](int id, bool on) {
        if (on)
            s.rdlist1 = id;
    });

    s.onSitePage = [&s](const QString &siteUrl, const QString &finalUrl, const QString &page) {
        siteReplyBranch(s, siteUrl, finalUrl, page);
    };

    connect(&s, &FormState::lbl2Changed, lbl2, &QLabel::setText);
    connect(&s, &FormState::lbl5Changed, lbl5, &QLabel::setText);
    connect(&s, &FormState::lbl13Changed, lbl13, &QLabel::setText);
    connect(&s, &FormState::repaintRequested, lv1, [this] { lv1->viewport()->repaint(); });
    connect(&s.pr1, &Gauge::changed, this, &TForm1::syncGauge);
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
}

void TForm1::FormCreate()
{
    FormState &s = *m_state;
    s.memo3 = storedtext::checksumScript();
    s.memo4 = m_endpoints.servers.isEmpty() ? storedtext::serverPool() : m_endpoints.servers.join(QLatin1Char('\n'));
    s.edt7 = storedtext::linkPattern();

    // 1. the shared regex object
    s.myreg = std::make_unique<TRegExp>();
    // 2. iplist and 3. httpcs are members of the state, ready before this runs
    // 4. the link pattern
    s.linkexpr = s.edt7;
    // 5. the server pool, a line an entry
    s.iplist = iplistFromText(s.memo4);
    // 6. grid lines
    lv1->setShowGrid(true);
    // 7. the banner
    if (!m_endpoints.bannerUrl.isEmpty())
        WebBrowser1->Navigate(QUrl(m_endpoints.bannerUrl));
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
    const QModelIndexList rows = lv1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    return rows.first().row();
}

void TForm1::btn1Click()
{
    ::btn1Click(*m_state, memo1->text());
}

void TForm1::btn2Click()
{
    N3Click();
}

void TForm1::btn3Click()
{
    ::btn3Click(*m_state, edt6->text());
}

void TForm1::btn4Click()
{
    const QString path = m_seams.openFile(ListFileDialogs::importTitle(), m_dialogs.startFolder(), ListFileDialogs::filter());
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
    const QString path = m_seams.saveFile(ListFileDialogs::exportTitle(), m_dialogs.startFolder(), ListFileDialogs::filter());
    if (path.isEmpty())
        return;
    m_dialogs.remember(path);
    exportList(m_state->lv1, m_state->bschck1, m_dialogs.systemPath(path));
}

void TForm1::N4Click()
{
    ::N4Click(*m_state, selectedRow());
}

void TForm1::tmr2Timer()
{
    ::tmr2Timer(*m_state);
}

void TForm1::bsknspndt1Change(int value)
{
    ::bsknspndt1Change(*m_state, value);
}

void TForm1::cbb1Change(int index)
{
    const bool openPageRank = index == 1;
    edt8->setVisible(openPageRank);
    if (!openPageRank) {
        m_state->setRankSource(std::make_unique<ToolbarRankSource>(*m_state));
        return;
    }
    OprSettings settings;
    settings.endpoint = m_endpoints.oprEndpoint;
    // Read as each request goes out: a key typed during a run is used from
    // the next request on. It is never kept anywhere.
    settings.key = [this] { return edt8->text(); };
    settings.report = m_seams.rankSourceNotice;
    m_state->setRankSource(std::make_unique<OprRankSource>(*m_state, settings));
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

void TForm1::setRankChoice(bool openPageRank, const QString &key)
{
    edt8->setText(key);
    cbb1->setCurrentIndex(openPageRank ? 1 : 0);
}

void TForm1::setHtmlExtract(bool on)
{
    bschck4->setChecked(on);
}
