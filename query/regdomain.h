#pragma once

#include <QString>

// The registrable domain of the host a row address names, by the Public
// Suffix List ("news.bbc.co.uk" gives "bbc.co.uk"), lower case and in its
// ASCII (punycode) form. Empty when the address has no host, names an IP
// address, or its host has no registrable part (a bare public suffix, a
// single label).
QString registrableDomain(const QString &rowUrl);

// The host a row address names, lower case and in its ASCII form, and that
// host's registrable domain. Both empty when registrableDomain would be; the
// host alone is there for a bare public suffix or a single label.
struct RowDomain
{
    QString host;
    QString domain;
};
RowDomain rowDomain(const QString &rowUrl);
