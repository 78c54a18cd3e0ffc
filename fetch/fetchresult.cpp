#include "fetch/fetchresult.h"

#include <QStringList>

#include <iterator>

namespace {

// The words of each reason, in the order of FetchFailure.
struct ReasonWords
{
    const char *key; // for machines
    const char *shortText; // the 状态 column
    const char *text; // the tooltip
};

const ReasonWords kReasons[] = {
    {"", "", "正常"}, // None
    {"dns", "无法解析", "域名无法解析"}, // NameNotResolved
    {"refused", "拒绝连接", "服务器拒绝连接"}, // ConnectionRefused
    {"timeout", "超时", "请求超时"}, // TimedOut
    {"tls", "证书错误", "证书或加密握手失败"}, // Tls
    {"redirects", "重定向过多", "重定向次数过多"}, // TooManyRedirects
    {"empty", "空内容", "服务器未返回内容"}, // EmptyBody
    {"status", "", "服务器返回错误状态 %1"}, // HttpStatus: the codes say it
    {"limit", "失败", "超出大小限制"}, // SizeLimit
    {"resources", "资源不足", "本机资源不足"}, // Resources
    {"cancelled", "已取消", "请求已取消"}, // Cancelled
    {"other", "失败", "请求失败"}, // Other
    {"invalid", "无效网址", "网址无效，未发出请求"}, // InvalidAddress
    {"header", "响应头过大", "服务器返回的响应头过大"}, // HeaderTooLarge
};
static_assert(std::size(kReasons) == std::size_t(FetchFailure::HeaderTooLarge) + 1);

const ReasonWords &wordsOf(FetchFailure reason)
{
    return kReasons[std::size_t(reason)];
}

} // namespace

QString shortReason(FetchFailure reason)
{
    return QString::fromUtf8(wordsOf(reason).shortText);
}

QString statusText(const FetchResult &result)
{
    QStringList parts;
    parts.reserve(result.hops.size());
    for (const int code : result.hops)
        parts << QString::number(code);
    QString text = parts.join(QStringLiteral("→"));
    const QString reason = shortReason(result.reason);
    if (!reason.isEmpty()) {
        if (!text.isEmpty())
            text += result.reason == FetchFailure::EmptyBody ? QStringLiteral(" ") : QStringLiteral("→");
        text += reason;
    }
    return text;
}

QString reasonKey(FetchFailure reason)
{
    return QString::fromUtf8(wordsOf(reason).key);
}

QString reasonText(const FetchResult &result)
{
    QString text = QString::fromUtf8(wordsOf(result.reason).text);
    if (result.reason == FetchFailure::HttpStatus)
        text = text.arg(result.finalStatus());
    if (!result.detail.isEmpty())
        text += QStringLiteral(" (") + result.detail + QStringLiteral(")");
    return text;
}
