#include "app/detailspane.h"

#include "shell/listcommands.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QLabel *selectable(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QTreeWidget *tableOf(QWidget *parent, const char *name, const QStringList &headers, const QString &accessible)
{
    auto *table = new QTreeWidget(parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setAccessibleName(accessible);
    table->setRootIsDecorated(false);
    table->setHeaderLabels(headers);
    table->setUniformRowHeights(true);
    table->header()->setStretchLastSection(true);
    table->setVisible(false);
    return table;
}

} // namespace

TDetailsPane::TDetailsPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("detailsPane"));
    setAccessibleName(QStringLiteral("详细信息"));
    auto *grid = new QGridLayout;
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);

    const auto addressLine = [this, grid](int row, const QString &caption, const char *name, QLineEdit *&edit) {
        auto *label = new QLabel(caption, this);
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
        edit->setAccessibleName(caption.chopped(1));
        auto *copyButton = new QPushButton(QStringLiteral("复制"), this);
        auto *openButton = new QPushButton(QStringLiteral("打开"), this);
        copyButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("Copy"));
        openButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("Open"));
        copyButton->setAccessibleName(QStringLiteral("复制") + caption.chopped(1));
        openButton->setAccessibleName(QStringLiteral("打开") + caption.chopped(1));
        for (QPushButton *b : {copyButton, openButton})
            b->setFixedWidth(b->fontMetrics().horizontalAdvance(b->text()) + 20);
        connect(copyButton, &QPushButton::clicked, this, [this, edit] { copy(edit->text()); });
        connect(openButton, &QPushButton::clicked, this, [this, edit] { open(edit->text()); });
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        auto *line = new QHBoxLayout;
        line->setSpacing(4);
        line->addWidget(edit, 1);
        line->addWidget(copyButton);
        line->addWidget(openButton);
        grid->addLayout(line, row, 1);
    };
    addressLine(0, QStringLiteral("网址:"), "detailUrl", m_address);
    addressLine(1, QStringLiteral("最终网址:"), "detailFinalUrl", m_finalUrl);

    grid->addWidget(new QLabel(QStringLiteral("跳转:"), this), 2, 0, Qt::AlignTop);
    m_hops = selectable(this, "detailHops");
    m_hops->setAccessibleName(QStringLiteral("跳转"));
    grid->addWidget(m_hops, 2, 1);

    grid->addWidget(new QLabel(QStringLiteral("结果:"), this), 3, 0, Qt::AlignTop);
    auto *summaryLine = new QHBoxLayout;
    m_summary = selectable(this, "detailSummary");
    m_summary->setAccessibleName(QStringLiteral("结果"));
    m_more = new QToolButton(this);
    m_more->setObjectName(QStringLiteral("detailMore"));
    m_more->setText(QStringLiteral("详细"));
    m_more->setAccessibleName(QStringLiteral("显示程序库的原文"));
    m_more->setCheckable(true);
    m_more->setVisible(false);
    summaryLine->addWidget(m_summary, 1);
    summaryLine->addWidget(m_more, 0, Qt::AlignTop);
    grid->addLayout(summaryLine, 3, 1);
    m_library = selectable(this, "detailLibrary");
    m_library->setAccessibleName(QStringLiteral("程序库的原文"));
    m_library->setVisible(false);
    grid->addWidget(m_library, 4, 1);
    connect(m_more, &QToolButton::toggled, m_library, &QWidget::setVisible);

    grid->addWidget(new QLabel(QStringLiteral("PR:"), this), 5, 0);
    m_pr = selectable(this, "detailPr");
    m_pr->setAccessibleName(QStringLiteral("PR"));
    grid->addWidget(m_pr, 5, 1);
    grid->setColumnStretch(1, 1);

    m_sources = tableOf(this, "detailSources", {QStringLiteral("来源页"), QStringLiteral("链接词")}, QStringLiteral("来源页"));
    m_sources->setToolTip(QStringLiteral("双击打开来源页"));
    connect(m_sources, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        if (isOpenablePage(item->text(0)))
            open(item->text(0));
    });
    m_history = tableOf(this, "detailHistory", {QStringLiteral("时间"), QStringLiteral("访问"), QStringLiteral("状态"), QStringLiteral("PR"), QStringLiteral("变化")},
        QStringLiteral("历史记录"));

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(grid, 3);
    auto *side = new QVBoxLayout;
    side->addWidget(m_sources);
    side->addWidget(m_history);
    outer->addLayout(side, 2);
}

void TDetailsPane::showDetails(const RowDetails &d, int listRow)
{
    m_row = listRow;
    m_address->setText(d.address);
    m_address->setCursorPosition(0);
    m_finalUrl->setText(d.finalUrl);
    m_finalUrl->setCursorPosition(0);

    QStringList hops;
    for (const RowHop &hop : d.hops)
        hops << (hop.location.isEmpty() ? QString::number(hop.status) : QStringLiteral("%1 → %2").arg(hop.status).arg(hop.location));
    if (hops.isEmpty())
        hops << (d.status.isEmpty() ? QStringLiteral("(未检测)") : d.status);
    m_hops->setText(hops.join(QLatin1Char('\n')));

    QStringList summary;
    if (!d.elapsed.isEmpty())
        summary << QStringLiteral("耗时 ") + d.elapsed;
    summary << QStringLiteral("类别: ") + d.verdict;
    if (!d.reason.isEmpty())
        summary << QStringLiteral("原因: ") + d.reason;
    m_summary->setText(summary.join(QStringLiteral("    ")));
    m_library->setText(d.libraryText);
    m_more->setVisible(!d.libraryText.isEmpty());
    m_library->setVisible(m_more->isChecked() && !d.libraryText.isEmpty());

    m_pr->setText(d.prSource.isEmpty() ? d.pr : QStringLiteral("%1  (来源: %2)").arg(d.pr, d.prSource));

    m_sources->clear();
    if (m_slots.sources) {
        for (const RowSource &source : m_slots.sources(listRow))
            m_sources->addTopLevelItem(new QTreeWidgetItem(QStringList {source.page, source.anchorText}));
    }
    m_sources->setVisible(m_sources->topLevelItemCount() > 0);

    m_history->clear();
    if (m_slots.history) {
        for (const AddressVisit &visit : m_slots.history(d.address)) {
            m_history->addTopLevelItem(new QTreeWidgetItem(
                QStringList {QLocale().toString(visit.at, QLocale::ShortFormat), visit.access, visit.status, visit.pr, visit.change}));
        }
    }
    m_history->setVisible(m_history->topLevelItemCount() > 0);
}

void TDetailsPane::open(const QString &address)
{
    const QUrl url = visitTarget(address);
    if (url.isValid() && openUrl)
        openUrl(url);
}

void TDetailsPane::copy(const QString &text)
{
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}
