#include "app/rowdelegate.h"

#include "shell/resultlist.h"

TRowDelegate::TRowDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QColor TRowDelegate::toneColour(int tone)
{
    switch (RowTone(tone)) {
    case RowTone::Bad:
        return QColor(0xC6, 0x28, 0x28);
    case RowTone::Doubt:
        return QColor(0xB2, 0x6A, 0x00);
    case RowTone::Skipped:
        return QColor(0x80, 0x80, 0x80);
    case RowTone::Normal:
        break;
    }
    return QColor();
}

void TRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QColor colour = toneColour(index.data(RowToneRole).toInt());
    if (colour.isValid())
        option->palette.setColor(QPalette::Text, colour);
    if (index.column() == ColumnStatus)
        option->textElideMode = Qt::ElideMiddle;
}
