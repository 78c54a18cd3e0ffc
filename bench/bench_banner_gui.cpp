// The banner with a page of many small images from a loopback server. The
// CPU column is the window's own thread (fetch workers run on theirs): what
// the page costs the window from the request to the completed document.
#include "app/bannerview.h"
#include "support/imagepage.h"

#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

void BM_BannerManyImages(benchmark::State &state)
{
    prqtest::LoopServer server;
    prqtest::serveImagePage(server, int(state.range(0)));
    server.start();
    const QUrl page(server.url(QStringLiteral("/page.html")));
    for (auto _ : state) {
        TBannerView banner;
        banner.resize(400, 300);
        banner.show();
        QEventLoop loop;
        QObject::connect(&banner, &TBannerView::DocumentComplete, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        banner.Navigate(page);
        loop.exec();
        loop.processEvents(); // the paint after the last layout
    }
}
BENCHMARK(BM_BannerManyImages)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
