#include "listfiles/listfiledialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

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

ListFileDialogs::ListFileDialogs()
    : ListFileDialogs(QCoreApplication::applicationDirPath())
{
}

ListFileDialogs::ListFileDialogs(QString firstFolder)
    : m_folder(std::move(firstFolder))
{
}

void ListFileDialogs::remember(const QString &chosenPath)
{
    if (!chosenPath.isEmpty())
        m_folder = QFileInfo(chosenPath).absolutePath();
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
