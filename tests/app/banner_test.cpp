// The banner: its page and images come through the fetch component from a
// loopback server; each completed document gets the three adjustments.
#include "app/Unit1.h"
#include "app/bannerview.h"
#include "base/guard.h"
#include "support/errorrecorder.h"
#include "support/imagepage.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

namespace {

using prqtest::LoopServer;

// CPU time of the calling thread: what the window's thread spent, whatever
// else the machine runs.
double threadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The window's document-complete handler has run: it takes the frame away.
// (The page may complete inside the window's construction, before anything
// could listen for the signal.)
bool adjusted(TBannerView *banner)
{
    return prqtest::waitUntil([banner] { return banner->frameShape() == QFrame::NoFrame; }, 10000);
}

std::unique_ptr<TForm1> windowWithBanner(const QString &bannerUrl)
{
    return prqtest::makeWindow({QStringLiteral("127.0.0.1:9")}, bannerUrl);
}

TEST(Banner, LoadsThePageAndItsImageAndAdjustsTheDocument)
{
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    LoopServer server;
    server.get("/softad/PR.html", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("<html><body><a href=\"http://127.0.0.1/ad\"><img src=\"/ad.png\"></a>广告</body></html>", "text/html; charset=utf-8");
    });
    server.get("/ad.png", [png](const httplib::Request &, httplib::Response &res) { res.set_content(png.toStdString(), "image/png"); });
    server.start();

    QStringList errors;
    std::unique_ptr<TForm1> form;
    {
        const prqtest::ErrorRecorder recorder(errors);
        form = windowWithBanner(server.url(QStringLiteral("/softad/PR.html?v1.0")));
        ASSERT_TRUE(adjusted(form->banner()));
    }
    TBannerView *banner = form->banner();

    EXPECT_TRUE(banner->toPlainText().contains(QStringLiteral("广告")));
    EXPECT_EQ(banner->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(banner->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(banner->document()->documentMargin(), 0);
    EXPECT_EQ(banner->frameShape(), QFrame::NoFrame);
    const QVariant loaded = banner->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("/ad.png")));
    EXPECT_EQ(loaded.value<QImage>().size(), QSize(20, 10));
    EXPECT_TRUE(errors.isEmpty());

    // The page request carries its path and query.
    bool sawPage = false;
    for (const auto &r : server.requests())
        sawPage = sawPage || r.target == "/softad/PR.html?v1.0";
    EXPECT_TRUE(sawPage);
}

TEST(Banner, APageThatDoesNotLoadShowsAShortErrorPageAndNoMessage)
{
    const int closedPort = prqtest::closedLoopbackPort();
    QStringList errors;
    std::unique_ptr<TForm1> form;
    {
        const prqtest::ErrorRecorder recorder(errors);
        form = windowWithBanner(QStringLiteral("http://127.0.0.1:%1/softad/PR.html?v1.0").arg(closedPort));
        ASSERT_TRUE(adjusted(form->banner()));
    }
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(form->banner()->toPlainText().contains(QStringLiteral("无法显示此页")));
}

// A page of a thousand images: a few are fetched, the page is laid out once
// more when they are in, and the window's thread stays nearly idle.
TEST(Banner, APageOfManyImagesCostsTheWindowLittle)
{
    LoopServer server;
    prqtest::serveImagePage(server, 1000);
    server.start();

    TBannerView banner;
    banner.resize(400, 300);
    banner.show();
    bool complete = false;
    QObject::connect(&banner, &TBannerView::DocumentComplete, &banner, [&complete] { complete = true; });
    const double before = threadCpuSeconds();
    banner.Navigate(QUrl(server.url(QStringLiteral("/page.html"))));
    ASSERT_TRUE(prqtest::waitUntil([&complete] { return complete; }, 20000));
    QCoreApplication::processEvents(); // the paint after the layout
    const double busy = threadCpuSeconds() - before;

    size_t images = 0;
    for (const auto &r : server.requests())
        images += r.target.rfind("/img/", 0) == 0;
    EXPECT_EQ(images, size_t(TBannerView::MaxResources));
    EXPECT_LT(busy, 1.0);
    EXPECT_EQ(banner.document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("/img/0.png"))).value<QImage>().size(), QSize(8, 8));
}

} // namespace
