#pragma once

#include <atomic>

namespace prqtest {

// Requests a test server is serving right now, and the most there ever
// were: a handler calls enter() first and leave() last.
struct Overlap
{
    std::atomic<int> now {0};
    std::atomic<int> most {0};
    void enter();
    void leave() { --now; }
};

} // namespace prqtest
