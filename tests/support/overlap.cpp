#include "support/overlap.h"

namespace prqtest {

void Overlap::enter()
{
    const int n = ++now;
    int seen = most.load();
    while (n > seen && !most.compare_exchange_weak(seen, n)) {
    }
}

} // namespace prqtest
