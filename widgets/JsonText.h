#pragma once
/// Checking and indenting JSON text without changing a single token of it.

#include <QString>
#include <QStringView>

namespace norvane::widgets {

/// The outcome of reading a JSON text: the text indented (when valid) or why it is not JSON.
struct JsonCheck
{
    bool valid = false;
    /// The same tokens in the same order, one member or element a line, four spaces a level.
    QString indented;
    /// "Not valid JSON: <what> at line L, column C." when invalid.
    QString error;
};

/// Reads `text` as one JSON value (RFC 8259, any value at the top). Numbers, strings and the
/// order of members stay exactly as written: only the white space between tokens changes, so
/// big integers and duplicate keys come back as they were. Nesting depth is not limited
/// (no recursion), so a hostile value cannot exhaust the stack; and where indenting deep
/// nesting would grow the text past four times its size, `indented` is the text as given.
JsonCheck checkJson(QStringView text);

} // namespace norvane::widgets
