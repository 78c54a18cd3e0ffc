#include "app/statuschart.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

constexpr int Gap = 8; // between the classes and the status groups

QColor barColour(RowGroup group)
{
    switch (group) {
    case RowGroup::Live:
    case RowGroup::Status2xx:
        return QColor(0x43, 0xA0, 0x47);
    case RowGroup::Dead:
    case RowGroup::Status4xx:
        return QColor(0xC6, 0x28, 0x28);
    case RowGroup::Doubt:
        return QColor(0xF5, 0xA6, 0x23);
    case RowGroup::Status3xx:
        return QColor(0x1E, 0x88, 0xE5);
    case RowGroup::Status5xx:
        return QColor(0x8E, 0x24, 0xAA);
    case RowGroup::Unchecked:
    case RowGroup::Failed:
        return QColor(0x90, 0x90, 0x90);
    }
    return Qt::gray;
}

} // namespace

TStatusChart::TStatusChart(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    setFont(small);
}

void TStatusChart::setBars(const QList<ChartBar> &bars)
{
    QStringList described;
    for (const ChartBar &b : bars)
        described << QStringLiteral("%1 %2").arg(b.label).arg(b.count);
    setAccessibleDescription(described.join(QStringLiteral(", ")));
    const bool same = bars.size() == m_bars.size()
        && std::equal(bars.cbegin(), bars.cend(), m_bars.cbegin(), [](const ChartBar &a, const ChartBar &b) { return a.count == b.count && a.group == b.group; });
    m_bars = bars;
    if (!same)
        update();
}

void TStatusChart::setChosen(std::optional<RowGroup> group)
{
    if (group == m_chosen)
        return;
    m_chosen = group;
    update();
}

QSize TStatusChart::sizeHint() const
{
    return {int(m_bars.size()) * fontMetrics().horizontalAdvance(QStringLiteral("未检测 ")) + Gap, 44};
}

QRect TStatusChart::slotRect(int i) const
{
    const int n = int(m_bars.size());
    if (n == 0)
        return {};
    const int width = (this->width() - Gap) / n;
    const int x = i * width + (i >= int(RowGroup::Status2xx) ? Gap : 0);
    return {x, 0, width, height()};
}

QRect TStatusChart::barRect(RowGroup group) const
{
    for (int i = 0; i < m_bars.size(); ++i) {
        if (m_bars.at(i).group != group)
            continue;
        const QRect slot = slotRect(i);
        const int line = fontMetrics().height();
        const int top = line;
        const int bottom = slot.bottom() - line;
        int most = 1;
        for (const ChartBar &b : m_bars)
            most = std::max(most, b.count);
        const int full = std::max(1, bottom - top);
        const int h = m_bars.at(i).count == 0 ? 0 : std::max(2, int(qint64(full) * m_bars.at(i).count / most));
        return {slot.left() + 3, bottom - h, slot.width() - 6, h};
    }
    return {};
}

void TStatusChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int line = fontMetrics().height();
    for (int i = 0; i < m_bars.size(); ++i) {
        const ChartBar &b = m_bars.at(i);
        const QRect slot = slotRect(i);
        if (m_chosen == b.group)
            p.fillRect(slot, palette().color(QPalette::Highlight).lighter(170));
        const QRect bar = barRect(b.group);
        p.fillRect(bar, barColour(b.group));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(slot.left(), bar.top() - line, slot.width(), line), Qt::AlignHCenter | Qt::AlignBottom, QString::number(b.count));
        p.drawText(QRect(slot.left(), slot.bottom() - line + 1, slot.width(), line), Qt::AlignHCenter | Qt::AlignVCenter, b.label);
    }
}

int TStatusChart::barAt(const QPoint &at) const
{
    for (int i = 0; i < m_bars.size(); ++i) {
        if (slotRect(i).contains(at))
            return i;
    }
    return -1;
}

void TStatusChart::mouseReleaseEvent(QMouseEvent *event)
{
    const int i = barAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || i < 0)
        return;
    const RowGroup group = m_bars.at(i).group;
    emit groupClicked(m_chosen == group ? std::nullopt : std::optional<RowGroup>(group));
}

bool TStatusChart::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int i = barAt(help->pos());
        if (i < 0) {
            QToolTip::hideText();
        } else {
            const ChartBar &b = m_bars.at(i);
            QToolTip::showText(help->globalPos(),
                QStringLiteral("%1: %2 行\n%3").arg(b.label).arg(b.count).arg(m_chosen == b.group ? QStringLiteral("点击显示全部") : QStringLiteral("点击只看这些行")), this);
        }
        return true;
    }
    return QWidget::event(event);
}
