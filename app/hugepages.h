#pragma once

// A run without a screen may hold millions of rows, each a handful of small
// strings: hundreds of megabytes touched a page at a time. The C library's
// allocator can ask for transparent huge pages instead, which cuts the page
// faults of a million-line list some twenty-five times (from 135,000 to
// 5,400, and its processor time from 2.4 s to 1.3 s), but it reads that
// choice only from the environment at start. So a headless run starts itself
// once more, in the same process (same pid, same descriptors), with the
// choice added to GLIBC_TUNABLES. Does nothing when the choice is already
// there or the restart fails; returns only in those cases.
void restartWithHugePages(char **argv);
