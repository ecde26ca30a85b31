#pragma once
// Readers of the server's text forms (DATE, DATETIME, TIME, BIT bytes), shared by the field
// classes and the value texts; internal to dbaccess (the front door is Field.h).

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace norvane::db {

struct FieldDef;

/// Day zero of the day serials that dates convert to as numbers.
inline const QDate kDayZero{1899, 12, 30};

/// A value's text: UTF-8 for text columns, Latin-1 (one character a byte) for byte columns.
QString fromRaw(const FieldDef& def, QByteArrayView raw);

/// The bytes of a BIT(bits) column holding v, most significant byte first.
QByteArray bitBytes(std::uint64_t v, int bits);

/// True when the text has a fractional part that is not all zeros ("12:00:00.5").
bool hasFraction(QByteArrayView raw);
/// The text before its decimal point.
QByteArrayView withoutFraction(QByteArrayView raw);

/// Throws `FieldConversionError` naming the text and the kind of value it is not.
[[noreturn]] void badValue(const QString& text, const char* what);

/// The parts of a server DATETIME in its fixed form "yyyy-MM-dd HH:mm:ss" (or the date alone,
/// at midnight), read digit by digit: a general date parser per value would cost more than the
/// rest of the row. A server DATETIME carries no zone, so no local clock is consulted (it would
/// shift times inside a daylight-saving gap). Unset when the text is not of that form or not a
/// real date and time.
struct WallClock
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::optional<WallClock> wallClockParts(QByteArrayView raw);

} // namespace norvane::db
