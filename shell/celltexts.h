#pragma once

#include <QString>

// The texts of the result list's cells that the commands write and the
// counts, filters and exports read back. One table, so that writer and
// reader never disagree.
namespace celltext {

// 访问
inline const QString Alive = QStringLiteral("√");
inline const QString Dead = QStringLiteral("×");
// 存疑: the server refused a robot; a person may still get through.
inline const QString Doubtful = QStringLiteral("?");
// Not asked, or no answer: 访问 without a check in a site list, a PR the
// service did not give, 链接词 of a batch row.
inline const QString NoAnswer = QStringLiteral("--");
// Waiting for the walk, and waiting for a re-query.
inline const QString Pending = QStringLiteral("查询中...");
inline const QString Requery = QStringLiteral("查询...");
// PR: the ranking service refused this machine.
inline const QString Blocked = QStringLiteral("IP被屏蔽");

// 站内?
inline const QString Batch = QStringLiteral("批量");
inline const QString Internal = QStringLiteral("内");
inline const QString External = QStringLiteral("外");

// 链接词 of the site row.
inline const QString SiteRow = QStringLiteral("---");

// 状态 of a row that robots.txt forbids: it is never requested.
inline const QString RobotsForbidden = QStringLiteral("robots禁止");
// 孤立 of an orphan in the exports.
inline const QString Orphan = QStringLiteral("是");

} // namespace celltext
