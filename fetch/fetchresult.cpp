#include "fetch/fetchresult.h"

#include <QStringList>

QString shortReason(FetchFailure reason)
{
    switch (reason) {
    case FetchFailure::None:
    case FetchFailure::HttpStatus:
        return {};
    case FetchFailure::NameNotResolved:
        return QStringLiteral("无法解析");
    case FetchFailure::ConnectionRefused:
        return QStringLiteral("拒绝连接");
    case FetchFailure::TimedOut:
        return QStringLiteral("超时");
    case FetchFailure::Tls:
        return QStringLiteral("证书错误");
    case FetchFailure::TooManyRedirects:
        return QStringLiteral("重定向过多");
    case FetchFailure::EmptyBody:
        return QStringLiteral("空内容");
    case FetchFailure::Resources:
        return QStringLiteral("资源不足");
    case FetchFailure::Cancelled:
        return QStringLiteral("已取消");
    case FetchFailure::SizeLimit:
    case FetchFailure::Other:
        return QStringLiteral("失败");
    }
    return QStringLiteral("失败");
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
    switch (reason) {
    case FetchFailure::None: return {};
    case FetchFailure::NameNotResolved: return QStringLiteral("dns");
    case FetchFailure::ConnectionRefused: return QStringLiteral("refused");
    case FetchFailure::TimedOut: return QStringLiteral("timeout");
    case FetchFailure::Tls: return QStringLiteral("tls");
    case FetchFailure::TooManyRedirects: return QStringLiteral("redirects");
    case FetchFailure::EmptyBody: return QStringLiteral("empty");
    case FetchFailure::HttpStatus: return QStringLiteral("status");
    case FetchFailure::SizeLimit: return QStringLiteral("limit");
    case FetchFailure::Resources: return QStringLiteral("resources");
    case FetchFailure::Cancelled: return QStringLiteral("cancelled");
    case FetchFailure::Other: return QStringLiteral("other");
    }
    return QStringLiteral("other");
}

QString reasonText(const FetchResult &result)
{
    QString text;
    switch (result.reason) {
    case FetchFailure::None: text = QStringLiteral("正常"); break;
    case FetchFailure::NameNotResolved: text = QStringLiteral("域名无法解析"); break;
    case FetchFailure::ConnectionRefused: text = QStringLiteral("服务器拒绝连接"); break;
    case FetchFailure::TimedOut: text = QStringLiteral("请求超时"); break;
    case FetchFailure::Tls: text = QStringLiteral("证书或加密握手失败"); break;
    case FetchFailure::TooManyRedirects: text = QStringLiteral("重定向次数过多"); break;
    case FetchFailure::EmptyBody: text = QStringLiteral("服务器未返回内容"); break;
    case FetchFailure::HttpStatus: text = QStringLiteral("服务器返回错误状态 %1").arg(result.finalStatus()); break;
    case FetchFailure::SizeLimit: text = QStringLiteral("超出大小限制"); break;
    case FetchFailure::Resources: text = QStringLiteral("本机资源不足"); break;
    case FetchFailure::Cancelled: text = QStringLiteral("请求已取消"); break;
    case FetchFailure::Other: text = QStringLiteral("请求失败"); break;
    }
    if (!result.detail.isEmpty())
        text += QStringLiteral(" (") + result.detail + QStringLiteral(")");
    return text;
}
