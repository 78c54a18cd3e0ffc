#include "fetch/replyhead.h"

#include "fetch/urlparts.h"

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <ctime>

int statusOfLine(const QByteArray &line)
{
    // "HTTP/1.1 404 ...": the second word, when it is three digits. Read in
    // place: every reply of every fetch passes here.
    const QByteArrayView text(line);
    qsizetype at = 0;
    while (at < text.size() && text[at] != ' ' && text[at] != '\t')
        ++at;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    int code = 0;
    int digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
        code = code * 10 + (text[at] - '0');
    const bool wordEnds = at == text.size() || text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n';
    return digits == 3 && wordEnds && code >= 100 ? code : 0;
}

int retryAfterSeconds(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qlonglong seconds = text.toLongLong(&ok, 10);
        return ok ? int(std::min<qlonglong>(seconds, INT_MAX)) : INT_MAX;
    }
    const time_t when = curl_getdate(text.constData(), nullptr);
    if (when == -1)
        return -1;
    return int(std::clamp<qint64>(qint64(when) - qint64(std::time(nullptr)), 0, INT_MAX));
}

bool parseInt32(const QByteArray &text, qint32 *value)
{
    bool ok = false;
    *value = isWholeDecimal(text) ? text.toInt(&ok, 10) : 0;
    return ok;
}

namespace {

// Whether line begins with name, without regard to letter case.
bool namedAs(const QByteArray &line, const char *name, qsizetype length)
{
    return line.size() >= length && qstrnicmp(line.constData(), name, uint(length)) == 0;
}

} // namespace

void TReplyHeads::Take(const QByteArray &line)
{
    if (line.startsWith("HTTP/")) {
        m_haveLength = false;
        m_lengthText.clear();
        m_retryAfter.clear();
        m_contentType.clear();
        m_headEnded = false;
        const int code = statusOfLine(line);
        if (code >= 200)
            m_hops.append(code);
    } else if (line == "\r\n" || line == "\n") {
        m_headEnded = true;
    } else if (namedAs(line, "retry-after:", 12)) {
        m_retryAfter = line.mid(12);
    } else if (namedAs(line, "cf-mitigated:", 13)) {
        if (line.mid(13).trimmed().compare("challenge", Qt::CaseInsensitive) == 0)
            m_challenged = true;
    } else if (namedAs(line, "content-type:", 13)) {
        m_contentType = line.mid(13).trimmed();
    } else if (!m_haveLength && namedAs(line, "content-length:", 15)) {
        m_haveLength = true;
        m_lengthText = line.mid(15).trimmed();
    }
}
