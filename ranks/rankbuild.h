#pragma once

#include "ranks/rankformat.h"
#include "ranks/rankreader.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// The share of the making of an index done, 0 to 1; false stops it with
// RankBuildCancelled. Called on the thread that builds, a few hundred times.
using RankBuildProgress = std::function<bool(double share)>;

struct RankBuildSummary
{
    RankLevel level = RankLevel::Domain;
    quint64 names = 0;
    SourceStamp stamp; // of the file as it was read
    QString indexPath;
};

// Reads the ranks file at source once, streaming, and writes its index into
// folder (see RankIndex, rankIndexPath), whole or not at all. The score thresholds come
// from the PageRank values: a name of value v scores
//     floor(10 * ln(v / vmin) / ln(vmax / vmin))
// (10 when every value is the same), vmax and vmin the largest and smallest
// value in the file; so the top name scores 10. Then each position scores
// the most that any name at that position or after it scores, which keeps
// the score falling with the position even where the file's values do not.
//
// Throws AppError, naming the file and the line, for anything but a ranks
// file as published: no header or another one, a line with too few or too
// many fields, a figure that is not a number in range, a name listed twice,
// cut or damaged gzip data, an empty file, a file that changes while it is
// read. No index is left behind then.
RankBuildSummary buildRankIndex(const QString &source, const QString &folder, const RankBuildProgress &progress = {});
