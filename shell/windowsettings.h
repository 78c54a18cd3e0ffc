#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class QSettings;

// What the window remembers between starts. The geometry and the splitter
// are the widgets' own bytes; columns are named by their headers, so that a
// column added later finds no stale width. The Open PageRank key is kept
// only when the person asks for it, in plain text in the settings file.
struct WindowSettings
{
    QByteArray geometry;
    QByteArray splitter;
    QStringList hiddenColumns;
    QMap<QString, int> columnWidths;
    int intervalMs = 1000;
    bool exportShort = true; // 只导出网址和PR
    bool queryPr = true; // 查询PR
    bool deadLink = true; // 死链检测
    bool htmlExtract = false; // 按HTML解析
    int linkFilter = 0; // 所有链接, 站内链接, 站外链接
    int rankSource = -1; // 工具栏, Open PageRank, 网络图排名文件; -1: none kept yet
    QString rankFile; // the ranks file chosen last, whichever source is chosen
    int concurrency = 32;
    int perHost = 4;
    QString folder; // of the file chosen last in a dialog
    bool rememberKey = false;
    QString key;
};

// Reads what is there; a missing or unreadable value keeps its default, a
// number out of range is brought within it.
WindowSettings readWindowSettings(QSettings &settings);
void writeWindowSettings(QSettings &settings, const WindowSettings &values);
