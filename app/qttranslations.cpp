#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

bool installOne(const QLocale &locale, QStringList &loaded)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    // "qtbase" holds the dialogs and buttons; the lookup tries zh_CN, then zh.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    loaded << translator->filePath();
    return true;
}

} // namespace

QStringList installQtTranslations(const QLocale &locale)
{
    QStringList loaded;
    installOne(locale, loaded);
    if (locale.language() != QLocale::Chinese)
        installOne(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China), loaded);
    return loaded;
}
