#pragma once

#include <QString>
#include <QStringList>

class TRegExp;

// The links of a page as records address + "[@m@]" + anchor text + "[@m@]in"
// or "[@m@]out", in page order, one per match of pattern (its group 0 the
// address, group 1 the anchor text), repeats kept.
// An address that does not begin with "http://" or "https://" (any case) is
// joined to siteurl as siteurl + "/" + address. A link is "in" when its site
// domain, lower-cased, equals that of siteurl. Anchor texts are cleaned with
// losehtml on myreg. A link whose domain or text cannot be worked out is
// skipped; a failure of the regex service itself raises AppError.
QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl);
