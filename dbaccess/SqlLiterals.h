#pragma once
/// Values written into generated SQL text: never spliced unchecked.

#include "Connection.h"
#include "Field.h"

#include <QByteArray>

namespace norvane::db {

/// The literal for a value of a column: BIT as its unsigned number, other byte data as a
/// hexadecimal literal, numbers unquoted only when they are plain numbers (so DECIMAL and
/// BIGINT compare exactly, not as doubles), everything else as a string escaped by the session.
QByteArray sqlLiteral(const Connection& connection, const FieldDef& def, const QByteArray& value);

/// True for text made of an optional sign, digits, a decimal point and an exponent only.
bool isPlainNumber(const QByteArray& text);

} // namespace norvane::db
