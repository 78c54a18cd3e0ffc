#include "fetch/liveregistry.h"

#include <atomic>

namespace fetchlive {
namespace {

std::atomic<int> g_live {0};
std::atomic<bool> g_stopping {false};

} // namespace

void enter() noexcept
{
    g_live.fetch_add(1);
}

void leave() noexcept
{
    g_live.fetch_sub(1);
}

int count() noexcept
{
    return g_live.load();
}

bool stopping() noexcept
{
    return g_stopping.load();
}

void setStopping(bool on) noexcept
{
    g_stopping.store(on);
}

} // namespace fetchlive
