#pragma once

#include <QStringList>

class ResultListModel;

namespace prqtest {

// The texts of column k of the result list, top row first.
QStringList columnCells(const ResultListModel &list, int k);

} // namespace prqtest
