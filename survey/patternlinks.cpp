#include "survey/patternlinks.h"

#include "base/errors.h"
#include "survey/charrefs.h"
#include "survey/htmltext.h"
#include "survey/regexp.h"

#include <QStringList>

namespace {

// The first <base> with an href, its value quoted either way or bare.
const QString &basePattern()
{
    static const QString pattern = QStringLiteral("<base\\s[^>]*?href\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))");
    return pattern;
}

} // namespace

PatternLinkExtractor::PatternLinkExtractor(TRegExp &myreg, const QString &pattern)
    : m_myreg(myreg)
    , m_pattern(pattern)
{
}

PageLinks PatternLinkExtractor::extract(const QString &page)
{
    m_myreg.setGlobal(true);
    m_myreg.setPattern(m_pattern);
    m_myreg.setIgnoreCase(true);
    const TMatchCollection matches = m_myreg.Execute(page);

    QStringList hrefs;
    QStringList texts;
    hrefs.reserve(matches.Count());
    texts.reserve(matches.Count());
    for (qsizetype i = 0; i < matches.Count(); ++i) {
        const TSubMatches &subs = matches.Item(i).SubMatches();
        if (subs.Count() < 2)
            continue;
        try {
            const QString text = losehtml(m_myreg, subs.Item(1));
            hrefs.append(subs.Item(0));
            texts.append(text);
        } catch (const AppError &) {
            // This link only: the others are still listed.
        }
    }

    PageLinks result;
    if (hasTagOpening(page, u"base")) {
        m_myreg.setGlobal(false);
        m_myreg.setPattern(basePattern());
        const TMatchCollection base = m_myreg.Execute(page);
        if (base.Count() > 0) {
            const TSubMatches &subs = base.Item(0).SubMatches();
            const QString href = subs.Item(0) + subs.Item(1) + subs.Item(2); // the one that took part
            result.baseHref = decodeReferences(href, RefContext::Attribute);
        }
    }

    hrefs = decodeReferences(hrefs, RefContext::Attribute);
    texts = decodeReferences(texts, RefContext::Text);
    result.links.reserve(size_t(hrefs.size()));
    for (qsizetype i = 0; i < hrefs.size(); ++i)
        result.links.push_back({hrefs.at(i), texts.at(i)});
    return result;
}
