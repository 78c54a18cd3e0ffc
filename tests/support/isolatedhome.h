#pragma once

#include <QTemporaryDir>

namespace prqtest {

// A test program's own home for as long as it lives: HOME, XDG_DATA_HOME and
// XDG_CONFIG_HOME in a temporary folder, and no OPR_API_KEY, so that no test
// reads or writes the user's files or depends on the user's environment.
class IsolatedHome final
{
public:
    IsolatedHome();
    Q_DISABLE_COPY_MOVE(IsolatedHome)

private:
    QTemporaryDir m_dir;
};

} // namespace prqtest
