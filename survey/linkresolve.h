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

// Turns the links of one page into the addresses a browser would follow.
class LinkResolver final
{
public:
    // baseHref: the href of the page's <base>, which replaces the page's own
    // address as the base when it gives a web address.
    LinkResolver(const QString &pageUrl, const std::optional<QString> &baseHref);

    // A link that begins with "http://" or "https://" (any case) stays as
    // written; any other is resolved against the base by the rules of
    // RFC 3986. The white space that browsers ignore at either end and the
    // line breaks and tabs inside go first, the fragment last: it is never
    // sent to a server. Empty for anything but an http or https address with
    // a host (mail, script, phone, data and file links among them).
    QString resolve(const QString &href) const;

private:
    QUrl m_base;
};
