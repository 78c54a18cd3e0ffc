#pragma once

#include <QString>

#include <functional>

class QIODevice;

// Writes a file so that a failure never costs what the path held before: the
// bytes go to a new file beside it, reach the disk, and only then take the
// path's place in one step. The new file keeps the old one's permissions; a
// link is followed and its target replaced. A target that is not a regular
// file (a device such as /dev/stdout, a FIFO) cannot be replaced and is
// written directly.
//
// write gets the device open for writing and may throw AppError; its message
// then names the path too. Throws AppError "无法<step>文件 "<path>": <reason>"
// (step: 创建, 写入, 关闭, 替换) when the file cannot be created, written, flushed or put in
// place; nothing is left behind beside the target.
void saveAtomically(const QString &path, const std::function<void(QIODevice &)> &write);

// Whether saveAtomically(path) could create its file, found out before any
// work is done for it, by the same steps short of writing: a new file beside
// the target is created and removed again; a device is opened for writing and
// left as it is; a FIFO is taken as writable unopened, since opening it could
// wait for a reader. Returns 0, or the system's error number (EISDIR for a
// folder).
int probeSave(const QString &path);
