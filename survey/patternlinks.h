#pragma once

#include "survey/linkextractor.h"

class TRegExp;

// The stored link pattern: group 0 of each match is the address, group 1 the
// anchor markup, cleaned with losehtml. Patterns stay compiled in myreg from
// one page to the next.
class PatternLinkExtractor final : public LinkExtractor
{
public:
    PatternLinkExtractor(TRegExp &myreg, const QString &pattern);
    PageLinks extract(const QString &page) override;

private:
    TRegExp &m_myreg;
    QString m_pattern;
};
