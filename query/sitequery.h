#pragma once

#include <QString>

class FormState;
class TRegExp;

// "整站查询": clears the list and requests the page of the typed site address.
void btn3Click(FormState &form, const QString &siteText);

// The reply of the site page: extracts its links (with the link pattern
// through the shared regex object myreg, or with the HTML parser when
// 按HTML解析 is ticked), lists the site row and one
// row per link, keeps the kind of link chosen in the radio group, and starts
// the walk over the rows. finalUrl is the address the page was read from
// after redirects, empty when unknown. A failure to read the page at all
// raises, before any row is added.
void siteReplyBranch(FormState &form, TRegExp &myreg, const QString &siteUrl, const QString &finalUrl, const QString &page);

// The check of a row whose link is no address (ResultRow::unaddressable):
// answered at once, "×" and the class Invalid, without a request, counted
// as a check's answer. False, and nothing done, for any other row. The
// engine installs it as a check interceptor.
bool answerUnaddressable(FormState &form, int row);
