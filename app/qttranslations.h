#pragma once

#include <QStringList>

class QLocale;

// Loads Qt's own translations (file dialogs, standard buttons, the error
// box's button) into the running application: the one for locale, then, when
// locale is not Chinese, the one for zh_CN, which is then asked first. The
// window's own texts are Chinese, so Qt's must be too whatever the system's
// language. Returns the names of the catalogues loaded; a missing one is
// skipped and Qt keeps its English for it.
QStringList installQtTranslations(const QLocale &locale);
