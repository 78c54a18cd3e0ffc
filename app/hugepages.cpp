#include "app/hugepages.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

extern char **environ;

void restartWithHugePages(char **argv)
{
    static const char Tunable[] = "glibc.malloc.hugetlb";
    const char *current = std::getenv("GLIBC_TUNABLES");
    if (current && std::strstr(current, Tunable))
        return;
    std::string value = std::string(Tunable) + "=1";
    if (current && *current)
        value = std::string(current) + ":" + value;
    if (::setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0)
        return;
    ::execve("/proc/self/exe", argv, environ);
    // Still here: run as we are. The tunable stays set, so that a program this
    // one starts does not try the same.
}
