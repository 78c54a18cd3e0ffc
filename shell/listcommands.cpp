#include "shell/listcommands.h"

#include "shell/celltexts.h"
#include "shell/formstate.h"

void N1Click(FormState &form) noexcept
{
    form.lv1.clear();
}

void btn5Click(FormState &form)
{
    int dead = 0;
    int doubtful = 0;
    for (int i = 0; i < form.lv1.count(); ++i) {
        const QString &access = form.lv1.cell(i, CellAccess);
        if (access == celltext::Dead)
            ++dead;
        else if (access == celltext::Doubtful)
            ++doubtful;
    }
    form.setLbl5(QStringLiteral("死链=(") + QString::number(dead) + QLatin1Char(')'));
    form.setLblBlocked(QStringLiteral("存疑=(") + QString::number(doubtful) + QLatin1Char(')'));
}

QUrl visitTarget(const QString &cellText)
{
    // Qt's reading of what a person types as an address: a bare host gets
    // "http://", a path becomes a file address, a scheme stays.
    const QUrl url = QUrl::fromUserInput(cellText.trimmed());
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
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

QString N5Text(const FormState &form, const QList<int> &rows)
{
    QString out;
    for (int row : rows) {
        if (!form.lv1.hasRow(row))
            continue;
        for (int c = 0; c < ResultListModel::ColumnCount; ++c) {
            if (c > 0)
                out += QLatin1Char('\t');
            QString text = form.lv1.data(form.lv1.index(row, c)).toString();
            for (QChar &ch : text) {
                if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                    ch = QLatin1Char(' ');
            }
            out += text;
        }
        out += QLatin1Char('\n');
    }
    return out;
}
