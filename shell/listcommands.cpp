#include "shell/listcommands.h"

#include "shell/formstate.h"
#include "shell/textutil.h"

void N1Click(FormState &form) noexcept
{
    form.lv1.clear();
}

void btn5Click(FormState &form)
{
    const QString dead = QStringLiteral("×");
    int count = 0;
    for (int i = 0; i < form.lv1.count(); ++i) {
        if (form.lv1.cell(i, CellAccess) == dead)
            ++count;
    }
    form.setLbl5(QStringLiteral("死链=(") + QString::number(count) + QLatin1Char(')'));
}

QUrl visitTarget(const QString &cellText)
{
    const QString text = cellText.trimmed();
    if (text.isEmpty())
        return {};
    QString candidate;
    if (startsWithAsciiNoCase(text, u"http://") || startsWithAsciiNoCase(text, u"https://")) {
        candidate = text;
    } else {
        // A scheme is letters, digits, "+", "-" and "." before a ":" that
        // comes ahead of any "/", "?" or "#". "host:8080/x" has a port, not a
        // scheme: the part after the colon starts with a digit.
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        qsizetype stop = text.size();
        for (const QChar c : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#'), QLatin1Char('\\')}) {
            const qsizetype at = text.indexOf(c);
            if (at >= 0 && at < stop)
                stop = at;
        }
        if (colon >= 0 && colon < stop) {
            const QChar after = colon + 1 < text.size() ? text.at(colon + 1) : QChar();
            if (!after.isDigit())
                return {}; // some other scheme: mailto:, javascript:, file:, c:\ ...
        }
        if (text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('\\')) || text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('~')))
            return {}; // a local path
        candidate = QStringLiteral("http://") + text;
    }
    const QUrl url(candidate, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    return url;
}

void N2Click(const FormState &form, int selectedRow, const std::function<void(const QUrl &)> &opener)
{
    if (!form.lv1.hasRow(selectedRow) || !opener)
        return;
    const QUrl url = visitTarget(form.lv1.cell(selectedRow, CellUrl));
    if (url.isValid())
        opener(url);
}
