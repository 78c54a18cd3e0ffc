#pragma once

#include <QString>

class QIODevice;
class ResultListModel;

// The export of the result list as tab-separated text, one record per row in
// list order, each followed by the bytes 0D 0D 0A. The short form holds the
// address and the PR cell, the long form the caption and cells 0 to 4. Cell
// texts go out as they stand, in UTF-8: nothing is quoted or escaped.
//
// Both throw AppError when the target fails; what was written before the
// failure stays where it went.

// Writes every record to device, which must be open for writing. The message
// of a failure is the device's errorString().
void writeList(const ResultListModel &list, bool shortForm, QIODevice &device);

// Creates the file at path, or empties it, writes the records and closes it.
// The message of a failure is fileErrorText() of the system's error number.
void exportList(const ResultListModel &list, bool shortForm, const QString &path);
