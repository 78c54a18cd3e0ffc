#pragma once

#include <QString>

#include <optional>

class QIODevice;
class ResultListModel;
struct Options;

// The export of the result list as tab-separated text, one record per row in
// list order, each followed by the bytes 0D 0D 0A. The short form holds the
// address and the PR cell, the long form the caption and cells 0 to 4. Cell
// texts go out as they stand, in UTF-8: nothing is quoted or escaped.

// Writes every record to device, which must be open for writing. Throws
// AppError with the device's errorString() when a write fails.
void writeList(const ResultListModel &list, bool shortForm, QIODevice &device);

// Writes the records to the file at path through saveAtomically(): on any
// failure the file keeps what it held before, and the message names the step,
// the path and the system's reason ("无法写入文件 "<path>": 磁盘已满").
void exportList(const ResultListModel &list, bool shortForm, const QString &path);

// The forms a list can be written in. Tsv is the export above; Csv and Jsonl
// carry every cell and the record of the row's check, for spreadsheets and
// for programs.
//
// Csv: UTF-8 with a byte-order mark, CRLF line ends, RFC 4180 quoting, the
// header row 序号,站内?,链接词,网址,访问,PR,状态,最终网址,耗时(ms),原因,
// rank_pos,harmonic_pos,release,class,变化,深度,来源数,来源页,孤立, then one
// record per row; 原因 in the system's words, without the HTTP library's. A
// cell that a spreadsheet would read as a formula (beginning with "=", "+",
// "-", "@", a tab or a carriage return) is written with "'" before it; a cell
// of "-" alone ("--", "---") is not. CsvRaw writes every cell as it is, for scripts
// that want the bytes.
// Jsonl: one JSON object per row and line, with the keys row (1-based
// position), caption, kind, text, url, access, pr, class, change (the 变化
// text), dead_since (持续死链: when the dead streak began, ISO 8601 UTC; else
// null), depth, sources, orphan, status, hops, final_url, elapsed_ms and
// reason (a reasonKey() or null); the check's keys are null for a row that
// was never checked, but for status when the row says why ("空行", "未查询",
// "未完成"), as its 状态 column does. Then rank_pos, harmonic_pos and
// release: the figures of a PR from a ranks file, null when its source gave
// none. class is the row's verdictClassKey() ("alive", "dead", "blocked",
// "soft404", "invalid", "robots", "unchecked").
enum class ExportFormat {
    Tsv,
    Csv,
    CsvRaw,
    Jsonl
};

// By the extension of path, in any letter case: ".csv" is Csv, ".jsonl" and
// ".json" are Jsonl, anything else Tsv.
ExportFormat exportFormatForPath(const QString &path);
// The form a command-line run writes: --format, else by the extension of
// --out (standard output: Tsv); Csv becomes CsvRaw with --csv-raw.
ExportFormat exportFormatFor(const Options &options);
// "tsv", "csv" or "jsonl"; nothing for any other name.
std::optional<ExportFormat> exportFormatNamed(const QString &name);

// Writes the list in format to device; shortForm matters to Tsv alone. Throws
// AppError with the device's errorString() when a write fails.
void writeListAs(const ResultListModel &list, ExportFormat format, bool shortForm, QIODevice &device);

// Writes the list in format to the file at path through saveAtomically(), as
// exportList does.
void exportListAs(const ResultListModel &list, ExportFormat format, bool shortForm, const QString &path);

// Csv and Jsonl also say where each row of a site list was found (see
// RowSources); for a batch row those fields are empty (null). Csv appends the
// columns 深度, 来源数, 来源页 (the first source page; "sitemap" for an
// orphan) and 孤立 ("是" for an orphan); Jsonl the keys depth, sources (an
// array of {page, text}, every source in the order found) and orphan.

// The inlinks of a site list as CSV (UTF-8 with a byte-order mark, CRLF,
// RFC 4180 quoting): the header 来源页,链接词,网址,访问,状态, then one record per
// link found that leads to a row of the list, in the order found: the
// source page's address, the anchor text, and the row's 网址, 访问 and 状态.
void writeInlinks(const ResultListModel &list, QIODevice &device);
void exportInlinks(const ResultListModel &list, const QString &path);
