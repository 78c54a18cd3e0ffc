#include "survey/softnotfound.h"

#include "survey/htmltree.h"

#include <QUrl>

#include <algorithm>

namespace {

constexpr int kShingleWords = 3;

// 64-bit FNV-1a, one step per character.
constexpr quint64 kFnvOffset = 0xcbf29ce484222325ULL;
constexpr quint64 kFnvPrime = 0x100000001b3ULL;

constexpr quint64 mix(quint64 hash, quint64 value)
{
    return (hash ^ value) * kFnvPrime;
}

// The words that stand for every word with a digit, and for the page's own
// address.
constexpr quint64 kNumber = mix(kFnvOffset, 0x110000 + 1);
constexpr quint64 kAddress = mix(kFnvOffset, 0x110000 + 2);

// A character that is a word of its own: scripts written without spaces.
bool isSingleWord(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Thai:
        return true;
    default:
        return false;
    }
}

// Appends the words of text to words, each as its hash.
void appendWords(QStringView text, std::vector<quint64> &words)
{
    quint64 hash = kFnvOffset;
    bool inWord = false;
    bool digit = false;
    const auto endWord = [&] {
        if (inWord)
            words.push_back(digit ? kNumber : hash);
        hash = kFnvOffset;
        inWord = false;
        digit = false;
    };
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        ++i;
        if (isSingleWord(c)) {
            endWord();
            words.push_back(mix(kFnvOffset, c));
        } else if (QChar::isLetterOrNumber(c)) {
            inWord = true;
            digit = digit || QChar::isDigit(c);
            hash = mix(hash, QChar::toCaseFolded(c));
        } else {
            endWord();
        }
    }
    endWord();
}

bool hidesText(const GumboNode *node, bool skipLinks)
{
    return HtmlTree::isElement(node, GUMBO_TAG_SCRIPT) || HtmlTree::isElement(node, GUMBO_TAG_STYLE)
        || HtmlTree::isElement(node, GUMBO_TAG_NOSCRIPT) || node->type == GUMBO_NODE_TEMPLATE
        || (skipLinks && HtmlTree::isElement(node, GUMBO_TAG_A));
}

// The words of the text a browser shows, in document order.
std::vector<quint64> visibleWords(const QString &page, bool skipLinks)
{
    std::vector<quint64> words;
    const HtmlTree tree(page.toUtf8());
    std::vector<const GumboNode *> stack {tree.document()};
    while (!stack.empty()) {
        const GumboNode *node = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA) {
            appendWords(QString::fromUtf8(node->v.text.text), words);
            continue;
        }
        if (node->type == GUMBO_NODE_ELEMENT && hidesText(node, skipLinks))
            continue;
        if (const GumboVector *kids = HtmlTree::children(node)) {
            for (unsigned k = kids->length; k-- > 0;)
                stack.push_back(static_cast<const GumboNode *>(kids->data[k]));
        }
    }
    return words;
}

// The words of the last path segment and of the query of address, the parts
// that tell one name of a folder from another.
std::vector<std::vector<quint64>> nameWords(const QString &address)
{
    QStringView rest(address);
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0)
        rest = rest.mid(scheme + 3);
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0)
        rest = rest.left(hash);
    const qsizetype slash = rest.indexOf(u'/');
    rest = slash < 0 ? QStringView() : rest.mid(slash);
    const qsizetype question = rest.indexOf(u'?');
    const QStringView path = question < 0 ? rest : rest.left(question);
    const QStringView query = question < 0 ? QStringView() : rest.mid(question + 1);
    std::vector<std::vector<quint64>> names;
    for (const QStringView part : {path.mid(path.lastIndexOf(u'/') + 1), query}) {
        std::vector<quint64> words;
        appendWords(QUrl::fromPercentEncoding(part.toUtf8()), words);
        if (!words.empty())
            names.push_back(std::move(words));
    }
    return names;
}

// Each run of words that spells name becomes one placeholder word; a
// placeholder next to another is dropped.
std::vector<quint64> withoutName(const std::vector<quint64> &words, const std::vector<quint64> &name)
{
    std::vector<quint64> out;
    out.reserve(words.size());
    for (std::size_t i = 0; i < words.size();) {
        if (i + name.size() <= words.size() && std::equal(name.begin(), name.end(), words.begin() + qsizetype(i))) {
            if (out.empty() || out.back() != kAddress)
                out.push_back(kAddress);
            i += name.size();
        } else {
            out.push_back(words[i]);
            ++i;
        }
    }
    return out;
}

bool sameAddress(const QString &a, const QString &b)
{
    const auto normal = [](const QString &url) {
        return QUrl(url).adjusted(QUrl::RemoveFragment | QUrl::NormalizePathSegments);
    };
    return normal(a) == normal(b);
}

} // namespace

PageFingerprint PageFingerprint::of(const QString &page, const QString &address, FingerprintRules rules)
{
    std::vector<quint64> words = visibleWords(page, rules.skipLinkText);
    if (rules.maskOwnName) {
        for (const std::vector<quint64> &name : nameWords(address))
            words = withoutName(words, name);
    }

    PageFingerprint print;
    print.m_words = int(words.size());
    if (words.empty())
        return print;
    const std::size_t span = std::min<std::size_t>(kShingleWords, words.size());
    print.m_shingles.reserve(words.size() - span + 1);
    for (std::size_t i = 0; i + span <= words.size(); ++i) {
        quint64 hash = kFnvOffset;
        for (std::size_t k = 0; k < span; ++k)
            hash = mix(hash, words[i + k]);
        print.m_shingles.push_back(hash);
    }
    std::sort(print.m_shingles.begin(), print.m_shingles.end());
    print.m_shingles.erase(std::unique(print.m_shingles.begin(), print.m_shingles.end()), print.m_shingles.end());
    return print;
}

double PageFingerprint::similarity(const PageFingerprint &other) const
{
    if (m_shingles.empty() || other.m_shingles.empty())
        return 0.0;
    std::size_t shared = 0;
    auto a = m_shingles.begin();
    auto b = other.m_shingles.begin();
    while (a != m_shingles.end() && b != other.m_shingles.end()) {
        if (*a < *b) {
            ++a;
        } else if (*b < *a) {
            ++b;
        } else {
            ++shared;
            ++a;
            ++b;
        }
    }
    const std::size_t all = m_shingles.size() + other.m_shingles.size() - shared;
    return double(shared) / double(all);
}

bool isSoftNotFound(const SoftPage &page, const SoftPage &probe)
{
    const bool alike = page.text.similarity(probe.text) >= SoftSimilarity;
    if (!probe.redirected)
        return alike;
    return page.redirected && (alike || sameAddress(page.finalUrl, probe.finalUrl));
}
