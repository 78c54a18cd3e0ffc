#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The site address as a web address: "http://" + text when the text names no
// scheme, as a site is often typed; otherwise unchanged.
QString withWebScheme(const QString &address);

// The address a page was read from: its final address after redirects when
// the fetch reports one, else the address as requested (see withWebScheme).
QString pageAddress(const QString &requested, const QString &finalUrl);

// What a link of a page comes to.
struct ReadLink
{
    enum class Kind {
        Web, // an http or https address, in url
        NotWeb, // another scheme (mail, script, phone, data, ftp, ...): not listed
        Unaddressable, // no rule makes an address of it; url is the link as written
    };
    Kind kind = Kind::NotWeb;
    QString url;
};

// Turns the links of one page into the addresses a browser would follow.
class LinkResolver final
{
public:
    // baseHref: the href of the page's <base>, which replaces the page's own
    // address as the base when it gives a web address.
    LinkResolver(const QString &pageUrl, const std::optional<QString> &baseHref);

    // Reads a link as a browser does where that differs from RFC 3986: the
    // C0 controls and spaces at either end and the tabs and line breaks
    // inside do not count; a scheme starts with an ASCII letter, so
    // "%20http://x" or "\u200bhttps://x" is a relative path; a backslash
    // is a slash before the query; a character that has to be escaped is
    // escaped, not refused. A link that begins with "http://" or
    // "https://" (any case) stays as written when it is an address as
    // written. The fragment goes last: it is never sent to a server.
    ReadLink read(const QString &href) const;

    // The address of read(), or empty for anything but a web address.
    QString resolve(const QString &href) const;

private:
    QUrl m_base;
};
