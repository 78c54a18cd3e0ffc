#pragma once

#include <QSet>
#include <QTextBrowser>
#include <QUrl>

#include <functional>

#include <QTimer>

#include <chrono>

class THTTPGet;

// The banner: a light stand-in for an embedded browser. It loads one page and
// the page's images through the fetch component, shows them, and reports each
// completed document. A page that does not load shows a short error page.
//
// Whatever the page holds, it costs the window little: at most MaxResources
// images are fetched, ResourceBytes in all, none larger than MaxImagePixels,
// and the page is laid out again once, when they are all in (or LayoutWait
// after the page came, and once more when the rest arrive).
class TBannerView final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBannerView)

public:
    static constexpr int MaxResources = 16;
    static constexpr qint64 ResourceBytes = 4 * 1024 * 1024;
    static constexpr qint64 MaxImagePixels = 4096 * 4096;
    static constexpr std::chrono::milliseconds LayoutWait {10000};

    explicit TBannerView(QWidget *parent = nullptr);
    ~TBannerView() override;

    void Navigate(const QUrl &url);
    QUrl currentUrl() const { return m_url; }

    // Opens a clicked banner link outside the program.
    std::function<void(const QUrl &)> openLink;

signals:
    // A document (the page with its images, or the error page) is complete.
    void DocumentComplete(const QUrl &url);

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    void pageDone(const QByteArray &body);
    void pageFailed();
    void imageDone(const QUrl &url, const QByteArray &body);
    void finishOne();
    void layOut();
    THTTPGet *startFetch(const QUrl &url, qint64 maxBytes);

    QUrl m_url;
    int m_pending = 0;
    bool m_pageShown = false;
    bool m_waitingForLayout = false;
    QSet<QUrl> m_requested;
    qint64 m_resourceBytes = 0;
    QTimer m_layoutTimer;
};
