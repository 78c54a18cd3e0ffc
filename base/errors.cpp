#include "base/errors.h"

#include <utility>

AppError::AppError(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
}
