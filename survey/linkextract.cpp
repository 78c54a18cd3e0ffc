#include "survey/linkextract.h"

#include "shell/errors.h"
#include "shell/textutil.h"
#include "survey/htmltext.h"
#include "survey/regexp.h"
#include "survey/sitedomain.h"

#include <QStringBuilder>

QStringList ExprTest(TRegExp &myreg, const QString &pattern, const QString &page, const QString &siteurl)
{
    TRegExp reg;
    reg.setGlobal(true);
    reg.setPattern(pattern);
    reg.setIgnoreCase(true);
    const TMatchCollection matches = reg.Execute(page);

    // The same for every link; when it cannot be worked out every link is
    // skipped.
    QString siteDomain;
    try {
        siteDomain = asciilower(getdomain2(siteurl));
    } catch (const AppError &) {
        return {};
    }

    static const QString kSeparator = QStringLiteral("[@m@]");
    static const QString kIn = kSeparator + QStringLiteral("in");
    static const QString kOut = kSeparator + QStringLiteral("out");
    QStringList records;
    records.reserve(matches.Count());
    for (qsizetype i = 0; i < matches.Count(); ++i) {
        const TSubMatches &subs = matches.Item(i).SubMatches();
        if (subs.Count() < 2)
            continue;
        try {
            QString link = subs.Item(0);
            if (!startsWithAsciiNoCase(link, u"http://") && !startsWithAsciiNoCase(link, u"https://"))
                link = siteurl % u'/' % link;
            const QString linkDomain = asciilower(getdomain2(link));
            const QString text = losehtml(myreg, subs.Item(1));
            records.append(link % kSeparator % text % (linkDomain == siteDomain ? kIn : kOut));
        } catch (const AppError &) {
            // This link only: the others are still listed.
        }
    }
    return records;
}
