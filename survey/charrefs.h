#pragma once

#include <QStringList>

// Where a snippet stood in the page: HTML decodes a reference such as
// "&copy=" differently inside an attribute value and in text.
enum class RefContext {
    Attribute,
    Text
};

// The snippets with their character references (named and numeric) decoded
// as the HTML5 parser decodes them in that context; everything else is kept
// as it is. All the snippets of a page go through one parse. Raises AppError
// only if the parser's tree does not give the snippets back.
QStringList decodeReferences(const QStringList &snippets, RefContext context);
QString decodeReferences(const QString &snippet, RefContext context);
