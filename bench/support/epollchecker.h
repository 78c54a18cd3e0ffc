#pragma once

#include <string>
#include <vector>

// The yardstick of the check benchmarks: a plain client on one thread over
// epoll, as lean as a client can be, under the limits the check queue keeps
// (requests in flight in all and to one host, rows started in list order as
// far as the per-host limit lets them) and with one new connection a request.
// It reads each reply to its end (the server closes) and counts the 200s.
struct EpollTarget
{
    std::string address; // "127.0.0.x"
    int port = 0;
    std::string path;
};

struct EpollCheckResult
{
    int answered = 0; // status 200 and a body
    int failed = 0;
};

EpollCheckResult epollCheck(const std::vector<EpollTarget> &targets, int total, int perHost);
