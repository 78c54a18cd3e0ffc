#include "app/bannerview.h"

#include "fetch/httpget.h"
#include "shell/textutil.h"

#include <QImage>
#include <QTextBlock>
#include <QTextDocument>

TBannerView::TBannerView(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setReadOnly(true);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
        const QUrl target = m_url.resolved(link);
        const QString scheme = target.scheme().toLower();
        if (openLink && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            openLink(target);
    });
}

// The fetches are children of this view: destroying them cancels them and no
// completion arrives afterwards.
TBannerView::~TBannerView() = default;

THTTPGet *TBannerView::startFetch(const QUrl &url)
{
    auto *fetch = new THTTPGet(this);
    fetch->URL = url.toString(QUrl::FullyEncoded);
    fetch->MaxBodySize = 4 * 1024 * 1024;
    ++m_pending;
    return fetch;
}

void TBannerView::Navigate(const QUrl &url)
{
    for (THTTPGet *old : findChildren<THTTPGet *>(QString(), Qt::FindDirectChildrenOnly))
        delete old;
    m_pending = 0;
    m_requested.clear();
    m_pageShown = false;
    m_url = url;
    THTTPGet *page = startFetch(url);
    page->OnDoneString = [this](THTTPGet *sender, const QByteArray &body) {
        sender->deleteLater();
        pageDone(body);
    };
    page->OnError = [this](THTTPGet *sender) {
        sender->deleteLater();
        pageFailed();
    };
    page->FetchString();
}

void TBannerView::pageDone(const QByteArray &body)
{
    document()->setBaseUrl(m_url);
    setHtml(decodeText(body));
    m_pageShown = true;
    // The document is complete once its images have arrived too; request
    // them all now rather than when the layout first asks for them.
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                loadResource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()));
        }
    }
    finishOne();
}

void TBannerView::pageFailed()
{
    setHtml(QStringLiteral("<html><body><p style=\"font-size:small;color:#808080\">无法显示此页：%1</p></body></html>")
                .arg(m_url.toString().toHtmlEscaped()));
    m_pageShown = true;
    finishOne();
}

void TBannerView::imageDone(const QUrl &url, const QByteArray &body)
{
    QImage image;
    if (image.loadFromData(body)) {
        // The document looks resources up by their address resolved against
        // the page.
        document()->addResource(QTextDocument::ImageResource, m_url.resolved(url), image);
        // Lay the page out again now that the image has its size.
        document()->markContentsDirty(0, document()->characterCount());
        viewport()->update();
    }
    finishOne();
}

void TBannerView::finishOne()
{
    if (--m_pending == 0 && m_pageShown)
        emit DocumentComplete(m_url);
}

QVariant TBannerView::loadResource(int type, const QUrl &name)
{
    // Only the page's own images are fetched, and only over http(s); nothing
    // is ever read from the local disk.
    if (type != QTextDocument::ImageResource)
        return {};
    const QUrl url = m_url.resolved(name);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    if (m_requested.contains(url))
        return {};
    m_requested.insert(url);
    THTTPGet *fetch = startFetch(url);
    fetch->BinaryData = true;
    fetch->OnDoneString = [this, name](THTTPGet *sender, const QByteArray &body) {
        sender->deleteLater();
        imageDone(name, body);
    };
    fetch->OnError = [this](THTTPGet *sender) {
        sender->deleteLater();
        finishOne();
    };
    // FetchString processes pending events; starting it from inside a layout
    // pass would re-enter the layout, so start it from the event loop.
    QMetaObject::invokeMethod(
        fetch, [fetch] { fetch->FetchString(); }, Qt::QueuedConnection);
    return {};
}
