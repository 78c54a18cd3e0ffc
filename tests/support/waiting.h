#pragma once

#include <functional>

namespace prqtest {

// Processes events until done() holds or the time is up; false on time-out.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000);

} // namespace prqtest
