#pragma once

#include "shell/verdictclass.h"

#include <QHash>
#include <QString>

#include <array>
#include <optional>

// The user's moves of final reply codes between the classes of a check:
// "403:dead,999:alive,5xx:blocked". Each entry is a code (100 to 999) or a
// range of a hundred ("4xx"), a colon and one of "alive", "dead" or
// "blocked". A code named on its own goes before its range; a later entry
// for the same code or range replaces an earlier one. Empty: the classes as
// they are.
class StatusPolicy final
{
public:
    StatusPolicy() = default;

    // The policy of text; nothing, and why in error, when text is not one.
    static std::optional<StatusPolicy> parse(const QString &text, QString *error = nullptr);

    // The class the user gave code, if any.
    std::optional<VerdictClass> classOf(int code) const;

private:
    QHash<int, VerdictClass> m_codes;
    std::array<std::optional<VerdictClass>, 10> m_ranges {}; // by the first digit
};
