#include "data/storedtext.h"

#include "base/errors.h"

#include <QFile>

namespace {
QString readResource(const QString &name)
{
    QFile file(QStringLiteral(":/data/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Stored text %1 is missing").arg(name));
    return QString::fromUtf8(file.readAll());
}
} // namespace

namespace storedtext {
QString checksumScript()
{
    return readResource(QStringLiteral("checksum.js"));
}
QString serverPool()
{
    return readResource(QStringLiteral("servers.txt"));
}
QString linkPattern()
{
    return readResource(QStringLiteral("linkpattern.txt"));
}
QString bannerHost()
{
    return readResource(QStringLiteral("banner.txt")).trimmed();
}
QString bannerUrl()
{
    return QStringLiteral("http://") + bannerHost() + QStringLiteral("/softad/PR.html?v1.0");
}
} // namespace storedtext
