#include "support/resultcells.h"

#include "shell/resultlist.h"

namespace prqtest {

QStringList columnCells(const ResultListModel &list, int k)
{
    QStringList out;
    for (int r = 0; r < list.count(); ++r)
        out << list.cell(r, k);
    return out;
}

} // namespace prqtest
