#include "support/oprservice.h"

namespace prqtest {

OprService::OprService()
    : m_start(std::chrono::steady_clock::now())
{
    server.get(Path, [this](const httplib::Request &req, httplib::Response &res) { serve(req, res); });
    server.start();
}

// The handlers reach the records: they end before the records go.
OprService::~OprService()
{
    server.stop();
}

int OprService::rankOf(const std::string &domain)
{
    return std::stoi(domain.substr(1, domain.find('.') - 1)) % 11;
}

void OprService::serve(const httplib::Request &req, httplib::Response &res)
{
    std::vector<std::string> domains;
    for (size_t i = 0; i < req.get_param_value_count("domains[]"); ++i)
        domains.push_back(req.get_param_value("domains[]", i));
    int n = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.push_back(domains);
        m_arrivals.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count());
        n = int(m_asked.size()) - 1;
    }
    if (special && special(n, res))
        return;
    if (req.get_header_value("API-OPR") != Key) {
        res.status = 401;
        res.set_content(R"({"status":false,"error":"Invalid API key"})", "application/json");
        return;
    }
    std::string entries;
    for (const std::string &d : domains) {
        if (!entries.empty())
            entries += ',';
        if (d.rfind("unknown", 0) == 0)
            entries += R"({"status_code":404,"error":"Domain not found","page_rank_integer":0,"page_rank_decimal":0,"rank":null,"domain":")" + d + "\"}";
        else
            entries += R"({"status_code":200,"error":"","page_rank_integer":)" + std::to_string(rankOf(d) + rankOffset)
                + R"(,"page_rank_decimal":1.5,"rank":"99","domain":")" + d + "\"}";
    }
    res.set_content(R"({"status_code":200,"response":[)" + entries + "]}", "application/json");
}

std::vector<std::vector<std::string>> OprService::asked() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked;
}

std::vector<qint64> OprService::arrivals() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrivals;
}

size_t OprService::requestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked.size();
}

void OprService::forget()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_asked.clear();
    m_arrivals.clear();
}

} // namespace prqtest
