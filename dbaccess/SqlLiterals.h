#pragma once
/// Values written into generated SQL text: never spliced unchecked, and never escaped, so that
/// their meaning depends neither on the session's character set nor on its sql_mode.

#include "Field.h"

#include <QByteArray>

namespace norvane::db {

class Connection;

/// Text as `_utf8mb4 X'...'`: no byte of the value reaches the statement as itself, so no
/// escaping is needed (none can be wrong after a SET NAMES, a NO_BACKSLASH_ESCAPES or a lost
/// session), and the introducer fixes the character set whatever the session's is. As a literal
/// it is coercible: compared with a column it takes the column's collation, as a quoted string.
QByteArray textLiteral(const QByteArray& utf8);

/// The literal for a value of a column: BIT as its unsigned number, other byte data as a
/// hexadecimal literal, numbers unquoted only when they are plain numbers (so DECIMAL and
/// BIGINT compare exactly, not as doubles; exponent forms of exact numbers written out as plain
/// decimals), everything else as a text literal.
QByteArray sqlLiteral(const FieldDef& def, const QByteArray& value);
/// As above; kept for callers that pass the session, which the literal no longer needs.
QByteArray sqlLiteral(const Connection& connection, const FieldDef& def, const QByteArray& value);

/// True for text made of an optional sign, digits, a decimal point and an exponent only.
bool isPlainNumber(const QByteArray& text);

/// A plain number in exponent form written out without exponent, with exactly the same value
/// ("1.5e1" -> "15", "25e-3" -> "0.025"); plain numbers without exponent come back unchanged.
/// Empty when the text is no plain number or the written-out form would run past 200 digits.
QByteArray plainDecimal(const QByteArray& number);

} // namespace norvane::db
