#include "base/guard.h"

#include "base/errors.h"

#include <QtGlobal>

#include <exception>
#include <new>
#include <utility>

namespace guard {
namespace {
ErrorBox &currentBox()
{
    static ErrorBox box = [](const QString &caption, const QString &message) {
        qWarning("%s: %s", qUtf8Printable(caption), qUtf8Printable(message));
    };
    return box;
}
} // namespace

QString applicationTitle()
{
    return QStringLiteral("PR批量查询工具");
}

QString boxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

ErrorBox setErrorBox(ErrorBox box)
{
    return std::exchange(currentBox(), std::move(box));
}

void showError(const QString &message)
{
    const ErrorBox box = currentBox(); // a copy: the box may replace itself
    if (box)
        box(applicationTitle(), boxText(message));
}

bool run(const std::function<void()> &body) noexcept
{
    try {
        body();
        return true;
    } catch (const AppError &e) {
        showError(e.message());
    } catch (const std::bad_alloc &) {
        showError(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    } catch (...) {
        showError(QStringLiteral("未知错误"));
    }
    return false;
}

} // namespace guard
