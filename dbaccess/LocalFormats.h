#pragma once
// Locale date and time patterns of the access layer, compiled once per locale; internal to
// dbaccess (the front door is Field.h).

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

#include <array>
#include <cstddef>
#include <cstring>
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
        Utf16Sink sink{out};
        write(sink, year, month, day, hour, minute, second);
    }

    /// The same text as UTF-8, written in place: exports take it without a UTF-16 round trip.
    void appendUtf8(QByteArray& out, int year, int month, int day, int hour, int minute,
                    int second) const
    {
        const qsizetype at = out.size();
        out.resize(at + m_maxUtf8);
        Utf8Sink sink{out.data() + at};
        write(sink, year, month, day, hour, minute, second);
        out.truncate(sink.end - out.constData());
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
    /// A text of the format in both encodings it is written in.
    struct Text
    {
        QString utf16;
        QByteArray utf8;
    };
    struct Piece
    {
        Kind kind = Kind::Literal;
        int width = 1;
        Text text;
    };
    struct Utf16Sink
    {
        QString& out;
        void text(const Text& t) { out += t.utf16; }
        void digits(const char* p, qsizetype n) { out += QLatin1StringView(p, n); }
    };
    // Writes into space reserved for the longest text the format can produce.
    struct Utf8Sink
    {
        char* end;
        void text(const Text& t)
        {
            std::memcpy(end, t.utf8.constData(), static_cast<std::size_t>(t.utf8.size()));
            end += t.utf8.size();
        }
        void digits(const char* p, qsizetype n)
        {
            std::memcpy(end, p, static_cast<std::size_t>(n));
            end += n;
        }
    };

    template <class Sink>
    void write(Sink& sink, int year, int month, int day, int hour, int minute, int second) const
    {
        for (const Piece& p : m_pieces) {
            switch (p.kind) {
            case Kind::Literal:
                sink.text(p.text);
                break;
            case Kind::Day:
                number(sink, day, p.width);
                break;
            case Kind::Month:
                number(sink, month, p.width);
                break;
            case Kind::MonthName:
                sink.text(m_monthNames[month - 1]);
                break;
            case Kind::Year4:
                number(sink, year, 4);
                break;
            case Kind::Year2:
                number(sink, year % 100, 2);
                break;
            case Kind::Hour24:
                number(sink, hour, p.width);
                break;
            case Kind::Hour12:
                number(sink, hour % 12 == 0 ? 12 : hour % 12, p.width);
                break;
            case Kind::Minute:
                number(sink, minute, p.width);
                break;
            case Kind::Second:
                number(sink, second, p.width);
                break;
            case Kind::AmPmUpper:
                sink.text(hour < 12 ? m_amUpper : m_pmUpper);
                break;
            case Kind::AmPmLower:
                sink.text(hour < 12 ? m_amLower : m_pmLower);
                break;
            }
        }
    }

    // Non-negative values below 10^8, zero-padded to width (at most 8), in one piece. The
    // common fields (two digits, four-digit years) take pairs of digits from a table.
    template <class Sink> static void number(Sink& sink, int value, int width)
    {
        static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324"
                                         "25262728293031323334353637383940414243444546474849"
                                         "50515253545556575859606162636465666768697071727374"
                                         "75767778798081828384858687888990919293949596979899";
        if (value >= 0 && value < 100 && width <= 2) {
            const char* pair = kPairs + std::ptrdiff_t{2} * value;
            if (value < 10 && width == 1)
                sink.digits(pair + 1, 1);
            else
                sink.digits(pair, 2);
            return;
        }
        if (value >= 1000 && value < 10000 && width <= 4) {
            char digits[4];
            std::memcpy(digits, kPairs + std::ptrdiff_t{2} * (value / 100), 2);
            std::memcpy(digits + 2, kPairs + std::ptrdiff_t{2} * (value % 100), 2);
            sink.digits(digits, 4);
            return;
        }
        char digits[8];
        int at = 8;
        do {
            digits[--at] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 && at > 0);
        while (8 - at < width && at > 0)
            digits[--at] = '0';
        sink.digits(digits + at, 8 - at);
    }

    bool compile(const QLocale& locale);
    bool verify(const QLocale& locale) const;

    QString m_pattern;
    bool m_valid = false;
    std::vector<Piece> m_pieces;
    std::array<Text, 12> m_monthNames;
    Text m_amUpper, m_pmUpper, m_amLower, m_pmLower;
    qsizetype m_maxUtf8 = 0; ///< the longest UTF-8 text the format writes
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
