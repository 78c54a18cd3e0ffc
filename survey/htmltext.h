#pragma once

#include <QString>

class TRegExp;

// The plain text of an anchor's markup: trimmed, one-line script, style,
// iframe and object elements removed with their content, every other
// "<...>" stretch removed, trimmed again. Character references stay as they
// are. Errors of the regex service pass to the caller.
QString losehtml(TRegExp &myreg, const QString &text);
