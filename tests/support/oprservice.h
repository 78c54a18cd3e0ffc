#pragma once

#include "support/loopserver.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace prqtest {

// The Open PageRank service on loopback, as it documents itself: GET
// <path>?domains[]=..., the key in "API-OPR", one JSON entry a domain. The
// rank of "dN.<anything>" is N % 11 (plus rankOffset); a domain that starts
// with "unknown" is not known to it. A wrong key is refused with 401.
class OprService final
{
public:
    static constexpr const char *Path = "/api/v1.0/getPageRank";
    static constexpr const char *Key = "k3y-0123";

    OprService();
    ~OprService();
    OprService(const OprService &) = delete;
    OprService &operator=(const OprService &) = delete;

    static int rankOf(const std::string &domain);

    QString endpoint() const { return server.url(QString::fromLatin1(Path)); }
    // The domains of each request, in order, and when each arrived (ms since
    // the service started).
    std::vector<std::vector<std::string>> asked() const;
    std::vector<qint64> arrivals() const;
    size_t requestCount() const;
    void forget(); // the records so far

    // Answers the n-th request (0-based) in place of the service when it
    // returns true. Set before the requests come.
    std::function<bool(int n, httplib::Response &res)> special;
    std::atomic<int> rankOffset {0};
    LoopServer server;

private:
    void serve(const httplib::Request &req, httplib::Response &res);

    mutable std::mutex m_mutex;
    std::vector<std::vector<std::string>> m_asked;
    std::vector<qint64> m_arrivals;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace prqtest
