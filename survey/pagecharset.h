#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The text of a fetched page and how its bytes were read.
struct PageText
{
    QString text;
    QString charset; // the decoder used: "UTF-8", "GB18030", "Shift_JIS", ...
    // Set when a charset was declared that no decoder here knows: the one
    // that then served is in charset. For the status line.
    QString note;
};

// A page's body as text, read as a browser reads it: in the charset of a
// byte-order mark; else that of the Content-Type header (contentType is the
// header's value, empty when the reply had none); else that of a
// <meta charset> or <meta http-equiv="Content-Type"> near the top of the
// page; else as UTF-8 when most of its non-ASCII bytes are valid UTF-8 (each
// invalid byte becoming U+FFFD), so that one stray byte changes one
// character and not the page; else as GB18030. A declared charset that no
// decoder here knows is passed over for the next rule. gb2312 and gbk pages
// are read as GB18030, of which they are subsets, and latin1 as
// windows-1252, as browsers do.
PageText decodePage(const QByteArray &body, QStringView contentType = {});
