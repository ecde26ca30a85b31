#pragma once
// Locale date and time patterns of the access layer, compiled once per locale; internal to
// dbaccess (the front door is Field.h).

#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <vector>

namespace norvane::db {

/// A date/time format pattern compiled once into pieces.
// A value is then written by appending digits and cached texts instead of interpreting the pattern
// through QLocale for every cell. Only patterns of plain numeric fields, short month names and
// AM/PM markers compile, and only for locales writing ASCII digits; the compiled form is checked
// against QLocale on sample values and dropped on any difference, so callers fall back to QLocale.
class CompiledFormat
{
public:
    CompiledFormat() = default;
    CompiledFormat(const QLocale& locale, const QString& pattern) : m_pattern(pattern)
    {
        m_valid = compile(locale) && verify(locale);
    }

    bool valid() const { return m_valid; }
    const QString& pattern() const { return m_pattern; }

    /// Years 1000 to 9999 only: others take the general path.
    static bool fits(int year) { return year >= 1000 && year <= 9999; }

    void append(QString& out, int year, int month, int day, int hour, int minute, int second) const
    {
        for (const Piece& p : m_pieces) {
            switch (p.kind) {
            case Kind::Literal:
                out += p.text;
                break;
            case Kind::Day:
                number(out, day, p.width);
                break;
            case Kind::Month:
                number(out, month, p.width);
                break;
            case Kind::MonthName:
                out += m_monthNames[month - 1];
                break;
            case Kind::Year4:
                number(out, year, 4);
                break;
            case Kind::Year2:
                number(out, year % 100, 2);
                break;
            case Kind::Hour24:
                number(out, hour, p.width);
                break;
            case Kind::Hour12:
                number(out, hour % 12 == 0 ? 12 : hour % 12, p.width);
                break;
            case Kind::Minute:
                number(out, minute, p.width);
                break;
            case Kind::Second:
                number(out, second, p.width);
                break;
            case Kind::AmPmUpper:
                out += hour < 12 ? m_amUpper : m_pmUpper;
                break;
            case Kind::AmPmLower:
                out += hour < 12 ? m_amLower : m_pmLower;
                break;
            }
        }
    }

private:
    enum class Kind
    {
        Literal,
        Day,
        Month,
        MonthName,
        Year4,
        Year2,
        Hour24,
        Hour12,
        Minute,
        Second,
        AmPmUpper,
        AmPmLower
    };
    struct Piece
    {
        Kind kind = Kind::Literal;
        int width = 1;
        QString text;
    };

    // Non-negative values below 10^8, zero-padded to width (at most 8), in one append.
    static void number(QString& out, int value, int width)
    {
        char16_t digits[8];
        int at = 8;
        do {
            digits[--at] = static_cast<char16_t>(u'0' + value % 10);
            value /= 10;
        } while (value > 0 && at > 0);
        while (8 - at < width && at > 0)
            digits[--at] = u'0';
        out.append(QStringView(digits + at, 8 - at));
    }

    bool compile(const QLocale& locale);
    bool verify(const QLocale& locale) const;

    QString m_pattern;
    bool m_valid = false;
    std::vector<Piece> m_pieces;
    std::array<QString, 12> m_monthNames;
    QString m_amUpper, m_pmUpper, m_amLower, m_pmLower;
};

/// The default locale's display formats, resolved once per locale rather than per value.
struct LocalFormats
{
    QLocale locale;
    QString decimalPoint;
    CompiledFormat date;
    CompiledFormat time;
    CompiledFormat dateTime;
    /// The date and time pattern up to its seconds and after them: fractional seconds go
    /// between ("3/5/2024 12:08:09.5 PM").
    QString dateTimeHead;
    QString dateTimeTail;
};

/// The default locale's formats, rebuilt when the default locale changes.
const LocalFormats& localFormats();

/// Reads a date in the locale's form, with four or two digits for the year (two digits mean
/// 1950 to 2049).
QDate parseLocalDate(const QString& text);

} // namespace norvane::db
