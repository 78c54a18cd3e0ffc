#pragma once

#include <QString>

class QIODevice;
class ResultListModel;

// The export of the result list as tab-separated text, one record per row in
// list order, each followed by the bytes 0D 0D 0A. The short form holds the
// address and the PR cell, the long form the caption and cells 0 to 4. Cell
// texts go out as they stand, in UTF-8: nothing is quoted or escaped.

// Writes every record to device, which must be open for writing. Throws
// AppError with the device's errorString() when a write fails.
void writeList(const ResultListModel &list, bool shortForm, QIODevice &device);

// Writes the records to the file at path through saveAtomically(): on any
// failure the file keeps what it held before, and the message names the step,
// the path and the system's reason ("Cannot write file "<path>". Disk full").
void exportList(const ResultListModel &list, bool shortForm, const QString &path);
