#pragma once

#include <QString>

#include <string>

// The stored patterns are written for a backtracking dialect with script-engine
// semantics; the matching engine reads another syntax. translatePattern rewrites
// a pattern so that the engine, compiled case-sensitively, matches what the
// dialect would:
//   - "." is every character but the line feed (a carriage return included);
//   - an escaped character without a meaning of its own stands for itself
//     ("\'", "\/", "\q"); "\s" is the six blanks space, \t, \n, \v, \f, \r;
//   - "[]" matches nothing and "[^]" any character;
//   - with ignoreCase, letters fold as the dialect folds them (upper-case
//     mapping, never from a non-ASCII letter to an ASCII one), spelt out as
//     classes, so the engine's own wider folding never applies.
// Every character of the text is one code point; a lone surrogate counts as a
// character of its own.
// Throws AppError describing the fault for a pattern the dialect rejects or the
// engine cannot express (look-ahead, back-references, inline flags).
struct EnginePattern
{
    // For any text, read as UTF-8.
    std::string utf8;
    // For a text read one byte per character, every non-ASCII character as
    // the byte 0x80, in the engine's Latin-1 mode: much cheaper to prepare
    // and to map back. Empty when the pattern tells non-ASCII characters
    // apart (a literal Chinese character, a class such as [^中]).
    std::string bytewise;
};
EnginePattern translatePattern(const QString &pattern, bool ignoreCase, bool multiline);
