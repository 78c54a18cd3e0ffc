#include "survey/htmltext.h"

#include "base/textutil.h"
#include "survey/regexp.h"

bool hasTagOpening(const QString &text, QStringView name)
{
    for (qsizetype at = text.indexOf(u'<'); at >= 0; at = text.indexOf(u'<', at + 1)) {
        if (startsWithAsciiNoCase(QStringView(text).mid(at + 1), name))
            return true;
    }
    return false;
}

QString losehtml(TRegExp &myreg, const QString &text)
{
    QString s = trimctl(text);
    // Every pattern begins with "<"; most anchor texts hold none and are left
    // as regdelete would leave them.
    if (!s.contains(u'<'))
        return s;

    // The elements go before the tags, so that the content of a one-line
    // script never reaches the text.
    static const struct
    {
        QStringView name;
        QString pattern;
    } kElements[] = {
        {QStringView(u"script"), QStringLiteral("<script(.+?)</script>")},
        {QStringView(u"style"), QStringLiteral("<style(.+?)</style>")},
        {QStringView(u"iframe"), QStringLiteral("<iframe(.+?)</iframe>")},
        {QStringView(u"object"), QStringLiteral("<object(.+?)</object>")},
    };
    for (const auto &element : kElements) {
        if (hasTagOpening(s, element.name))
            s = regdelete(myreg, element.pattern, s);
    }
    s = regdelete(myreg, QStringLiteral("<\\/*[^<>]*>"), s);
    return trimctl(s);
}
