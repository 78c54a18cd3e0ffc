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

// The address part of an entry line: the line without the white space around
// it (spaces, tabs, control characters, no-break and full-width spaces,
// zero-width marks), which a paste so often brings along and which would
// only make a working address fail. Empty for a blank line.
QStringView entryAddress(QStringView line);

// "批量查询PR": rebuilds the result list from the entry box and starts the
// walk. Each line is one numbered row, its address entryAddress() of the line
// through normurl; a blank line is a row of its own that is never queried
// ("--", 状态 "空行"). A query whose box is unticked shows "--" at once.
void btn1Click(FormState &form, const QString &entryText);

// The reset that follows building a list: count label, counters, gauge, timer.
// The gauge counts the rows that will be queried: blank rows are not.
void startListRun(FormState &form);
