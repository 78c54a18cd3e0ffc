#pragma once

#include "shell/listcounts.h"

#include <QList>
#include <QWidget>

#include <optional>

// A small bar chart of the list: rows per class (正常, 死链, 存疑, 未检测)
// and per status group (2xx to 5xx, 失败), each bar with its count. A click
// on a bar asks for the view of its rows; a click on the bar already chosen
// asks for every row again.
class TStatusChart final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TStatusChart)

public:
    explicit TStatusChart(QWidget *parent = nullptr);

    void setBars(const QList<ChartBar> &bars);
    const QList<ChartBar> &bars() const { return m_bars; }
    // The group whose rows the view shows, drawn as chosen; none: every row.
    void setChosen(std::optional<RowGroup> group);
    // Where the bar of group is drawn, for a click (and for tests).
    QRect barRect(RowGroup group) const;

    QSize sizeHint() const override;

signals:
    // Show only this group's rows; none: every row.
    void groupClicked(std::optional<RowGroup> group);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    // The slot of bar i: its column of the chart, label and count included.
    QRect slotRect(int i) const;
    int barAt(const QPoint &at) const;

    QList<ChartBar> m_bars;
    std::optional<RowGroup> m_chosen;
};
