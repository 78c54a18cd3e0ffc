#pragma once

// Checks, in builds with assertions, that the caller runs on the thread of
// the application object: the run's state, the result list and every
// request's completion belong to that thread alone.
void assertMainThread();
