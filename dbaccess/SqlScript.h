#pragma once
/// Splitting a console text into the statements the server runs one at a time.

#include <QString>

#include <vector>

namespace norvane::db {

/// One statement of a script: its text as sent to the server (without the delimiter) and where
/// it stands in the script, so that an editor can select it or go to a line of it.
struct ScriptStatement
{
    QString text;
    qsizetype begin = 0; ///< offset of its first character in the script (UTF-16 units)
    qsizetype end = 0;   ///< offset just past its last character (before the delimiter)
    int line = 0;        ///< 0-based line of the script on which it begins
};

/// The statements of a script and whether it changed its delimiter on the way.
struct ScriptSplit
{
    std::vector<ScriptStatement> statements;
    bool delimiterChanged = false;
};

/// Splits `script` at its delimiter (";" until a `DELIMITER` line names another), the way the
/// command-line client does: a delimiter inside a quoted string, a backtick identifier or a
/// comment (`-- `, `#`, `/* */`) does not end a statement, and a `DELIMITER` line standing
/// between statements is obeyed and left out. Comments and blanks before a statement are
/// left out too, so a text of comments alone yields no statement; `/*! ... */` is executable
/// text, not a comment. `backslashEscapes` follows the session's sql_mode
/// (NO_BACKSLASH_ESCAPES turns it off).
ScriptSplit splitSqlScript(const QString& script, bool backslashEscapes = true);

/// True when `statement` creates, drops, renames or alters the name of a table or view, so
/// that a list of the database's tables may be out of date after it ran.
bool changesTableList(const QString& statement);

/// The 1-based line that a server message ends with ("... at line 3"), or 0 when none.
int errorLine(const QString& message);

} // namespace norvane::db
