#include "support/errorrecorder.h"

namespace prqtest {

ErrorRecorder::ErrorRecorder(QStringList &messages)
    : m_previous(guard::setErrorBox([&messages](const QString &, const QString &message) { messages << message; }))
{
}

ErrorRecorder::~ErrorRecorder()
{
    guard::setErrorBox(m_previous);
}

} // namespace prqtest
