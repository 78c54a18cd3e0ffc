#include "app/bannerview.h"

#include "base/textutil.h"
#include "fetch/finishedrequest.h"
#include "fetch/httpget.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTextBlock>
#include <QTextDocument>

TBannerView::TBannerView(QWidget *parent)
    : QTextBrowser(parent)
{
    setOpenLinks(false);
    setReadOnly(true);
    m_layoutTimer.setSingleShot(true);
    m_layoutTimer.setInterval(LayoutWait);
    connect(&m_layoutTimer, &QTimer::timeout, this, &TBannerView::layOut);
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

THTTPGet *TBannerView::startFetch(const QUrl &url, qint64 maxBytes)
{
    auto *fetch = new THTTPGet(this);
    fetch->URL = url.toString(QUrl::FullyEncoded);
    fetch->MaxBodySize = maxBytes;
    ++m_pending;
    return fetch;
}

void TBannerView::Navigate(const QUrl &url)
{
    for (THTTPGet *old : findChildren<THTTPGet *>(QString(), Qt::FindDirectChildrenOnly))
        delete old;
    m_pending = 0;
    m_requested.clear();
    m_resourceBytes = 0;
    m_pageShown = false;
    m_waitingForLayout = false;
    m_layoutTimer.stop();
    m_url = url;
    THTTPGet *page = startFetch(url, ResourceBytes);
    page->OnDoneString = [this](THTTPGet *sender, const QByteArray &body) {
        const FinishedRequest done(sender);
        pageDone(body);
    };
    page->OnError = [this](THTTPGet *sender) {
        const FinishedRequest done(sender);
        pageFailed();
    };
    page->FetchString();
}

void TBannerView::pageDone(const QByteArray &body)
{
    document()->setBaseUrl(m_url);
    setHtml(decodeText(body));
    m_pageShown = true;
    m_layoutTimer.start();
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
    // Fetches run side by side, each allowed what was left when it started;
    // the budget is settled as they arrive.
    if (m_resourceBytes + body.size() <= ResourceBytes) {
        m_resourceBytes += body.size();
        QBuffer buffer;
        buffer.setData(body);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        // The header tells the size: a small file may unpack to gigabytes.
        const QSize size = reader.size();
        QImage image;
        if (size.isValid() && qint64(size.width()) * size.height() <= MaxImagePixels && reader.read(&image)) {
            // The document looks resources up by their address resolved
            // against the page. The page is laid out again when all are in.
            document()->addResource(QTextDocument::ImageResource, m_url.resolved(url), image);
            m_waitingForLayout = true;
        }
    }
    finishOne();
}

void TBannerView::finishOne()
{
    if (--m_pending == 0 && m_pageShown) {
        m_layoutTimer.stop();
        layOut();
        emit DocumentComplete(m_url);
    }
}

void TBannerView::layOut()
{
    if (!m_waitingForLayout)
        return;
    m_waitingForLayout = false;
    // Once for every image that arrived since the last layout: each image
    // changes the size of its line.
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

QVariant TBannerView::loadResource(int type, const QUrl &name)
{
    // Only the page's own images are fetched, and only over http(s); nothing
    // is ever read from the local disk. An image the view has not got stands
    // as an empty one: without any, the document would look for a file of
    // that name on the disk, at every layout. An image that arrives later is
    // added to the document, which then prefers it.
    if (type != QTextDocument::ImageResource)
        return {};
    static const QImage placeholder = [] {
        QImage image(1, 1, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        return image;
    }();
    const QUrl url = m_url.resolved(name);
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return placeholder;
    if (m_requested.contains(url) || m_requested.size() >= MaxResources || m_resourceBytes >= ResourceBytes)
        return placeholder;
    m_requested.insert(url);
    THTTPGet *fetch = startFetch(url, ResourceBytes - m_resourceBytes);
    fetch->BinaryData = true;
    fetch->OnDoneString = [this, name](THTTPGet *sender, const QByteArray &body) {
        const FinishedRequest done(sender);
        imageDone(name, body);
    };
    fetch->OnError = [this](THTTPGet *sender) {
        const FinishedRequest done(sender);
        finishOne();
    };
    // FetchString processes pending events; starting it from inside a layout
    // pass would re-enter the layout, so start it from the event loop.
    QMetaObject::invokeMethod(
        fetch, [fetch] { fetch->FetchString(); }, Qt::QueuedConnection);
    return placeholder;
}
