#include "query/batch.h"

#include "base/textutil.h"
#include "shell/celltexts.h"
#include "shell/formstate.h"
#include "shell/ranksource.h"

#include <vector>

namespace {

// What steps 2 to 5 of the normalisation leave of a run of k slashes (or of
// k backslashes): a pass that turns every three into one, then a pass that
// turns every two into one. Each pass keeps the run a run of its own, so the
// passes can be applied run by run in one scan.
qsizetype collapsedRun(qsizetype k)
{
    const qsizetype afterThrees = k / 3 + k % 3;
    return afterThrees / 2 + afterThrees % 2;
}

// Appends text to out with every run of slashes and of backslashes collapsed.
void appendCollapsed(QString &out, QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('/') && c != QLatin1Char('\\')) {
            out.append(c);
            ++i;
            continue;
        }
        qsizetype k = 1;
        while (i + k < n && text.at(i + k) == c)
            ++k;
        for (qsizetype r = collapsedRun(k); r > 0; --r)
            out.append(c);
        i += k;
    }
}

} // namespace

QString normurl(QStringView text)
{
    QString out;
    out.reserve(text.size());
    if (startsWithAsciiNoCase(text, u"https://")) {
        // The secure scheme keeps its "//"; only the rest is normalised.
        out.append(text.left(8));
        text = text.mid(8);
    } else if (startsWithAsciiNoCase(text, u"http://")) {
        text = text.mid(7);
    }
    appendCollapsed(out, text);
    return out;
}

QString normurl(const QString &text)
{
    return normurl(QStringView(text));
}

QList<QStringView> entryLineViews(QStringView text)
{
    QList<QStringView> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
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

QStringList entryLines(const QString &text)
{
    QStringList lines;
    for (const QStringView line : entryLineViews(text))
        lines.append(line.toString());
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
    if (form.bschck2)
        form.rankSource().listBuilt();
    // A source that answers every row by itself leaves the walk nothing to
    // do when the addresses are not checked.
    const bool idleWalk = form.bschck2 && !form.bschck3 && !form.rankSource().needsWalk();
    if (!form.tmr2.isActive() && !idleWalk)
        form.tmr2.start();
    emit form.runStarted();
}

void btn1Click(FormState &form, const QString &entryText)
{
    form.lv1.clear();
    // Views into the text: a copy of every line would only be thrown away.
    const QList<QStringView> lines = entryLineViews(entryText);
    std::vector<ResultRow> rows;
    rows.reserve(std::size_t(lines.size()));
    for (qsizetype i = 0; i < lines.size(); ++i)
        rows.push_back(ResultRow {QString::number(i + 1), {celltext::Batch, celltext::NoAnswer, normurl(lines.at(i)), celltext::Pending, celltext::Pending}});
    form.lv1.addRows(std::move(rows));
    startListRun(form);
}
