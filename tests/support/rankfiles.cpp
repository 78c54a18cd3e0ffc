#include "support/rankfiles.h"

#include <QFile>

#include <zlib.h>

namespace prqtest {

void writeRanksFile(const QString &path, const QByteArray &content)
{
    if (path.endsWith(QLatin1String(".gz"))) {
        gzFile out = gzopen(QFile::encodeName(path).constData(), "wb");
        gzwrite(out, content.constData(), unsigned(content.size()));
        gzclose(out);
        return;
    }
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(content);
}

QByteArray manyRanks(int count)
{
    QByteArray text = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";
    text.reserve(count * 40);
    for (int i = 1; i <= count; ++i)
        text += QByteArray::number(i) + "\t1.0E6\t" + QByteArray::number(i) + '\t' + QByteArray::number(1.0 / i, 'g', 6) + "\tcom.d" + QByteArray::number(i) + "\t1\n";
    return text;
}

} // namespace prqtest
