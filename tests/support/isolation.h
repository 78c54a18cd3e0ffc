#pragma once

namespace prqtest {

// Gives this process, and every program it starts, a home, data, config and
// cache folder of its own in a temporary folder that is removed at exit,
// and clears OPR_API_KEY: no test reads or writes the user's own files or
// picks up the user's key. Call first thing in main.
void isolateFromUser();

} // namespace prqtest
