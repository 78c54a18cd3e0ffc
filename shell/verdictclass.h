#pragma once

#include <QString>

struct FetchResult;

// What a row's answer means to the person reading the list. The 访问 cell
// shows it with a mark; the exports, the store, the counts and the colours
// of the window read it from here.
enum class VerdictClass {
    Unchecked, // not checked (yet), or not asked
    Alive, // the address answers
    Dead, // it does not
    Blocked, // the server refused a robot; a person may get through
    Soft404, // answers 2xx, but with the site's "not found" page
    Invalid, // no address can be made of the link; never requested
    Robots, // robots.txt forbids it; never requested
};

// The stable machine key: "unchecked", "alive", "dead", "blocked",
// "soft404", "invalid", "robots".
QString verdictClassKey(VerdictClass verdict);

// The 访问 mark of an answered row: "√" Alive; "×" Dead, Soft404 and
// Invalid; "?" (存疑) Blocked and Robots, which a person may still reach;
// "--" Unchecked.
QString verdictMark(VerdictClass verdict);

// The 状态 text of a check: the record's own (statusText), with the word of
// its class after a space where the codes alone would mislead: "403 拒绝",
// "401 需登录", "403 人机验证", "429 限流", "200 软404"; "无效网址" for a link
// that is no address.
QString verdictStatusText(const FetchResult &record, VerdictClass verdict);
