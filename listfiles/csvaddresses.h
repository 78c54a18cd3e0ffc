#pragma once

#include <QString>
#include <QStringList>

// A list of addresses as spreadsheets and SEO tools export it: CSV (RFC 4180
// quoting; the delimiter a comma, or a semicolon or tab when the first record
// has more of those), the addresses in one of its columns, often under a
// header row.

// Whether a cell reads as a web address: "http://" or "https://" and
// anything without blanks, or a host name with a dot (or an IPv4 address),
// an optional port and an optional path.
bool looksLikeAddress(QStringView cell);

// The records of text, each a list of fields.
QList<QStringList> csvRecords(const QString &text);

// The text for the entry box: one line a record, the cell of the first
// column in which at least half of the filled cells are addresses; the first
// record is left out when its cell there is not one (a header). Without any
// such column, the first column of every record. A line break inside a cell
// becomes a space.
QString csvAddressLines(const QString &text);
