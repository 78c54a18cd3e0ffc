// Soft 404s on a loopback fixture: ten hosts on 127.0.0.11 to 127.0.0.20,
// each with a frame of its own (navigation, footer) around 22 real pages of
// varied length in three or four folders, and dead addresses in those
// folders. Five hosts hide their dead pages: one answers any unknown name
// 200 with a "not found" page that names the address, the time and a
// request id; one with a Chinese one and a visitor count; one redirects
// unknown names to its home page; one to "/404.html?from=..." (200); one
// only in its shop folder. The other five answer 404, 410, or a redirect to
// a page that answers 404.
//
// BM_SoftNotFoundRun checks 1,000 addresses over the ten hosts with an
// engine's check queue (soft-404 detection on) and reports precision and
// recall of the rows flagged soft404, the probes per host and folder, and the
// probes as a share of all requests the hosts received.
//
// BM_Measure compares, on the same pages, the text rule read four ways: all
// visible text or only the text outside links, with or without the masking
// of the address's own name. It gives the share of dead pages on the hosts
// that answer 200 whose text reads as their folder's probe (recall), and
// the number of real pages that do (false positives).
#include "query/engine.h"
#include "shell/formstate.h"
#include "support/loopserver.h"
#include "support/waiting.h"
#include "survey/softnotfound.h"

#include <QDateTime>
#include <QRegularExpression>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kHosts = 10;
constexpr int kRealPerHost = 22;
constexpr int kDeadPerHost = 8;
constexpr int kRows = 1000;

enum class Unknown {
    EchoPage, // 200, "not found" page naming the address, the time, an id
    ChinesePage, // 200, a Chinese "not found" page with a visitor count
    ToHome, // 302 to "/"
    ToNotFound, // 302 to "/404.html?from=<path>", which answers 200
    ShopOnly, // 200 in /shop/ ("no such product", naming it), 404 elsewhere
    Plain404, // 404 with a page
    Gone410, // 410
    To404Page, // 302 to "/404.html", which answers 404
    Empty404, // 404, no page
    Plain404Chinese, // 404 with a Chinese page
};

const std::vector<std::string> &englishWords()
{
    static const std::vector<std::string> words = [] {
        const char *text = "time year people way day man thing woman life child world school state family student group country "
                           "problem hand part place case week company system program question work government number night point "
                           "home water room mother area money story fact month lot right study book eye job word business issue "
                           "side kind head house service friend father power hour game line end member law car city community name "
                           "president team minute idea kid body information back parent face others level office door health person "
                           "art war history party result change morning reason research girl guy moment air teacher force education "
                           "foot boy age policy music market sense nation plan college interest death experience effect use class "
                           "control care field development role effort rate heart drug show leader light voice wife police mind price "
                           "report decision son view relationship town road arm difference value building action model season society "
                           "tax director position player record paper space ground form event official matter center couple site "
                           "project activity star table need court oil situation cost industry figure street image phone data picture "
                           "practice piece land product doctor wall patient worker news test movie north love support technology step "
                           "baby computer type attention film tree source organization hair window evidence population site river "
                           "new good high old great big small large local social important national young different early able "
                           "open run write provide sit stand lose pay meet include continue set learn lead understand watch follow stop "
                           "create speak read allow add spend grow offer remember love consider appear buy wait serve die send expect "
                           "build stay fall cut reach kill remain suggest raise pass sell require decide return explain hope develop";
        std::vector<std::string> out;
        std::string word;
        for (const char *p = text;; ++p) {
            if (*p == ' ' || *p == '\0') {
                if (!word.empty())
                    out.push_back(word);
                word.clear();
                if (*p == '\0')
                    break;
            } else {
                word += *p;
            }
        }
        return out;
    }();
    return words;
}

const std::vector<std::string> &chineseCharacters()
{
    static const std::vector<std::string> chars = [] {
        const QString text = QStringLiteral("的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严");
        std::vector<std::string> out;
        for (const QChar c : text)
            out.push_back(QString(c).toStdString());
        return out;
    }();
    return chars;
}

bool chinese(Unknown kind)
{
    return kind == Unknown::ChinesePage || kind == Unknown::Plain404Chinese;
}

// A host of the fixture: how it answers unknown names, its frame, its real
// pages (path to main text) and its dead addresses.
struct Host
{
    Unknown unknown = Unknown::Plain404;
    std::string nav;
    std::string footer;
    std::map<std::string, std::string> real; // path -> title + "\n" + text
    std::vector<std::string> titles; // of the real pages
    std::vector<std::string> dead;
    std::vector<std::string> folders;
    std::unique_ptr<prqtest::LoopServer> server;
    std::mutex counterLock; // the handler threads share these two
    long visitors = 100000;
    std::mt19937 requestIds {7};

    std::string words(std::mt19937 &rng, int n) const
    {
        std::string out;
        if (chinese(unknown)) {
            const auto &pool = chineseCharacters();
            std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
            for (int i = 0; i < n; ++i) {
                out += pool[pick(rng)];
                if (i % 12 == 11)
                    out += "，";
            }
            return out + "。";
        }
        const auto &pool = englishWords();
        std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
        for (int i = 0; i < n; ++i) {
            out += (i ? " " : "") + pool[pick(rng)];
            if (i % 14 == 13)
                out += ".";
        }
        return out + ".";
    }

    std::string page(const std::string &title, const std::string &main) const
    {
        return "<!DOCTYPE html><html><head><meta charset=utf-8><title>" + title + "</title>"
            + "<script>window.dataLayer=[];function gtag(){dataLayer.push(arguments)}</script>"
            + "<style>body{font:14px sans-serif}</style></head><body><header>" + nav + "</header><main><h1>" + title + "</h1>" + main
            + "</main><footer>" + footer + "</footer></body></html>";
    }

    std::string notFoundPage(const std::string &path)
    {
        const std::string now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toStdString();
        if (unknown == Unknown::ChinesePage) {
            std::lock_guard<std::mutex> lock(counterLock);
            std::uniform_int_distribution<std::size_t> pick(0, titles.size() - 1);
            std::string hot;
            for (int i = 0; i < 5; ++i)
                hot += "<li><a href=/hot" + std::to_string(i) + ">" + titles[pick(requestIds)] + "</a></li>";
            return page("页面不存在", "<p>抱歉，您访问的页面不存在或已被删除。</p><p>请检查网址是否正确，或返回首页继续浏览。</p><h2>热门文章</h2><ul>" + hot + "</ul><p>本站访问人数：" + std::to_string(++visitors) + "</p>");
        }
        if (unknown == Unknown::ShopOnly)
            return page("Product not found", "<p>We could not find the product " + path + " in our shop.</p><p>Browse our categories instead.</p>");
        char id[16];
        std::string popular;
        {
            // Three of the site's pages, picked at random for each answer.
            std::lock_guard<std::mutex> lock(counterLock);
            std::snprintf(id, sizeof id, "%08x", unsigned(requestIds()));
            std::uniform_int_distribution<std::size_t> pick(0, titles.size() - 1);
            for (int i = 0; i < 3; ++i)
                popular += "<li><a href=/p" + std::to_string(i) + ">" + titles[pick(requestIds)] + "</a></li>";
        }
        return page("Page not found",
            "<p>Sorry, the page " + path + " could not be found on this server.</p><p>It may have been moved or deleted. Use the search box or "
                                           "the menu above.</p><h2>Popular pages</h2><ul>"
                + popular + "</ul><p class=small>Served " + now + ", request " + id + "</p>");
    }

    std::string realPage(const std::string &path) const
    {
        const std::string &entry = real.at(path);
        const std::size_t cut = entry.find('\n');
        return page(entry.substr(0, cut), entry.substr(cut + 1));
    }

    void serve(const httplib::Request &req, httplib::Response &res)
    {
        const std::string &path = req.path;
        if (real.count(path)) {
            res.set_content(realPage(path), "text/html");
            return;
        }
        const bool shop = path.rfind("/shop/", 0) == 0;
        switch (unknown) {
        case Unknown::EchoPage:
        case Unknown::ChinesePage:
            res.set_content(notFoundPage(path), "text/html");
            return;
        case Unknown::ShopOnly:
            if (shop) {
                res.set_content(notFoundPage(path), "text/html");
                return;
            }
            res.status = 404;
            res.set_content(page("Not found", "<p>Not found.</p>"), "text/html");
            return;
        case Unknown::ToHome:
            res.set_redirect("/", 302);
            return;
        case Unknown::ToNotFound:
            if (path == "/404.html") {
                const std::string from = req.get_param_value("from");
                res.set_content(notFoundPage(from), "text/html");
                return;
            }
            res.set_redirect("/404.html?from=" + path, 302);
            return;
        case Unknown::To404Page:
            if (path == "/404.html") {
                res.status = 404;
                res.set_content(page("404", "<p>This page does not exist.</p>"), "text/html");
                return;
            }
            res.set_redirect("/404.html", 302);
            return;
        case Unknown::Gone410:
            res.status = 410;
            res.set_content(page("Gone", "<p>Gone.</p>"), "text/html");
            return;
        case Unknown::Empty404:
            res.status = 404;
            return;
        case Unknown::Plain404:
        case Unknown::Plain404Chinese:
            res.status = 404;
            res.set_content(page(chinese(unknown) ? "找不到页面" : "Not found", "<p>" + path + "</p>"), "text/html");
            return;
        }
    }

    // A dead address of this host: does it hide behind a 2xx page?
    bool hides(const std::string &path) const
    {
        switch (unknown) {
        case Unknown::EchoPage:
        case Unknown::ChinesePage:
        case Unknown::ToHome:
        case Unknown::ToNotFound:
            return true;
        case Unknown::ShopOnly:
            return path.rfind("/shop/", 0) == 0;
        default:
            return false;
        }
    }
};

std::string slug(std::mt19937 &rng)
{
    const auto &pool = englishWords();
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> count(1, 4);
    std::string out;
    for (int n = count(rng); n > 0; --n)
        out += (out.empty() ? "" : "-") + pool[pick(rng)];
    return out;
}

// The ten hosts, built and started.
struct Fixture
{
    std::vector<std::unique_ptr<Host>> hosts;

    Fixture()
    {
        std::mt19937 rng(20240501);
        const Unknown kinds[kHosts] = {Unknown::EchoPage, Unknown::ChinesePage, Unknown::ToHome, Unknown::ToNotFound, Unknown::ShopOnly,
            Unknown::Plain404, Unknown::Gone410, Unknown::To404Page, Unknown::Empty404, Unknown::Plain404Chinese};
        for (int h = 0; h < kHosts; ++h) {
            auto host = std::make_unique<Host>();
            Host &x = *host;
            x.unknown = kinds[h];
            x.folders = {"/", "/news/", "/blog/2023/", h == 4 ? "/shop/" : "/docs/"};
            std::string links;
            for (int i = 0; i < 12; ++i)
                links += "<a href=/" + slug(rng) + "/>" + x.words(rng, 2) + "</a> ";
            x.nav = "<nav>" + links + "</nav><form><input name=q placeholder=Search></form>";
            // Every other host carries a long notice (cookies, legal) on
            // every page: a frame that outweighs a thin page's own text.
            const int footerWords = h % 2 == 0 ? 150 : 30;
            x.footer = "<p>" + x.words(rng, footerWords) + "</p><p>Copyright 2010-2024 " + slug(rng) + " Ltd.</p>";
            std::uniform_int_distribution<int> kind(0, 9);
            for (int p = 0; p < kRealPerHost; ++p) {
                const std::string folder = x.folders[std::size_t(p % 4)];
                const std::string path = p == 0 ? "/" : folder + slug(rng) + (p % 3 ? ".html" : "");
                // Thin pages (a line), short ones and long articles.
                const int k = kind(rng);
                const int length = k < 2 ? 3 + k * 3 : k < 6 ? 15 + 10 * k
                                                             : 100 + 60 * k;
                std::string main;
                for (int done = 0; done < length;) {
                    const int n = std::min(length - done, 40);
                    main += "<p>" + x.words(rng, n) + "</p>";
                    done += n;
                }
                // The shop's products: a name and a price in the frame.
                if (folder == "/shop/" && p % 2 == 0)
                    main = "<p>" + x.words(rng, 3) + "</p><p>Price: " + std::to_string(10 + p) + ".99</p><button>Add to cart</button>";
                const std::string title = x.words(rng, 3);
                x.titles.push_back(title);
                x.real[path] = title + "\n" + main;
            }
            for (int d = 0; d < kDeadPerHost; ++d)
                x.dead.push_back(x.folders[std::size_t(1 + d % 3)] + slug(rng) + ".html");
            x.server = std::make_unique<prqtest::LoopServer>();
            Host *self = &x;
            x.server->bindTo("127.0.0." + std::to_string(11 + h)).get(".*", [self](const httplib::Request &req, httplib::Response &res) {
                self->serve(req, res);
            });
            x.server->start(8);
            hosts.push_back(std::move(host));
        }
    }

    QString address(int h, const std::string &path) const
    {
        return hosts[std::size_t(h)]->server->url(QString::fromStdString(path)).mid(7);
    }
};

struct Figures
{
    int flagged = 0;
    int truePositives = 0;
    int hidden = 0; // rows of dead pages behind 2xx
    int pages = 0;
    int probes = 0;
    int probeFolders = 0;
    int mostProbesInAFolder = 0;
    std::size_t requests = 0;
};

Figures runOnce(const Fixture &fixture)
{
    // 1,000 rows: each host's real pages and dead addresses, repeated, in
    // an order shuffled once.
    std::mt19937 rng(99);
    struct Row
    {
        QString url;
        bool hidden;
    };
    std::vector<Row> rows;
    for (int h = 0; h < kHosts; ++h) {
        const Host &host = *fixture.hosts[std::size_t(h)];
        std::vector<std::pair<std::string, bool>> paths;
        for (const auto &[path, text] : host.real)
            paths.emplace_back(path, false);
        for (const std::string &path : host.dead)
            paths.emplace_back(path, host.hides(path));
        for (int i = 0; i < kRows / kHosts; ++i) {
            const auto &[path, hidden] = paths[std::size_t(i) % paths.size()];
            rows.push_back({fixture.address(h, path), hidden});
        }
    }
    std::shuffle(rows.begin(), rows.end(), rng);

    std::vector<std::size_t> before;
    for (const auto &host : fixture.hosts)
        before.push_back(host->server->requestCount());

    Engine engine(EngineEndpoints {{QStringLiteral("127.0.0.1:1")}, QString()});
    FormState &s = engine.state();
    s.bschck2 = false;
    engine.setWalk(Walk::Queue);
    bool ended = false;
    QObject::connect(&engine, &Engine::runEnded, [&ended] { ended = true; });
    QStringList lines;
    for (const Row &row : rows)
        lines << row.url;
    engine.startBatch(lines.join(QLatin1Char('\n')));
    if (!prqtest::waitUntil([&ended] { return ended; }, 300000))
        std::fprintf(stderr, "the run did not end in time\n");

    Figures f;
    for (int r = 0; r < int(rows.size()); ++r) {
        const bool flagged = s.lv1.verdict(r) == VerdictClass::Soft404;
        f.flagged += flagged;
        f.hidden += rows[std::size_t(r)].hidden;
        f.truePositives += flagged && rows[std::size_t(r)].hidden;
    }
    static const QRegularExpression probe(QStringLiteral("^(.*/)[a-z]{25}$"));
    for (int h = 0; h < kHosts; ++h) {
        const Host &host = *fixture.hosts[std::size_t(h)];
        f.pages += int(host.real.size() + host.dead.size());
        const std::vector<prqtest::RecordedRequest> seen = host.server->requests();
        std::map<std::string, int> folders;
        for (std::size_t i = before[std::size_t(h)]; i < seen.size(); ++i) {
            ++f.requests;
            const auto m = probe.match(QString::fromStdString(seen[i].target));
            if (m.hasMatch())
                ++folders[m.captured(1).toStdString()];
        }
        for (const auto &[folder, n] : folders) {
            f.probes += n;
            ++f.probeFolders;
            f.mostProbesInAFolder = std::max(f.mostProbesInAFolder, n);
        }
    }
    return f;
}

void BM_SoftNotFoundRun(benchmark::State &state)
{
    const Fixture fixture;
    Figures f;
    for (auto _ : state)
        f = runOnce(fixture);
    const double precision = f.flagged ? double(f.truePositives) / f.flagged : 1.0;
    const double recall = f.hidden ? double(f.truePositives) / f.hidden : 1.0;
    state.counters["pages"] = f.pages;
    state.counters["rows"] = kRows;
    state.counters["hidden_rows"] = f.hidden;
    state.counters["flagged"] = f.flagged;
    state.counters["precision"] = precision;
    state.counters["recall"] = recall;
    state.counters["probes"] = f.probes;
    state.counters["probe_folders"] = f.probeFolders;
    state.counters["most_probes_per_folder"] = f.mostProbesInAFolder;
    state.counters["requests"] = double(f.requests);
    state.counters["probes_pct"] = f.requests ? 100.0 * f.probes / double(f.requests) : 0.0;
}
BENCHMARK(BM_SoftNotFoundRun)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The text rule on the fixture's pages read with the rules of the two
// arguments (skip link text, mask the own name), over the hosts whose probe
// answers 200 without a redirect.
void BM_Measure(benchmark::State &state)
{
    FingerprintRules rules;
    rules.skipLinkText = state.range(0) == 1;
    rules.maskOwnName = state.range(1) == 1;
    const Fixture fixture;
    int hidden = 0;
    int caught = 0;
    int real = 0;
    int wrong = 0;
    double hiddenLeast = 1.0; // the least similar hidden dead page
    double realMost = 0.0; // the most similar real page
    std::mt19937 rng(5);
    for (auto _ : state) {
        for (const auto &host : fixture.hosts) {
            if (host->unknown != Unknown::EchoPage && host->unknown != Unknown::ChinesePage && host->unknown != Unknown::ShopOnly)
                continue;
            for (const std::string &folder : host->folders) {
                if (host->unknown == Unknown::ShopOnly && folder != "/shop/")
                    continue;
                std::string name;
                for (int i = 0; i < 25; ++i)
                    name += char('a' + rng() % 26);
                const std::string probePath = folder + name;
                const auto print = [rules](const std::string &html, const std::string &path) {
                    return PageFingerprint::of(QString::fromStdString(html), QString::fromStdString(path), rules);
                };
                const PageFingerprint probe = print(host->notFoundPage(probePath), probePath);
                for (const std::string &path : host->dead) {
                    if (path.rfind(folder, 0) != 0 || path.find('/', folder.size()) != std::string::npos)
                        continue;
                    ++hidden;
                    const double similarity = print(host->notFoundPage(path), path).similarity(probe);
                    hiddenLeast = std::min(hiddenLeast, similarity);
                    caught += similarity >= SoftSimilarity;
                }
                for (const auto &[path, text] : host->real) {
                    if (path == "/" || path.rfind(folder, 0) != 0 || path.find('/', folder.size()) != std::string::npos)
                        continue;
                    ++real;
                    const double similarity = print(host->realPage(path), path).similarity(probe);
                    realMost = std::max(realMost, similarity);
                    wrong += similarity >= SoftSimilarity;
                }
            }
        }
    }
    state.counters["hidden_pages"] = hidden;
    state.counters["recall"] = hidden ? double(caught) / hidden : 1.0;
    state.counters["real_pages"] = real;
    state.counters["real_flagged"] = wrong;
    state.counters["hidden_least"] = hiddenLeast;
    state.counters["real_most"] = realMost;
}
BENCHMARK(BM_Measure)->ArgNames({"skip_links", "mask_name"})->ArgsProduct({{0, 1}, {0, 1}})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
