#pragma once

#include "shell/rowdetails.h"

#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The details of the row the person has selected: the full address and where
// its check ended (both selectable, to copy or open), the redirect chain one
// hop a line, the time, class and reason (the HTTP library's own words behind
// "详细"), the PR and its source; and, from the slots, the pages that link to
// it and the address's earlier checks. Each shows only when it has something.
class TDetailsPane final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDetailsPane)

public:
    explicit TDetailsPane(QWidget *parent = nullptr);

    // Opens an address with the user's browser; the window's seam.
    std::function<void(const QUrl &)> openUrl;

    void setSlots(DetailsSlots filled) { m_slots = std::move(filled); }
    const DetailsSlots &detailSlots() const { return m_slots; }

    // Shows these details; sources and history are asked of the slots with
    // the list row.
    void showDetails(const RowDetails &details, int listRow);
    int shownRow() const { return m_row; }

private:
    void open(const QString &address);
    void copy(const QString &text);

    DetailsSlots m_slots;
    int m_row = -1;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_finalUrl = nullptr;
    QLabel *m_hops = nullptr;
    QLabel *m_summary = nullptr;
    QToolButton *m_more = nullptr;
    QLabel *m_library = nullptr;
    QLabel *m_pr = nullptr;
    QTreeWidget *m_sources = nullptr;
    QTreeWidget *m_history = nullptr;
};
