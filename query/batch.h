#pragma once

#include <QString>
#include <QStringList>

class FormState;

// The address that goes into the 网址 cell of a row: a leading "http://" (any
// letter case) removed, runs of slashes and backslashes shortened. An address
// that begins with "https://" keeps those eight characters whole.
QString normurl(QStringView text);
QString normurl(const QString &text);

// The lines of the entry box, and of every text that stands for it: only CR LF,
// LF and CR end a line, and nothing inside a line is changed (U+2028, U+2029
// and U+00A0 are characters of the line like any other). An empty last line
// after a final line break is not a line; every other line counts, an empty
// one included. Lines are read whole, however long.
QStringList entryLines(const QString &text);
// The same lines as views into text.
QList<QStringView> entryLineViews(QStringView text);

// "批量查询PR": rebuilds the result list from the entry box and starts the walk.
void btn1Click(FormState &form, const QString &entryText);

// The reset that follows building a list: count label, counters, gauge, timer.
void startListRun(FormState &form);
