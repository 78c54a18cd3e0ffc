#pragma once

#include <QString>

#include <optional>

struct ResultRow;

// The groups a person looks at the list by: what each row's check made of it
// (its class, from the 访问 mark and the verdict) and the final status of its
// check. The view filter, the live counts and the chart use these, so that a
// bar's count is exactly what a click on it shows.
enum class RowGroup : int {
    Live, // 访问 "√"
    Dead, // 访问 "×"
    Doubt, // 访问 "?" (verdict Blocked): the server refused a robot
    Unchecked, // none of the above: not checked (yet), or not asked
    Status2xx,
    Status3xx,
    Status4xx,
    Status5xx,
    Failed, // checked, but no reply with a status came
};
constexpr int RowGroupCount = int(RowGroup::Failed) + 1;

// The class group of a row: exactly one of Live, Dead, Doubt, Unchecked.
RowGroup classGroupOf(const ResultRow &row);
// The status group of a row's check; nothing for a row without one.
std::optional<RowGroup> statusGroupOf(const ResultRow &row);
bool inGroup(const ResultRow &row, RowGroup group);

// The short name of a group, as the chart labels its bar: "正常", "死链",
// "存疑", "未检测", "2xx", "3xx", "4xx", "5xx", "失败".
QString groupName(RowGroup group);
