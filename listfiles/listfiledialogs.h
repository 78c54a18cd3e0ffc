#pragma once

#include "listfiles/listexport.h"

#include <QString>
#include <QStringList>

class QDateTime;

// What a file dialog is asked, and what the person answered. The window's
// seams pass these, so that tests answer a dialog, the filter included.
struct FileDialogQuestion
{
    QString title;
    QString folder;
    QString suggestedName; // empty: none
    QStringList filters; // the first is selected at start
};

struct FileDialogAnswer
{
    QString path; // empty: cancelled
    QString filter; // the filter selected when the person accepted
};

// What the import and export dialogs need besides their widgets: their texts,
// the folder they start in, and how a typed name becomes a path.
//
// One instance is one memory of the last folder. The window keeps a single one
// for both dialogs, so that each starts where the last file was chosen; before
// any was chosen, the import starts in the program's own folder and the export
// in the user's documents folder.
class ListFileDialogs final
{
public:
    static QString importTitle(); // 导入域名列表
    static QString exportTitle(); // 导出文本文件
    static QString filter(); // 文本文件 (*.txt)
    // The import's filters: text, CSV and every file; the first is selected
    // at start.
    static QStringList importFilters();
    // Whether an answered import dialog asks for the address column of a
    // CSV file: the CSV filter, or a ".csv" name under any filter.
    static bool importsCsv(const FileDialogAnswer &answer);
    // The export's filters; the first is selected at start.
    static QStringList exportFilters();
    // "PR查询结果-<date>-<time>.txt", the name the export suggests.
    static QString exportName(const QDateTime &at);
    // The form an answered export dialog asks for: that of the filter
    // chosen, or, for a filter it did not offer, that of the name's extension.
    static ExportFormat exportFormat(const FileDialogAnswer &answer);

    ListFileDialogs();
    // Both dialogs start in firstFolder until a file is chosen.
    explicit ListFileDialogs(QString firstFolder);
    ListFileDialogs(QString firstImportFolder, QString firstExportFolder);

    QString startFolder() const { return m_folder; }
    QString exportStartFolder() const { return m_chosen ? m_folder : m_exportFolder; }

    // Records the file the user chose; the next dialog starts in its folder.
    void remember(const QString &chosenPath);
    // The folder remembered from an earlier start, as if a file had been
    // chosen there; a folder that is gone is ignored.
    void restoreFolder(const QString &folder);
    // The folder of the file chosen last; empty before any was chosen.
    QString chosenFolder() const { return m_chosen ? m_folder : QString(); }

    // The existing file that a name typed into the open dialog stands for, or
    // an empty string when there is none (the dialog then stays open). A name
    // without an extension is looked up with ".txt" added first, then as typed.
    // A relative name is taken in folder.
    static QString resolveOpenName(const QString &typed, const QString &folder);
    QString resolveOpenName(const QString &typed) const { return resolveOpenName(typed, m_folder); }

    // The save dialog takes the typed name as typed, with no extension added.
    static QString resolveSaveName(const QString &typed, const QString &folder);
    QString resolveSaveName(const QString &typed) const { return resolveSaveName(typed, m_folder); }

    // The file on disk that a path from a file dialog stands for. The dialogs
    // list names decoded the lossy way (a byte that is not UTF-8 shows as
    // U+FFFD), which names no file; each such part of the path is matched
    // against the names its folder really holds, and a single match gives
    // the name from decodeFileName(). Any other path is returned as it is.
    static QString systemPath(const QString &chosen);

private:
    QString m_folder;
    QString m_exportFolder;
    bool m_chosen = false;
};
