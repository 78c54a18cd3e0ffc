#include "listfiles/csvaddresses.h"

#include "base/textutil.h"

#include <algorithm>

namespace {

QChar delimiterOf(const QString &text)
{
    int counts[3] = {0, 0, 0};
    const QChar candidates[3] = {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted)
            for (int i = 0; i < 3; ++i)
                counts[i] += c == candidates[i];
    }
    const int best = int(std::max_element(std::begin(counts), std::end(counts)) - std::begin(counts));
    return counts[best] > 0 ? candidates[best] : candidates[0];
}

bool hostChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('_');
}

} // namespace

bool looksLikeAddress(QStringView cell)
{
    cell = cell.trimmed();
    if (cell.isEmpty())
        return false;
    for (const QChar c : cell) {
        if (c.isSpace())
            return false;
    }
    if (startsWithAsciiNoCase(cell, u"http://") || startsWithAsciiNoCase(cell, u"https://"))
        return cell.size() > 8;
    qsizetype end = 0;
    while (end < cell.size() && cell.at(end) != QLatin1Char('/') && cell.at(end) != QLatin1Char('?') && cell.at(end) != QLatin1Char('#'))
        ++end;
    QStringView host = cell.left(end);
    if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        const QStringView port = host.mid(colon + 1);
        bool number = false;
        const int value = port.toInt(&number);
        if (!number || value < 1 || value > 65535 || port.startsWith(QLatin1Char('+')) || port.startsWith(QLatin1Char('-')))
            return false;
        host = host.left(colon);
    }
    if (!host.contains(QLatin1Char('.')) || host.startsWith(QLatin1Char('.')) || host.endsWith(QLatin1Char('.')) || host.contains(u".."))
        return false;
    if (!std::all_of(host.begin(), host.end(), hostChar))
        return false;
    // "1.5" is a number; a name ends in a label with a letter, or is four numbers.
    const QStringView last = host.mid(host.lastIndexOf(QLatin1Char('.')) + 1);
    if (std::any_of(last.begin(), last.end(), [](QChar c) { return c.isLetter(); }))
        return true;
    return host.count(QLatin1Char('.')) == 3;
}

QList<QStringList> csvRecords(const QString &text)
{
    const QChar delimiter = delimiterOf(text);
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false; // the record has begun
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == delimiter) {
            record << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            record << field;
            records << record;
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        record << field;
        records << record;
    }
    return records;
}

QString csvAddressLines(const QString &text)
{
    const QList<QStringList> records = csvRecords(text);
    if (records.isEmpty())
        return QString();
    qsizetype columns = 0;
    for (const QStringList &r : records)
        columns = std::max(columns, r.size());
    // The first record may be a header: the columns are judged by the rest.
    const qsizetype from = records.size() > 1 ? 1 : 0;
    qsizetype chosen = 0;
    bool found = false;
    for (qsizetype c = 0; c < columns && !found; ++c) {
        int filled = 0;
        int addresses = 0;
        for (qsizetype r = from; r < records.size(); ++r) {
            const QString cell = records.at(r).value(c).trimmed();
            if (cell.isEmpty())
                continue;
            ++filled;
            addresses += looksLikeAddress(cell);
        }
        if (addresses > 0 && addresses * 2 >= filled) {
            chosen = c;
            found = true;
        }
    }
    // Without a column of addresses nothing tells a header: every record stays.
    const qsizetype first = found && !looksLikeAddress(records.constFirst().value(chosen)) ? 1 : 0;
    QStringList lines;
    for (qsizetype r = first; r < records.size(); ++r) {
        QString cell = records.at(r).value(chosen);
        cell.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << cell;
    }
    return lines.join(QLatin1Char('\n'));
}
