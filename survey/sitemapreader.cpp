#include "survey/sitemapreader.h"

#include <QXmlStreamReader>

#include <zlib.h>

#include <memory>

namespace {

constexpr qsizetype InflateChunk = 64 * 1024;
// A <loc> of another namespace (an image's, say) is no page of the file.
constexpr QLatin1String SitemapNamespace("http://www.sitemaps.org/schemas/sitemap/0.9");

bool isGzip(const QByteArray &body)
{
    return body.size() >= 2 && uchar(body[0]) == 0x1f && uchar(body[1]) == 0x8b;
}

// Hands the reader the text of a file a piece at a time.
class Source
{
public:
    virtual ~Source() = default;
    // The next piece; empty at the end or on a failure (see problem()).
    virtual QByteArray next() = 0;
    QString problem;
};

class PlainSource final : public Source
{
public:
    PlainSource(const QByteArray &body, qint64 limit)
        : m_body(body)
        , m_limit(limit)
    {
    }
    QByteArray next() override
    {
        if (m_done)
            return {};
        m_done = true;
        if (m_body.size() > m_limit) {
            problem = QStringLiteral("超过 %1 MB").arg(m_limit >> 20);
            return m_body.left(m_limit);
        }
        return m_body;
    }

private:
    const QByteArray &m_body;
    qint64 m_limit;
    bool m_done = false;
};

class GzipSource final : public Source
{
public:
    GzipSource(const QByteArray &body, qint64 limit)
        : m_limit(limit)
    {
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.constData()));
        m_stream.avail_in = uInt(body.size());
        m_ok = inflateInit2(&m_stream, 16 + MAX_WBITS) == Z_OK; // gzip wrapper only
        if (!m_ok)
            problem = QStringLiteral("无法解压");
    }
    ~GzipSource() override
    {
        if (m_ok)
            inflateEnd(&m_stream);
    }
    QByteArray next() override
    {
        if (!m_ok || m_ended)
            return {};
        QByteArray out(InflateChunk, Qt::Uninitialized);
        m_stream.next_out = reinterpret_cast<Bytef *>(out.data());
        m_stream.avail_out = uInt(out.size());
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        out.resize(out.size() - qsizetype(m_stream.avail_out));
        if (status == Z_STREAM_END) {
            m_ended = true;
        } else if (status != Z_OK || (out.isEmpty() && m_stream.avail_in == 0)) {
            m_ended = true;
            problem = status == Z_OK || status == Z_BUF_ERROR ? QStringLiteral("压缩数据不完整") : QStringLiteral("压缩数据损坏");
        }
        m_total += out.size();
        if (m_total > m_limit) {
            out.chop(m_total - m_limit);
            m_ended = true;
            problem = QStringLiteral("解压后超过 %1 MB").arg(m_limit >> 20);
        }
        return out;
    }

private:
    z_stream m_stream {};
    qint64 m_limit;
    qint64 m_total = 0;
    bool m_ok = false;
    bool m_ended = false;
};

} // namespace

SitemapContent readSitemap(const QByteArray &body, const SitemapLimits &limits)
{
    std::unique_ptr<Source> source;
    if (isGzip(body))
        source = std::make_unique<GzipSource>(body, limits.maxInflatedBytes);
    else
        source = std::make_unique<PlainSource>(body, limits.maxInflatedBytes);

    SitemapContent content;
    QXmlStreamReader xml;
    int depth = 0;
    bool inLoc = false; // a <loc> of an <url> or a <sitemap>
    QString loc;
    bool fed = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                content.problem = QStringLiteral("格式错误 (第 %1 行): %2").arg(xml.lineNumber()).arg(xml.errorString());
                break;
            }
            // More text is needed: the reader keeps only what it has not
            // read yet.
            const QByteArray piece = source->next();
            if (piece.isEmpty()) {
                if (!source->problem.isEmpty())
                    content.problem = source->problem;
                else
                    content.problem = fed ? QStringLiteral("文件不完整") : QStringLiteral("空文件");
                break;
            }
            fed = true;
            xml.addData(piece);
            continue;
        }
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView name = xml.name();
            if (depth == 1) {
                if (name == u"urlset")
                    content.kind = SitemapContent::Kind::Pages;
                else if (name == u"sitemapindex")
                    content.kind = SitemapContent::Kind::Index;
                else {
                    content.problem = QStringLiteral("不是 sitemap 文件");
                    break;
                }
            } else if (depth == 3 && name == u"loc" && (xml.prefix().isEmpty() || xml.namespaceUri() == SitemapNamespace)) {
                inLoc = true;
                loc.clear();
            }
        } else if (token == QXmlStreamReader::Characters && inLoc) {
            loc += xml.text();
        } else if (token == QXmlStreamReader::EndElement) {
            if (inLoc && depth == 3) {
                inLoc = false;
                const QString address = loc.trimmed();
                if (!address.isEmpty()) {
                    if (content.locations.size() >= limits.maxLocations) {
                        content.problem = QStringLiteral("超过 %1 个地址, 其余未读").arg(limits.maxLocations);
                        break;
                    }
                    content.locations << address;
                }
            }
            // The end of the root is the end of the file: whatever follows
            // is not read.
            if (--depth == 0)
                break;
        }
    }
    return content;
}
