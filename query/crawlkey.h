#pragma once

#include <QString>

// The key under which a crawl knows an address, so that one page spelled
// several ways is one row and one request: the fragment dropped, scheme and
// host lower-cased, a default port (80 for http, 443 for https) dropped, an
// empty path made "/", and the dot segments of the path resolved (RFC 3986,
// 5.2.4). The query stays as written. The key is itself an absolute address.
// An address without "scheme://" is read as "http://" + address.
QString addressKey(const QString &url);

// The origin of a key: scheme, "://", host and port, without the path.
QString keyOrigin(const QString &key);

// The folder of a key: everything up to and including the last "/" of its
// path, query excluded; the keys under a folder start with it.
QString keyFolder(const QString &key);
