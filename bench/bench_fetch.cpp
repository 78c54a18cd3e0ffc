// Many fetches started at once against a loopback server, on each engine:
// how long until all have completed, how many threads the process reaches,
// and how much resident memory each fetch in flight costs.
#include "fetch/httpget.h"
#include "support/loopserver.h"
#include "support/procstats.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int kBodySize = 10 * 1024;

std::string bodyOf(int page)
{
    std::string body = "page " + std::to_string(page) + ' ';
    body.resize(kBodySize, static_cast<char>('a' + page % 26));
    return body;
}

// Samples the process from a thread of its own while the fetches run.
class Sampler final
{
public:
    Sampler()
        : m_baseKiB(procstats::statusField("VmRSS"))
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int live = THTTPGetThread::LiveCount();
                const long threads = procstats::statusField("Threads") - 1; // not this one
                const long rss = procstats::statusField("VmRSS");
                m_peakThreads = std::max(m_peakThreads, threads);
                if (live > m_peakLive) {
                    m_peakLive = live;
                    m_rssAtPeakLive = rss;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~Sampler() { stop(); }
    Sampler(const Sampler &) = delete;
    Sampler &operator=(const Sampler &) = delete;

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    long peakThreads() const { return m_peakThreads; }
    int peakLive() const { return m_peakLive; }
    double kibPerLiveFetch() const
    {
        return m_peakLive > 0 ? double(m_rssAtPeakLive - m_baseKiB) / m_peakLive : 0.0;
    }

private:
    const long m_baseKiB;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
    long m_peakThreads = 0;
    int m_peakLive = 0;
    long m_rssAtPeakLive = 0;
};

void BM_FetchesAtOnce(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const auto engine = state.range(1) != 0 ? FetchEngine::Shared : FetchEngine::OwnThread;
    prqtest::LoopServer server;
    server.get(R"(/page/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
        res.set_content(bodyOf(std::stoi(req.matches[1])), "text/plain");
        res.set_header("Connection", "close");
    });
    server.start(16);

    long peakThreads = 0;
    int peakLive = 0;
    double kibPerFetch = 0;
    for (auto _ : state) {
        QObject window;
        int completed = 0;
        int correct = 0;
        Sampler sampler;
        for (int page = 0; page < count; ++page) {
            auto *get = new THTTPGet(&window);
            get->URL = server.url(QStringLiteral("/page/%1").arg(page));
            get->Engine = engine;
            get->OnDoneString = [&, page](THTTPGet *Sender, const QByteArray &Result) {
                ++completed;
                if (Result == QByteArray::fromStdString(bodyOf(page)))
                    ++correct;
                delete Sender;
            };
            get->OnError = [&completed](THTTPGet *Sender) {
                ++completed;
                delete Sender;
            };
            get->FetchString();
        }
        while (completed < count) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        THTTPGetThread::WaitForAll(10000);
        sampler.stop();
        if (correct != count) {
            state.SkipWithError("a fetch failed or brought a wrong body");
            break;
        }
        peakThreads = std::max(peakThreads, sampler.peakThreads());
        peakLive = std::max(peakLive, sampler.peakLive());
        kibPerFetch = std::max(kibPerFetch, sampler.kibPerLiveFetch());
    }
    state.counters["peak_threads"] = double(peakThreads);
    state.counters["peak_in_flight"] = peakLive;
    state.counters["KiB_per_fetch_in_flight"] = kibPerFetch;
}
BENCHMARK(BM_FetchesAtOnce)->ArgNames({"fetches", "shared"})->Args({500, 0})->Args({500, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
