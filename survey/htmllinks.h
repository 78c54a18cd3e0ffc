#pragma once

#include "survey/linkextractor.h"

// The anchors of the HTML5 parser's tree: every <a> and <area> with an href,
// in document order, wherever line breaks fall; nothing from comments,
// scripts or styles. The text is the element's text with each run of white
// space made one space and trimmed, or the alt of its first image when that
// leaves nothing. The page is read within the bounds of boundMarkup and
// TreeBudget, whatever it holds; PageLinks::limit tells when it met one.
class HtmlLinkExtractor final : public LinkExtractor
{
public:
    PageLinks extract(const QString &page) override;
};
