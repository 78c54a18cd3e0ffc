#pragma once

#include "base/errors.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// The most text the entry box takes from a file, in UTF-16 code units: 64 Mi,
// some two million addresses. Far below what a QString holds (2^31 units on
// 32-bit hosts), and about where the entry box stops being usable; a larger
// file is refused whole rather than cut.
constexpr qsizetype MemoCapacity = qsizetype(64) * 1024 * 1024;

// The text of an address-list file, and how many of its lines held bytes that
// neither UTF-8 nor GB18030 could decode (each such byte became U+FFFD).
struct ListText
{
    QString text;
    qsizetype undecodableLines = 0;
};

// The text of an address-list file for the entry box: a leading UTF-8 byte-order
// mark dropped, and every line break (CR LF, lone LF, lone CR) made "\n". Each
// line is decoded on its own: as UTF-8 when it is valid UTF-8, otherwise as
// GB18030, so that one stray byte never changes the other lines. No line and
// no character that can be decoded is dropped.
ListText listFileContents(QByteArray bytes);

// Reads the file at path to its end, whatever it is (a file, a pipe, a FIFO, a
// device), and returns listFileContents() of it; the path "-" is the
// process's standard input. Throws AppError "Cannot open file "<full path>".
// <system message>" when the file cannot be opened, and "Text exceeds memo
// capacity" when the text would be longer than capacity: an endless source is
// refused once it has given more than that could hold. Other programs may go
// on writing the file meanwhile (the system has no deny-write sharing); it is
// read in one pass, so the text is what the file held at some moment of that
// pass.
//
// With cancel, the read can be abandoned from another thread: once cancel is
// raised it throws ImportCancelled within a tenth of a second, whatever the
// source does (a FIFO that no writer opens, an input that never closes).
ListText readListFile(const QString &path, qsizetype capacity = MemoCapacity, const std::atomic<bool> *cancel = nullptr);

// The import was cancelled before the file was read to its end.
class ImportCancelled final : public AppError
{
public:
    ImportCancelled();
};

// The note for the status line when lines held undecodable bytes.
QString undecodableLinesNote(qsizetype lines);
