// The banner: its page and images come through the fetch component from a
// loopback server; each completed document gets the three adjustments.
#include "app/Unit1.h"
#include "app/bannerview.h"
#include "shell/guard.h"
#include "support/loopserver.h"
#include "support/windowtesting.h"

#include <QBuffer>
#include <QImage>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

namespace {

using prqtest::LoopServer;

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
    const auto old = guard::setErrorBox([&](const QString &, const QString &m) { errors << m; });
    auto form = windowWithBanner(server.url(QStringLiteral("/softad/PR.html?v1.0")));
    TBannerView *banner = form->banner();
    ASSERT_TRUE(adjusted(banner));
    guard::setErrorBox(old);

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
    const auto old = guard::setErrorBox([&](const QString &, const QString &m) { errors << m; });
    auto form = windowWithBanner(QStringLiteral("http://127.0.0.1:%1/softad/PR.html?v1.0").arg(closedPort));
    ASSERT_TRUE(adjusted(form->banner()));
    guard::setErrorBox(old);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(form->banner()->toPlainText().contains(QStringLiteral("无法显示此页")));
}

} // namespace
