#include "support/isolation.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace prqtest {

void isolateFromUser()
{
    // Lives until the process ends; its destructor removes the folder.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/prq-home-XXXXXX"));
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary home folder: %s\n", qPrintable(home.errorString()));
        std::abort();
    }
    const auto set = [](const char *name, const QString &sub) {
        const QString path = home.path() + sub;
        QDir().mkpath(path);
        qputenv(name, QFile::encodeName(path));
    };
    set("HOME", QString());
    set("XDG_DATA_HOME", QStringLiteral("/data"));
    set("XDG_CONFIG_HOME", QStringLiteral("/config"));
    set("XDG_CACHE_HOME", QStringLiteral("/cache"));
    set("XDG_STATE_HOME", QStringLiteral("/state"));
    qunsetenv("OPR_API_KEY");
}

} // namespace prqtest
