#include "query/batch.h"

#include "shell/formstate.h"
#include "shell/textutil.h"

#include <vector>

namespace {

// One left-to-right pass that replaces every non-overlapping occurrence of
// run (a run of one character) by a single character; text produced by a
// replacement is not scanned again.
void collapse(QString &text, QChar c, int runLength)
{
    if (text.size() < runLength)
        return;
    QString out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool changed = false;
    while (i < n) {
        if (text.at(i) == c && i + runLength <= n) {
            int k = 1;
            while (k < runLength && text.at(i + k) == c)
                ++k;
            if (k == runLength) {
                if (!changed) {
                    out.reserve(n);
                    out.append(QStringView(text).left(i));
                    changed = true;
                }
                out.append(c);
                i += runLength;
                continue;
            }
        }
        if (changed)
            out.append(text.at(i));
        ++i;
    }
    if (changed)
        text = out;
}

} // namespace

QString normurl(const QString &text)
{
    QString s = text;
    if (startsWithAsciiNoCase(s, u"https://")) {
        // The secure scheme keeps its "//"; only the rest is normalised.
        QString rest = s.mid(8);
        collapse(rest, QLatin1Char('/'), 3);
        collapse(rest, QLatin1Char('/'), 2);
        collapse(rest, QLatin1Char('\\'), 3);
        collapse(rest, QLatin1Char('\\'), 2);
        return s.left(8) + rest;
    }
    if (startsWithAsciiNoCase(s, u"http://"))
        s.remove(0, 7);
    collapse(s, QLatin1Char('/'), 3);
    collapse(s, QLatin1Char('/'), 2);
    collapse(s, QLatin1Char('\\'), 3);
    collapse(s, QLatin1Char('\\'), 2);
    return s;
}

QStringList entryLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

void startListRun(FormState &form)
{
    // A new run: answers to requests started before it belong to the list
    // as it was (its rows may since have moved), not to this run.
    form.lv1.markRebuilt();
    const int rows = form.lv1.count();
    form.setLbl2(QStringLiteral("数量(") + QString::number(rows) + QLatin1Char(')'));
    form.curindex = 0;
    form.donecount = 0;
    form.pr1.setValue(0);
    form.pr1.setMaximum(rows);
    if (!form.tmr2.isActive())
        form.tmr2.start();
    emit form.runStarted();
}

void btn1Click(FormState &form, const QString &entryText)
{
    form.lv1.clear();
    const QStringList lines = entryLines(entryText);
    const QString batch = QStringLiteral("批量");
    const QString noText = QStringLiteral("--");
    const QString waiting = QStringLiteral("查询中...");
    std::vector<ResultRow> rows;
    rows.reserve(std::size_t(lines.size()));
    for (qsizetype i = 0; i < lines.size(); ++i)
        rows.push_back(ResultRow{QString::number(i + 1), {batch, noText, normurl(lines.at(i)), waiting, waiting}});
    form.lv1.addRows(std::move(rows));
    startListRun(form);
}
