#pragma once

#include <QStyledItemDelegate>

// Paints the rows of the result list in the colour of their verdict (a dead
// link red, a doubtful one amber, one not checked grey), and elides the 状态
// chain in the middle, so that its first and last codes stay in sight.
class TRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRowDelegate)

public:
    explicit TRowDelegate(QObject *parent = nullptr);

    // The text colour of a tone; invalid for the view's own.
    static QColor toneColour(int tone);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
