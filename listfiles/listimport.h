#pragma once

#include <QByteArray>
#include <QString>

// The most text the entry box takes from a file, in UTF-16 code units: 64 Mi,
// some two million addresses. Far below what a QString holds (2^31 units on
// 32-bit hosts), and about where the entry box stops being usable; a larger
// file is refused whole rather than cut.
constexpr qsizetype MemoCapacity = qsizetype(64) * 1024 * 1024;

// The text of an address-list file for the entry box: a leading UTF-8 byte-order
// mark dropped, UTF-8 when the rest is valid UTF-8 and GB18030 otherwise, and
// every line break (CR LF, lone LF, lone CR) made "\n".
QString listFileText(QByteArray bytes);

// Reads the whole file at path and returns listFileText() of it. Throws
// AppError "Cannot open file "<full path>". <system message>" when the file
// cannot be opened, and "Text exceeds memo capacity" when the text would be
// longer than capacity. Other programs may go on writing the file meanwhile
// (the system has no deny-write sharing); it is read in one pass, so the text
// is what the file held at some moment of that pass.
QString importListFile(const QString &path, qsizetype capacity = MemoCapacity);
