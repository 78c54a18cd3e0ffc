#include "listfiles/listfiledialogs.h"

#include "base/filenames.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <utility>

namespace {

bool exists(const QByteArray &name)
{
    struct stat st
    {
    };
    return ::lstat(name.constData(), &st) == 0;
}

// The one entry of folder whose name reads as shown once decoded lossily.
std::optional<QByteArray> entryShownAs(const QByteArray &folder, const QString &shown)
{
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.isEmpty() ? "/" : folder.constData()), ::closedir);
    if (!dir)
        return std::nullopt;
    std::optional<QByteArray> found;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (QString::fromUtf8(entry->d_name) != shown)
            continue;
        if (found)
            return std::nullopt; // two names look alike: neither can be told
        found = QByteArray(entry->d_name);
    }
    return found;
}

} // namespace

QString ListFileDialogs::importTitle()
{
    return QStringLiteral("导入域名列表");
}

QString ListFileDialogs::exportTitle()
{
    return QStringLiteral("导出文本文件");
}

QString ListFileDialogs::filter()
{
    return QStringLiteral("文本文件 (*.txt)");
}

namespace {
QString csvFilter()
{
    return QStringLiteral("CSV文件 (*.csv)");
}
QString jsonlFilter()
{
    return QStringLiteral("JSON Lines文件 (*.jsonl)");
}
QString allFilesFilter()
{
    return QStringLiteral("所有文件 (*)");
}
} // namespace

QStringList ListFileDialogs::importFilters()
{
    return {filter(), csvFilter(), allFilesFilter()};
}

bool ListFileDialogs::importsCsv(const FileDialogAnswer &answer)
{
    return answer.filter == csvFilter() || QFileInfo(answer.path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0;
}

QStringList ListFileDialogs::exportFilters()
{
    return {filter(), csvFilter(), jsonlFilter()};
}

ExportFormat ListFileDialogs::exportFormat(const FileDialogAnswer &answer)
{
    if (answer.filter == filter())
        return ExportFormat::Tsv;
    if (answer.filter == csvFilter())
        return ExportFormat::Csv;
    if (answer.filter == jsonlFilter())
        return ExportFormat::Jsonl;
    return exportFormatForPath(answer.path);
}

QString ListFileDialogs::exportName(const QDateTime &at)
{
    return QStringLiteral("PR查询结果-") + at.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".txt");
}

namespace {
QString documentsFolder()
{
    // The folder is named even where it was never made; a dialog sent there
    // would fall back to wherever the program was started.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}
} // namespace

ListFileDialogs::ListFileDialogs()
    : ListFileDialogs(QCoreApplication::applicationDirPath(), documentsFolder())
{
}

ListFileDialogs::ListFileDialogs(QString firstFolder)
    : ListFileDialogs(firstFolder, firstFolder)
{
}

ListFileDialogs::ListFileDialogs(QString firstImportFolder, QString firstExportFolder)
    : m_folder(std::move(firstImportFolder))
    , m_exportFolder(std::move(firstExportFolder))
{
}

void ListFileDialogs::restoreFolder(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    m_folder = folder;
    m_chosen = true;
}

void ListFileDialogs::remember(const QString &chosenPath)
{
    if (chosenPath.isEmpty())
        return;
    m_folder = QFileInfo(chosenPath).absolutePath();
    m_chosen = true;
}

QString ListFileDialogs::resolveOpenName(const QString &typed, const QString &folder)
{
    if (typed.isEmpty())
        return QString();
    const QString path = QDir(folder).absoluteFilePath(typed);
    const auto existingFile = [](const QString &candidate) {
        const QFileInfo info(candidate);
        return info.isFile() ? info.absoluteFilePath() : QString();
    };
    if (QFileInfo(path).suffix().isEmpty()) {
        const QString withTxt = existingFile(path + QLatin1String(".txt"));
        if (!withTxt.isEmpty())
            return withTxt;
    }
    return existingFile(path);
}

QString ListFileDialogs::resolveSaveName(const QString &typed, const QString &folder)
{
    if (typed.isEmpty())
        return QString();
    return QDir(folder).absoluteFilePath(typed);
}

QString ListFileDialogs::systemPath(const QString &chosen)
{
    if (!chosen.contains(QChar::ReplacementCharacter) || exists(encodeFileName(chosen)))
        return chosen;
    const QStringList parts = chosen.split(QLatin1Char('/'));
    QByteArray path = encodeFileName(parts.constFirst());
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QByteArray next = path + '/' + encodeFileName(part);
        if (part.contains(QChar::ReplacementCharacter) && !exists(next)) {
            const std::optional<QByteArray> real = entryShownAs(path, part);
            if (!real)
                return chosen;
            next = path + '/' + *real;
        }
        path = std::move(next);
    }
    return decodeFileName(path);
}
