#pragma once

#include <QString>

class FormState;

// "整站查询": clears the list and requests the page of the typed site address.
void btn3Click(FormState &form, const QString &siteText);

// The reply of the site page: extracts its links, lists the site row and one
// row per link, keeps the kind of link chosen in the radio group, and starts
// the walk over the rows. A failure of the regex service itself raises, before
// any row is added.
void siteReplyBranch(FormState &form, const QString &siteUrl, const QString &page);
