// Qt's own texts (dialog buttons, the error box's button) follow the window
// into Chinese whatever the system's language.
#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

TEST(QtTranslations, ChineseForEveryLocale)
{
    const struct
    {
        QLocale locale;
        QStringList files; // the catalogues loaded, in order
        const char *cancel;
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), {"qtbase_de.qm", "qtbase_zh_CN.qm"}, "取消"},
        {QLocale::c(), {"qtbase_zh_CN.qm"}, "取消"},
        {QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan), {"qtbase_zh_TW.qm"}, "取消"},
    };
    for (const auto &c : cases) {
        const QStringList loaded = installQtTranslations(c.locale);
        QStringList names;
        for (const QString &path : loaded)
            names << path.section(QLatin1Char('/'), -1);
        EXPECT_EQ(names, c.files) << c.locale.name().toStdString();
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8(c.cancel)) << c.locale.name().toStdString();
        for (QTranslator *t : QCoreApplication::instance()->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

} // namespace
