#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// An address cut into what the connection needs. Only "http://" and
// "https://" (any letter case) are taken as schemes; anything else stays part
// of the host.
struct TSplitURL
{
    bool Secure = false;
    QString Host;
    QString PortText; // as written, or the scheme's default when none is
    int Port = 80; // 0 when PortText is a number that names no port
    QString Path; // from the first "/", query and fragment included
};

TSplitURL SplitURL(const QString &url);

// The request target sent for a path: the UTF-8 form with every byte that
// cannot stand in a request target percent-encoded (control bytes, space,
// DEL, "#", non-ASCII). "%" and the rest pass unchanged, so that a server
// which decodes the target sees exactly the text of the address.
QByteArray requestTarget(const QString &path);

// Whether host is an address written as numbers, by the rule libcurl follows
// when it parses an address: an IPv4 address in any form inet_aton(3) reads
// (dotted quads, their short forms "127.1" and "127.0.1", one number for all
// 32 bits "2130706433", octal and hexadecimal parts "0177.0x0.0.1"), or an
// IPv6 address in brackets. Nothing else may stand in the text: no space, no
// final dot. libcurl connects to such a host without a lookup, so it has no
// name to resolve and no domain.
bool isNumericHost(QStringView host);

// The host as libcurl connects to it: the dotted quad of a numeric IPv4 host
// ("127.1" gives "127.0.0.1"), any other host unchanged.
QString connectHost(const QString &host);

// Whether text holds a control character (below 0x20, or DEL). A host or a
// port that holds one names no address: C strings would end at a NUL, and a
// line break would end a header line.
bool hasControlCharacter(QStringView text);

// Digits with an optional sign, nothing else (no spaces, no base prefix): the
// form of a port and of a length.
bool isWholeDecimal(QByteArrayView text);
