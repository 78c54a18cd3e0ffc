#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class FormState;

// "清空列表": removes all rows; nothing else changes, and it never fails.
void N1Click(FormState &form) noexcept;

// "统计死链": counts the rows whose 访问 cell is exactly "×" (lbl5), and
// apart from them those whose 访问 is "?" (lblBlocked).
void btn5Click(FormState &form);

// The web address that "访问网站" opens for a cell text: http and https
// addresses as they are, an address without a scheme with "http://" in front.
// Any other scheme, or a local path, gives an invalid QUrl: a link found on a
// hostile page must never start a local program.
QUrl visitTarget(const QString &cellText);

// "访问网站": opens the selected row's address (row -1: no selection) with
// opener, the user's default browser in the window and a recorder in tests.
void N2Click(const FormState &form, int selectedRow, const std::function<void(const QUrl &)> &opener);

// "复制": the given rows as text for the clipboard, one line a row ending in a
// line break, the seven columns as shown joined by tabs. A tab or line break
// inside a cell becomes a space, so that every row stays one line of seven
// fields.
QString N5Text(const FormState &form, const QList<int> &rows);
