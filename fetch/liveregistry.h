#pragma once

// The fetches of the whole process, across engines: how many are live, and
// whether the application is stopping them all.
namespace fetchlive {

// A fetch is live from its launch on an engine until its completion has been
// reported, or dropped with no one to report to.
void enter() noexcept;
void leave() noexcept;
int count() noexcept;

// Set while the end of the application stops every fetch: each engine ends
// what it runs at once and reports nothing more.
bool stopping() noexcept;
void setStopping(bool on) noexcept;

} // namespace fetchlive
