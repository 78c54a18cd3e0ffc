#pragma once

#include "base/guard.h"

#include <QStringList>

namespace prqtest {

// While it lives, the error box appends each message to messages instead of
// showing it; the box before comes back when it goes.
class ErrorRecorder final
{
public:
    explicit ErrorRecorder(QStringList &messages);
    ~ErrorRecorder();
    Q_DISABLE_COPY_MOVE(ErrorRecorder)

private:
    guard::ErrorBox m_previous;
};

} // namespace prqtest
