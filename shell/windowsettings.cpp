#include "shell/windowsettings.h"

#include <QSettings>

#include <algorithm>

namespace {

int number(const QSettings &s, const QString &key, int fallback, int low, int high)
{
    bool ok = false;
    const int n = s.value(key).toInt(&ok);
    return ok ? std::clamp(n, low, high) : fallback;
}

bool flag(const QSettings &s, const QString &key, bool fallback)
{
    const QVariant v = s.value(key);
    return v.isValid() ? v.toBool() : fallback;
}

} // namespace

WindowSettings readWindowSettings(QSettings &s)
{
    WindowSettings w;
    s.beginGroup(QStringLiteral("window"));
    w.geometry = s.value(QStringLiteral("geometry")).toByteArray();
    w.splitter = s.value(QStringLiteral("splitter")).toByteArray();
    w.hiddenColumns = s.value(QStringLiteral("hiddenColumns")).toStringList();
    const QVariantMap widths = s.value(QStringLiteral("columnWidths")).toMap();
    for (auto it = widths.cbegin(); it != widths.cend(); ++it) {
        bool ok = false;
        const int width = it.value().toInt(&ok);
        if (ok && width > 0)
            w.columnWidths.insert(it.key(), std::min(width, 5000));
    }
    s.endGroup();
    s.beginGroup(QStringLiteral("query"));
    w.intervalMs = number(s, QStringLiteral("intervalMs"), w.intervalMs, 200, 100000);
    w.exportShort = flag(s, QStringLiteral("exportShort"), w.exportShort);
    w.queryPr = flag(s, QStringLiteral("queryPr"), w.queryPr);
    w.deadLink = flag(s, QStringLiteral("deadLink"), w.deadLink);
    w.htmlExtract = flag(s, QStringLiteral("htmlExtract"), w.htmlExtract);
    w.linkFilter = number(s, QStringLiteral("linkFilter"), w.linkFilter, 0, 2);
    w.rankSource = number(s, QStringLiteral("rankSource"), w.rankSource, 0, 2);
    w.rankFile = s.value(QStringLiteral("rankFile")).toString();
    w.concurrency = number(s, QStringLiteral("concurrency"), w.concurrency, 1, 1000);
    w.perHost = number(s, QStringLiteral("perHost"), w.perHost, 1, 1000);
    w.folder = s.value(QStringLiteral("folder")).toString();
    w.rememberKey = flag(s, QStringLiteral("rememberKey"), w.rememberKey);
    w.key = w.rememberKey ? s.value(QStringLiteral("oprKey")).toString() : QString();
    s.endGroup();
    return w;
}

void writeWindowSettings(QSettings &s, const WindowSettings &w)
{
    s.beginGroup(QStringLiteral("window"));
    s.setValue(QStringLiteral("geometry"), w.geometry);
    s.setValue(QStringLiteral("splitter"), w.splitter);
    s.setValue(QStringLiteral("hiddenColumns"), w.hiddenColumns);
    QVariantMap widths;
    for (auto it = w.columnWidths.cbegin(); it != w.columnWidths.cend(); ++it)
        widths.insert(it.key(), it.value());
    s.setValue(QStringLiteral("columnWidths"), widths);
    s.endGroup();
    s.beginGroup(QStringLiteral("query"));
    s.setValue(QStringLiteral("intervalMs"), w.intervalMs);
    s.setValue(QStringLiteral("exportShort"), w.exportShort);
    s.setValue(QStringLiteral("queryPr"), w.queryPr);
    s.setValue(QStringLiteral("deadLink"), w.deadLink);
    s.setValue(QStringLiteral("htmlExtract"), w.htmlExtract);
    s.setValue(QStringLiteral("linkFilter"), w.linkFilter);
    if (w.rankSource >= 0)
        s.setValue(QStringLiteral("rankSource"), w.rankSource);
    if (!w.rankFile.isEmpty())
        s.setValue(QStringLiteral("rankFile"), w.rankFile);
    s.setValue(QStringLiteral("concurrency"), w.concurrency);
    s.setValue(QStringLiteral("perHost"), w.perHost);
    s.setValue(QStringLiteral("folder"), w.folder);
    s.setValue(QStringLiteral("rememberKey"), w.rememberKey);
    // Unticking "记住密钥" forgets a key kept earlier.
    if (w.rememberKey && !w.key.isEmpty())
        s.setValue(QStringLiteral("oprKey"), w.key);
    else
        s.remove(QStringLiteral("oprKey"));
    s.endGroup();
    s.sync();
}
