#include "fetch/replyhead.h"

#include "fetch/urlparts.h"

#include <curl/curl.h>

#include <algorithm>
#include <climits>
#include <ctime>

int statusOfLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() < 2 || words.at(1).size() != 3)
        return 0;
    bool ok = false;
    const int code = words.at(1).toInt(&ok, 10);
    return ok && code >= 100 ? code : 0;
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

void TReplyHeads::Take(const QByteArray &line)
{
    if (line.startsWith("HTTP/")) {
        m_haveLength = false;
        m_lengthText.clear();
        m_retryAfter.clear();
        m_headEnded = false;
        const int code = statusOfLine(line);
        if (code >= 200)
            m_hops.append(code);
    } else if (line == "\r\n" || line == "\n") {
        m_headEnded = true;
    } else if (line.left(12).compare("retry-after:", Qt::CaseInsensitive) == 0) {
        m_retryAfter = line.mid(12);
    } else if (!m_haveLength && line.left(15).compare("content-length:", Qt::CaseInsensitive) == 0) {
        m_haveLength = true;
        m_lengthText = line.mid(15).trimmed();
    }
}
