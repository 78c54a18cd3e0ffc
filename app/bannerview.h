#pragma once

#include <QSet>
#include <QTextBrowser>
#include <QUrl>

#include <functional>

class THTTPGet;

// The banner: a light stand-in for an embedded browser. It loads one page and
// the page's images through the fetch component, shows them, and reports each
// completed document. A page that does not load shows a short error page.
class TBannerView final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBannerView)

public:
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
    THTTPGet *startFetch(const QUrl &url);

    QUrl m_url;
    int m_pending = 0;
    bool m_pageShown = false;
    QSet<QUrl> m_requested;
};
