// The crawl of a whole site, run as a script runs the program, against a
// generated site on loopback: N pages of L links each (L - 4 to other pages,
// 4 to N / 4 images), so N * L link instances over 1.25 N distinct
// addresses. Set against the same number of plain checks through the check
// queue (the batch of every address of the site), and the depth-1 survey of
// a page against the crawl of the same page whose links lead nowhere
// further. Figures: wall time, processor time and peak resident memory of
// the program.
#include "support/childrun.h"
#include "support/loopserver.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using prqbench::report;
using prqbench::writeFile;

prqbench::ChildRun runProgram(const QStringList &args)
{
    return prqbench::runChild(PRQUERY_EXE, args);
}

// The generated site: /p0.html is the home page; page i links to the next
// L - 4 pages after i * (L - 4), round the site, and to 4 images.
class GeneratedSite
{
public:
    GeneratedSite(int pages, int links)
        : m_pages(pages)
        , m_links(links)
    {
        m_server.get(R"(/p(\d+)\.html)", [this](const httplib::Request &req, httplib::Response &res) {
            res.set_content(page(std::stoi(req.matches[1])), "text/html; charset=utf-8");
        });
        m_server.get(R"(/img/\d+\.png)", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(std::string(600, 'x'), "image/png");
        });
        m_server.start(8);
    }
    int images() const { return m_pages / 4; }
    QString url(const std::string &path) const { return m_server.url(QString::fromStdString(path)); }
    // Every address of the site, one a line.
    QByteArray addresses() const
    {
        QByteArray lines;
        for (int i = 0; i < m_pages; ++i)
            lines += url("/p" + std::to_string(i) + ".html").toUtf8() + '\n';
        for (int i = 0; i < images(); ++i)
            lines += url("/img/" + std::to_string(i) + ".png").toUtf8() + '\n';
        return lines;
    }
    size_t requests() const { return m_server.requestCount(); }

private:
    std::string page(int i) const
    {
        std::string body = "<html><head><title>第" + std::to_string(i) + "页</title></head><body><ul>\n";
        const int toPages = m_links - 4;
        for (int k = 0; k < toPages; ++k) {
            const int target = int((qint64(i) * toPages + k + 1) % m_pages);
            body += "<li><a href=\"/p" + std::to_string(target) + ".html\">第" + std::to_string(target) + "页</a></li>\n";
        }
        for (int k = 0; k < 4; ++k)
            body += "<a href=\"/img/" + std::to_string((i * 4 + k) % images()) + ".png\"><img alt=\"图\"></a>\n";
        return body + "</ul></body></html>\n";
    }

    prqtest::LoopServer m_server;
    int m_pages;
    int m_links;
};

// args: pages, links per page
void BM_CrawlSite(benchmark::State &state)
{
    const int pages = int(state.range(0));
    const int links = int(state.range(1));
    GeneratedSite site(pages, links);
    QTemporaryDir dir;
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    for (auto _ : state) {
        report(state, runProgram({"--servers", servers, "--banner", "none", "--site", site.url("/p0.html"), "--depth", "100", "--max-pages", "1000000", "--no-pr", "--out", dir.filePath("out.csv")}));
    }
    QFile out(dir.filePath("out.csv"));
    state.counters["rows"] = out.open(QIODevice::ReadOnly) ? double(out.readAll().count("\r\n") - 1) : 0;
    state.counters["requests"] = double(site.requests()) / double(state.iterations());
    state.counters["link_instances"] = double(pages) * links;
}
BENCHMARK(BM_CrawlSite)->Args({20000, 20})->Args({20000, 40})->Args({10000, 20})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The same number of requests as the crawl of BM_CrawlSite, as plain checks.
void BM_PlainChecks(benchmark::State &state)
{
    GeneratedSite site(int(state.range(0)), 20);
    QTemporaryDir dir;
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    const QString in = writeFile(dir, QStringLiteral("in.txt"), site.addresses());
    for (auto _ : state)
        report(state, runProgram({"--servers", servers, "--banner", "none", "--batch", in, "--no-pr", "--out", dir.filePath("out.csv")}));
    state.counters["requests"] = double(site.requests()) / double(state.iterations());
}
BENCHMARK(BM_PlainChecks)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A page of 2,000 links to leaves: the survey lists it and checks each
// link; a crawl of depth 2 reads the page and checks each link in the same
// request that would read it.
void BM_SurveyThenCheck(benchmark::State &state)
{
    const bool crawl = state.range(0) != 0;
    prqtest::LoopServer server;
    std::string page = "<html><body>\n";
    for (int i = 0; i < 2000; ++i)
        page += "<a href=\"/leaf" + std::to_string(i) + ".txt\">第" + std::to_string(i) + "条</a>\n";
    server.get("/index.html", [&page](const httplib::Request &, httplib::Response &res) { res.set_content(page, "text/html"); });
    server.get(R"(/leaf\d+\.txt)", [](const httplib::Request &, httplib::Response &res) { res.set_content("leaf", "text/plain"); });
    server.start(8);
    QTemporaryDir dir;
    const QString servers = writeFile(dir, QStringLiteral("servers.txt"), "127.0.0.1:9\n");
    QStringList args {"--servers", servers, "--banner", "none", "--site", server.url("/index.html"), "--no-pr", "--out", dir.filePath("out.csv")};
    if (crawl)
        args << "--depth"
             << "2"
             << "--robots"
             << "off"
             << "--sitemap"
             << "off";
    for (auto _ : state)
        report(state, runProgram(args));
    state.counters["requests"] = double(server.requestCount()) / double(state.iterations());
}
BENCHMARK(BM_SurveyThenCheck)->ArgName("crawl")->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
