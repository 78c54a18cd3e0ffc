#pragma once

#include <QString>

// The site domain of a URL: the host's last two labels, or its last three
// when the last label has at most two characters and the one before it, with
// a dot in front, occurs in the stored suffix text (so "co", "com", "c", "ne"
// and an empty label count; capitals never do). The scheme, port, path and
// query play no part; letter case passes through. A text without a scheme
// and with two or more slashes takes its second path segment as the host.
// Throws AppError when a piece the rule needs is missing: an empty URL or one
// that begins with "?", an empty host, a host of one label, or a host of two
// labels that asks for three.
QString getdomain2(const QString &url);
