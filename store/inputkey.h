#pragma once

#include "shell/crawlsettings.h"

#include <QString>

#include <vector>

// The key that tells runs of the same input apart from others: equal for the
// same addresses in the same order (a list), or for the same site address
// with the same choices (a survey). A hex digest, kept with every run.
QString listInputKey(const std::vector<QString> &urls);
QString siteInputKey(const QString &siteUrl, int linkFilter, bool htmlExtract);
// A crawl's: the survey's, and every setting of how far it goes.
QString crawlInputKey(const QString &siteUrl, int linkFilter, bool htmlExtract, const CrawlSettings &crawl);
