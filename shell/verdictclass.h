#pragma once

#include <QString>

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
