#pragma once

#include <QString>

#include <optional>

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

// The forms a list can be written in. Tsv is the export above; Csv and Jsonl
// carry every cell and the record of the row's check, for spreadsheets and
// for programs.
//
// Csv: UTF-8 with a byte-order mark, CRLF line ends, RFC 4180 quoting, the
// header row 序号,站内?,链接词,网址,访问,PR,状态,最终网址,耗时(ms),原因,变化,
// then one record per row.
// Jsonl: one JSON object per row and line, with the keys row (1-based
// position), caption, kind, text, url, access, pr, change (the 变化 text),
// dead_since (持续死链: when the dead streak began, ISO 8601 UTC; else null),
// status, hops, final_url, elapsed_ms and reason (a reasonKey() or null);
// the check's keys are null for a row that was never checked.
enum class ExportFormat { Tsv,
    Csv,
    Jsonl };

// By the extension of path, in any letter case: ".csv" is Csv, ".jsonl" and
// ".json" are Jsonl, anything else Tsv.
ExportFormat exportFormatForPath(const QString &path);
// "tsv", "csv" or "jsonl"; nothing for any other name.
std::optional<ExportFormat> exportFormatNamed(const QString &name);

// Writes the list in format to device; shortForm matters to Tsv alone. Throws
// AppError with the device's errorString() when a write fails.
void writeListAs(const ResultListModel &list, ExportFormat format, bool shortForm, QIODevice &device);

// Writes the list in format to the file at path through saveAtomically(), as
// exportList does.
void exportListAs(const ResultListModel &list, ExportFormat format, bool shortForm, const QString &path);
