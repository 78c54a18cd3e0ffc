#pragma once

#include <QString>

class TRegExp;

// The plain text of an anchor's markup: trimmed, one-line script, style,
// iframe and object elements removed with their content, every other
// "<...>" stretch removed, trimmed again. Character references stay as they
// are. Errors of the regex service pass to the caller.
QString losehtml(TRegExp &myreg, const QString &text);

// True when text holds "<" directly followed by name (lower case ASCII) with
// its letters in any case: a cheap test before a pattern that needs it.
bool hasTagOpening(const QString &text, QStringView name);
