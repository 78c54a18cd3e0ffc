#include "support/isolatedhome.h"

#include <QDir>

namespace prqtest {

IsolatedHome::IsolatedHome()
{
    const auto set = [this](const char *name, const QString &folder) {
        const QString path = m_dir.filePath(folder);
        QDir().mkpath(path);
        qputenv(name, QFile::encodeName(path));
    };
    set("HOME", QStringLiteral("home"));
    set("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
    set("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
    qunsetenv("OPR_API_KEY");
}

} // namespace prqtest
