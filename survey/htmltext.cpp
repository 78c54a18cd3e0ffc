#include "survey/htmltext.h"

#include "shell/textutil.h"
#include "survey/regexp.h"

QString losehtml(TRegExp &myreg, const QString &text)
{
    // The elements go before the tags, so that the content of a one-line
    // script never reaches the text.
    static const QString kElements[] = {
        QStringLiteral("<script(.+?)</script>"),
        QStringLiteral("<style(.+?)</style>"),
        QStringLiteral("<iframe(.+?)</iframe>"),
        QStringLiteral("<object(.+?)</object>"),
    };
    static const QString kTags = QStringLiteral("<\\/*[^<>]*>");

    QString s = trimctl(text);
    for (const QString &element : kElements)
        s = regdelete(myreg, element, s);
    s = regdelete(myreg, kTags, s);
    return trimctl(s);
}
