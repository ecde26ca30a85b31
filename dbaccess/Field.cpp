#include "Field.h"

#include "DbError.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace norvane::db {

namespace {

const QDate kDayZero(1899, 12, 30);

QString fromRaw(const FieldDef& def, QByteArrayView raw)
{
    return def.isBinary ? QString::fromLatin1(raw) : QString::fromUtf8(raw);
}

std::uint64_t bitValue(QByteArrayView raw)
{
    std::uint64_t v = 0;
    for (const char c : raw)
        v = (v << 8) | static_cast<unsigned char>(c);
    return v;
}

QByteArray bitBytes(std::uint64_t v, int bits)
{
    const int bytes = std::max(1, (bits + 7) / 8);
    QByteArray out(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<char>(v & 0xff);
        v >>= 8;
    }
    return out;
}

// Locale time format without the zone name, which a server value does not carry.
QString plainTimeFormat(const QLocale& locale)
{
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

// The locale's short date format with a four-digit year: a two-digit year shown in a grid
// and typed back would land in the wrong century.
QString fullYearDateFormat(const QLocale& locale)
{
    QString f = locale.dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

// A date/time format pattern compiled once into pieces, so that a value is written by
// appending digits and cached texts instead of interpreting the pattern through QLocale for
// every cell. Only patterns of plain numeric fields, short month names and AM/PM markers
// compile, and only for locales writing ASCII digits; the compiled form is checked against
// QLocale on sample values and dropped on any difference, so callers fall back to QLocale.
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

    bool compile(const QLocale& locale)
    {
        if (locale.zeroDigit() != QLatin1String("0") || m_pattern.contains(QLatin1Char('\'')))
            return false;
        const bool twelveHour = m_pattern.contains(QLatin1Char('a'), Qt::CaseInsensitive);
        const qsizetype size = m_pattern.size();
        for (qsizetype i = 0; i < size;) {
            const QChar c = m_pattern[i];
            qsizetype run = 1;
            while (i + run < size && m_pattern[i + run] == c)
                ++run;
            const char l = c.toLatin1();
            Piece p;
            p.width = static_cast<int>(run);
            if (l == 'A' || l == 'a') {
                const QChar next = i + 1 < size ? m_pattern[i + 1] : QChar();
                if (l == 'A' && next == QLatin1Char('P'))
                    p.kind = Kind::AmPmUpper;
                else if (l == 'a' && next == QLatin1Char('p'))
                    p.kind = Kind::AmPmLower;
                else
                    return false;
                m_pieces.push_back(p);
                i += 2;
                continue;
            }
            const bool letter = (l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z');
            if (!letter) {
                if (m_pieces.empty() || m_pieces.back().kind != Kind::Literal)
                    m_pieces.push_back(Piece{});
                m_pieces.back().text += m_pattern.mid(i, run);
                i += run;
                continue;
            }
            switch (l) {
            case 'd':
                p.kind = Kind::Day;
                break;
            case 'M':
                p.kind = run == 3 ? Kind::MonthName : Kind::Month;
                break;
            case 'y':
                p.kind = run == 4 ? Kind::Year4 : Kind::Year2;
                break;
            case 'H':
                p.kind = Kind::Hour24;
                break;
            case 'h':
                p.kind = twelveHour ? Kind::Hour12 : Kind::Hour24;
                break;
            case 'm':
                p.kind = Kind::Minute;
                break;
            case 's':
                p.kind = Kind::Second;
                break;
            default:
                return false;
            }
            if ((l == 'y' && run != 2 && run != 4) || (l == 'M' && run > 3) ||
                (l != 'y' && l != 'M' && run > 2))
                return false;
            m_pieces.push_back(p);
            i += run;
        }
        for (int m = 1; m <= 12; ++m)
            m_monthNames[m - 1] = locale.toString(QDate(2001, m, 1), QStringLiteral("MMM"));
        m_amUpper = locale.toString(QTime(1, 0), QStringLiteral("AP"));
        m_pmUpper = locale.toString(QTime(13, 0), QStringLiteral("AP"));
        m_amLower = locale.toString(QTime(1, 0), QStringLiteral("ap"));
        m_pmLower = locale.toString(QTime(13, 0), QStringLiteral("ap"));
        return true;
    }

    bool verify(const QLocale& locale) const
    {
        const QDateTime samples[] = {
            QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0), Qt::UTC),
            QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC),
            QDateTime(QDate(2000, 7, 9), QTime(12, 5, 7), Qt::UTC),
            QDateTime(QDate(1000, 10, 20), QTime(9, 10, 11), Qt::UTC),
            QDateTime(QDate(9999, 2, 28), QTime(13, 0, 1), Qt::UTC),
        };
        for (const QDateTime& dt : samples) {
            QString fast;
            append(fast, dt.date().year(), dt.date().month(), dt.date().day(), dt.time().hour(),
                   dt.time().minute(), dt.time().second());
            if (fast != locale.toString(dt, m_pattern))
                return false;
        }
        return true;
    }

    QString m_pattern;
    bool m_valid = false;
    std::vector<Piece> m_pieces;
    QString m_monthNames[12];
    QString m_amUpper, m_pmUpper, m_amLower, m_pmLower;
};

// The default locale's display formats, resolved once per locale rather than per value.
struct LocalFormats
{
    QLocale locale;
    QString decimalPoint;
    CompiledFormat date;
    CompiledFormat time;
    CompiledFormat dateTime;
};

const LocalFormats& localFormats()
{
    thread_local std::unique_ptr<LocalFormats> cached;
    const QLocale current;
    if (!cached || !(cached->locale == current)) {
        auto f = std::make_unique<LocalFormats>();
        f->locale = current;
        f->decimalPoint = current.decimalPoint();
        const QString date = fullYearDateFormat(current);
        const QString time = plainTimeFormat(current);
        f->date = CompiledFormat(current, date);
        f->time = CompiledFormat(current, time);
        f->dateTime = CompiledFormat(current, date + QLatin1Char(' ') + time);
        cached = std::move(f);
    }
    return *cached;
}

QString localTimeFormat()
{
    return localFormats().time.pattern();
}

QString localDateFormat()
{
    return localFormats().date.pattern();
}

// Reads a date in the locale's form, with four or two digits for the year (two digits mean
// 1950 to 2049).
QDate parseLocalDate(const QString& text)
{
    const QLocale locale;
    QDate d = locale.toDate(text, localDateFormat());
    if (d.isValid())
        return d;
    d = locale.toDate(text, QLocale::ShortFormat);
    if (d.isValid() &&
        !QLocale().dateFormat(QLocale::ShortFormat).contains(QLatin1String("yyyy")) &&
        d.year() < 1950)
        d = d.addYears(100);
    return d;
}

QString localDateTimeFormat()
{
    return localFormats().dateTime.pattern();
}

bool hasFraction(QByteArrayView raw)
{
    const qsizetype dot = raw.indexOf('.');
    if (dot < 0)
        return false;
    for (qsizetype i = dot + 1; i < raw.size(); ++i)
        if (raw[i] != '0')
            return true;
    return false;
}

QByteArrayView withoutFraction(QByteArrayView raw)
{
    const qsizetype dot = raw.indexOf('.');
    return dot < 0 ? raw : raw.first(dot);
}

const QRegularExpression& integerPattern()
{
    static const QRegularExpression re(QStringLiteral("^[+-]?\\d+$"));
    return re;
}

const QRegularExpression& numberPattern()
{
    static const QRegularExpression re(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return re;
}

[[noreturn]] void badValue(const QString& text, const char* what)
{
    throw FieldConversionError(
        QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

// Milliseconds of a TIME text such as "-838:59:59.5"; nullopt when it is not one.
std::optional<std::int64_t> timeMillis(QByteArrayView raw)
{
    static const QRegularExpression re(
        QStringLiteral("^(-?)(\\d+):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,6}))?)?$"));
    const auto m = re.match(QString::fromLatin1(raw));
    if (!m.hasMatch())
        return std::nullopt;
    std::int64_t ms = (m.captured(2).toLongLong() * 3600 + m.captured(3).toLongLong() * 60 +
                       m.captured(4).toLongLong()) *
                      1000;
    if (!m.captured(5).isEmpty())
        ms += (m.captured(5) + QStringLiteral("00")).left(3).toLongLong();
    return m.captured(1).isEmpty() ? ms : -ms;
}

// A server DATETIME carries no zone: shown as it stands. Going through the local clock would
// shift times inside a daylight-saving gap and costs a time-zone file lookup per value.
// The parts of a server DATETIME in its fixed form "yyyy-MM-dd HH:mm:ss" (or the date alone,
// at midnight), read digit by digit: a general date parser per value would cost more than the
// rest of the row. Unset when the text is not of that form or not a real date and time.
struct WallClock
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

std::optional<WallClock> wallClockParts(QByteArrayView raw)
{
    auto number = [&raw](qsizetype at, int digits) {
        int n = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            if (i >= raw.size() || raw[i] < '0' || raw[i] > '9')
                return -1;
            n = n * 10 + (raw[i] - '0');
        }
        return n;
    };
    if (!(raw.size() >= 10 && raw[4] == '-' && raw[7] == '-'))
        return std::nullopt;
    WallClock w;
    w.year = number(0, 4);
    w.month = number(5, 2);
    w.day = number(8, 2);
    if (!QDate::isValid(w.year, w.month, w.day))
        return std::nullopt;
    if (raw.size() >= 19 && raw[10] == ' ' && raw[13] == ':' && raw[16] == ':') {
        w.hour = number(11, 2);
        w.minute = number(14, 2);
        w.second = number(17, 2);
        if (!QTime::isValid(w.hour, w.minute, w.second))
            return std::nullopt;
    }
    return w;
}

QDateTime parseDateTime(const QByteArray& raw)
{
    const QString s = QString::fromLatin1(raw);
    QDateTime dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime(QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    if (dt.isValid() && s.size() > 20 && s[19] == QLatin1Char('.'))
        dt = dt.addMSecs((s.mid(20) + QStringLiteral("00")).left(3).toInt());
    return dt;
}

QString localizeNumber(QByteArrayView raw)
{
    QString s = QString::fromLatin1(raw);
    const QString& point = localFormats().decimalPoint;
    if (point != QLatin1String("."))
        s.replace(QLatin1Char('.'), point);
    return s;
}

RawValue numberFromText(const FieldDef& def, const QString& text)
{
    QString s = text.trimmed();
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        s.replace(point, QStringLiteral("."));
    const bool integral = def.type != FieldType::ftFloat && def.type != FieldType::ftFMTBcd &&
                          def.type != FieldType::ftBCD && def.type != FieldType::ftCurrency;
    if (!(integral ? integerPattern() : numberPattern()).match(s).hasMatch())
        badValue(text, integral ? "integer value" : "floating point value");
    if (s.startsWith(QLatin1Char('+')))
        s.remove(0, 1);
    return s.toLatin1();
}

RawValue temporalFromText(const FieldDef& def, const QString& text)
{
    const QString s = text.trimmed();
    const QLocale locale;
    if (def.type == FieldType::ftDate) {
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        if (iso.match(s).hasMatch())
            return s.toLatin1();
        const QDate d = parseLocalDate(s);
        if (!d.isValid())
            badValue(text, "date");
        return d.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
    }
    if (def.type == FieldType::ftTime) {
        if (timeMillis(s.toLatin1()))
            return s.toLatin1();
        const QTime t = locale.toTime(s, localTimeFormat());
        if (!t.isValid())
            badValue(text, "time");
        return t.toString(QStringLiteral("HH:mm:ss")).toLatin1();
    }
    static const QRegularExpression iso(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}([ T]\\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,6})?)?)?$"));
    if (iso.match(s).hasMatch()) {
        QString v = s;
        v.replace(QLatin1Char('T'), QLatin1Char(' '));
        return v.toLatin1();
    }
    QDateTime dt = locale.toDateTime(s, localDateTimeFormat());
    if (!dt.isValid())
        dt = QDateTime(parseLocalDate(s), QTime(0, 0));
    if (!dt.isValid())
        badValue(text, "date and time");
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

} // namespace

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::ftUnknown:
        return QStringLiteral("Unknown");
    case FieldType::ftString:
        return QStringLiteral("String");
    case FieldType::ftSmallint:
        return QStringLiteral("Smallint");
    case FieldType::ftInteger:
        return QStringLiteral("Integer");
    case FieldType::ftWord:
        return QStringLiteral("Word");
    case FieldType::ftBoolean:
        return QStringLiteral("Boolean");
    case FieldType::ftFloat:
        return QStringLiteral("Float");
    case FieldType::ftCurrency:
        return QStringLiteral("Currency");
    case FieldType::ftBCD:
        return QStringLiteral("BCD");
    case FieldType::ftDate:
        return QStringLiteral("Date");
    case FieldType::ftTime:
        return QStringLiteral("Time");
    case FieldType::ftDateTime:
        return QStringLiteral("DateTime");
    case FieldType::ftBytes:
        return QStringLiteral("Bytes");
    case FieldType::ftVarBytes:
        return QStringLiteral("VarBytes");
    case FieldType::ftAutoInc:
        return QStringLiteral("AutoInc");
    case FieldType::ftBlob:
        return QStringLiteral("Blob");
    case FieldType::ftMemo:
        return QStringLiteral("Memo");
    case FieldType::ftLargeint:
        return QStringLiteral("Largeint");
    case FieldType::ftTimeStamp:
        return QStringLiteral("TimeStamp");
    case FieldType::ftFMTBcd:
        return QStringLiteral("FMTBcd");
    }
    return QStringLiteral("Unknown");
}

bool FieldDef::isNumeric() const
{
    switch (type) {
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftBCD:
    case FieldType::ftAutoInc:
    case FieldType::ftLargeint:
    case FieldType::ftFMTBcd:
        return true;
    default:
        return false;
    }
}

Qt::Alignment FieldDef::alignment() const
{
    return (isNumeric() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

int FieldDef::defaultDisplayWidth() const
{
    int width = 10;
    switch (type) {
    case FieldType::ftString:
        width = std::min(size, 64);
        break;
    case FieldType::ftSmallint:
        width = 6;
        break;
    case FieldType::ftWord:
        width = 5;
        break;
    case FieldType::ftInteger:
    case FieldType::ftAutoInc:
        width = 11;
        break;
    case FieldType::ftLargeint:
        width = 20;
        break;
    case FieldType::ftBoolean:
        width = 5;
        break;
    case FieldType::ftFloat:
        width = 15;
        break;
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
    case FieldType::ftCurrency:
        width = std::min(precision + 2, 40);
        break;
    case FieldType::ftDate:
        width = 10;
        break;
    case FieldType::ftTime:
        width = 10;
        break;
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
        width = 19 + (decimals ? decimals + 1 : 0);
        break;
    default:
        width = 10;
        break;
    }
    return std::max({width, static_cast<int>(name.size()), 1});
}

QString displayTextOf(const FieldDef& def, const RawValue& value)
{
    return displayTextOfView(def, value ? std::optional<QByteArrayView>(*value) : std::nullopt);
}

QString displayTextOfView(const FieldDef& def, std::optional<QByteArrayView> value)
{
    switch (def.type) {
    case FieldType::ftMemo:
        return QStringLiteral("(Memo)");
    case FieldType::ftBlob:
    case FieldType::ftBytes:
    case FieldType::ftVarBytes: {
        const QString name = fieldTypeName(def.type);
        return QLatin1Char('(') + (value ? name.toUpper() : name) + QLatin1Char(')');
    }
    default:
        break;
    }
    if (!value)
        return {};
    const QByteArrayView raw = *value;
    switch (def.type) {
    case FieldType::ftBoolean:
        return def.isBit ? (bitValue(raw) ? QStringLiteral("True") : QStringLiteral("False"))
                         : (raw.toLongLong() ? QStringLiteral("True") : QStringLiteral("False"));
    case FieldType::ftFloat:
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
    case FieldType::ftCurrency:
        return localizeNumber(raw);
    case FieldType::ftDate: {
        const LocalFormats& formats = localFormats();
        if (formats.date.valid() && raw.size() == 10) {
            const auto w = wallClockParts(raw);
            if (w && CompiledFormat::fits(w->year)) {
                QString text;
                text.reserve(16);
                formats.date.append(text, w->year, w->month, w->day, 0, 0, 0);
                return text;
            }
        }
        const QDate d = QDate::fromString(QString::fromLatin1(raw), QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? formats.locale.toString(d, formats.date.pattern())
                           : QString::fromLatin1(raw);
    }
    case FieldType::ftTime: {
        const auto ms = timeMillis(raw);
        if (!ms || *ms < 0 || *ms >= 86400000 || hasFraction(raw))
            return QString::fromLatin1(raw);
        const LocalFormats& formats = localFormats();
        const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(*ms));
        if (formats.time.valid()) {
            QString text;
            formats.time.append(text, 2000, 1, 1, t.hour(), t.minute(), t.second());
            return text;
        }
        return formats.locale.toString(t, formats.time.pattern());
    }
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp: {
        if (hasFraction(raw))
            return QString::fromLatin1(raw);
        const auto w = wallClockParts(withoutFraction(raw));
        if (!w)
            return QString::fromLatin1(raw);
        const LocalFormats& formats = localFormats();
        if (formats.dateTime.valid() && CompiledFormat::fits(w->year)) {
            QString text;
            text.reserve(32);
            formats.dateTime.append(text, w->year, w->month, w->day, w->hour, w->minute, w->second);
            return text;
        }
        const QDateTime dt(QDate(w->year, w->month, w->day), QTime(w->hour, w->minute, w->second),
                           Qt::UTC);
        return formats.locale.toString(dt, formats.dateTime.pattern());
    }
    default:
        break;
    }
    if (def.isBit)
        return QString::number(bitValue(raw));
    return fromRaw(def, raw);
}

QString exactTextOf(const FieldDef& def, const RawValue& value)
{
    if (!value)
        return {};
    if (def.isBit)
        return QString::number(bitValue(*value));
    return fromRaw(def, *value);
}

RawValue rawFromText(const FieldDef& def, const QString& text)
{
    const bool blank = text.trimmed().isEmpty();
    if (def.isBit) {
        if (blank)
            return std::nullopt;
        const QString s = text.trimmed();
        std::uint64_t v = 0;
        if (def.type == FieldType::ftBoolean &&
            (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ||
             s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)) {
            v = s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 ? 1 : 0;
        } else {
            bool ok = false;
            v = s.toULongLong(&ok);
            if (!ok || (def.size < 64 && v >> def.size))
                badValue(text, "bit value");
        }
        return bitBytes(v, def.size);
    }
    switch (def.type) {
    case FieldType::ftBoolean: {
        if (blank)
            return std::nullopt;
        const QString s = text.trimmed();
        if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return QByteArrayLiteral("1");
        if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return QByteArrayLiteral("0");
        return numberFromText(def, text);
    }
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftAutoInc:
    case FieldType::ftLargeint:
    case FieldType::ftFloat:
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
    case FieldType::ftCurrency:
        if (blank)
            return std::nullopt;
        return numberFromText(def, text);
    case FieldType::ftDate:
    case FieldType::ftTime:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
        if (blank)
            return std::nullopt;
        return temporalFromText(def, text);
    default:
        break;
    }
    return def.isBinary ? text.toLatin1() : text.toUtf8();
}

Field::Field(RecordAccess* owner, int index, FieldDef def)
    : m_owner(owner), m_index(index), m_def(std::move(def)), m_displayLabel(m_def.name),
      m_displayWidth(m_def.defaultDisplayWidth()), m_alignment(m_def.alignment())
{
}

RawValue Field::rawValue() const
{
    return m_owner->fieldValue(m_index);
}

bool Field::isNull() const
{
    RawValue holder;
    return !m_owner->fieldView(m_index, holder).has_value();
}

std::int64_t Field::asInteger() const
{
    const RawValue v = rawValue();
    if (!v)
        return 0;
    if (m_def.isBit) {
        const std::uint64_t u = bitValue(*v);
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            badValue(QString::number(u), "integer value");
        return static_cast<std::int64_t>(u);
    }
    bool ok = false;
    const std::int64_t i = v->toLongLong(&ok);
    if (ok)
        return i;
    const double d = v->toDouble(&ok);
    if (ok && std::isfinite(d) && std::fabs(d) < 9.2e18)
        return std::llround(d);
    badValue(fromRaw(m_def, *v), "integer value");
}

std::uint64_t Field::asUnsigned() const
{
    const RawValue v = rawValue();
    if (!v)
        return 0;
    if (m_def.isBit)
        return bitValue(*v);
    bool ok = false;
    const std::uint64_t u = v->toULongLong(&ok);
    if (!ok)
        badValue(fromRaw(m_def, *v), "unsigned integer value");
    return u;
}

double Field::asFloat() const
{
    const RawValue v = rawValue();
    if (!v)
        return 0.0;
    if (m_def.isBit)
        return static_cast<double>(bitValue(*v));
    switch (m_def.type) {
    case FieldType::ftDate:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
    case FieldType::ftTime: {
        const QDateTime dt = asDateTime();
        if (!dt.isValid())
            return 0.0;
        return static_cast<double>(kDayZero.daysTo(dt.date())) +
               dt.time().msecsSinceStartOfDay() / 86400000.0;
    }
    default:
        break;
    }
    bool ok = false;
    const double d = v->toDouble(&ok);
    if (!ok)
        badValue(fromRaw(m_def, *v), "floating point value");
    return d;
}

QDateTime Field::asDateTime() const
{
    const RawValue v = rawValue();
    if (!v)
        return {};
    if (m_def.type == FieldType::ftTime) {
        const auto ms = timeMillis(*v);
        if (!ms)
            return {};
        return QDateTime(kDayZero, QTime(0, 0)).addMSecs(*ms);
    }
    return parseDateTime(*v);
}

bool Field::asBoolean() const
{
    const RawValue v = rawValue();
    if (!v)
        return false;
    if (m_def.isBit)
        return bitValue(*v) != 0;
    const QString s = fromRaw(m_def, *v).trimmed();
    if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    bool ok = false;
    const double d = s.toDouble(&ok);
    return ok && d != 0.0;
}

QString Field::asString() const
{
    return exactTextOf(m_def, rawValue());
}

QByteArray Field::asBytes() const
{
    return rawValue().value_or(QByteArray());
}

QString Field::displayText() const
{
    RawValue holder;
    return displayTextOfView(m_def, m_owner->fieldView(m_index, holder));
}

QVariant Field::value() const
{
    const RawValue v = rawValue();
    if (!v)
        return {};
    if (m_def.isBinary && !m_def.isBit)
        return *v;
    switch (m_def.type) {
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftAutoInc:
    case FieldType::ftLargeint:
        if (m_def.isUnsigned || m_def.isBit)
            return QVariant::fromValue<qulonglong>(asUnsigned());
        return QVariant::fromValue<qlonglong>(asInteger());
    case FieldType::ftBoolean:
        return asBoolean();
    case FieldType::ftFloat:
        return asFloat();
    case FieldType::ftDate: {
        const QDate d = QDate::fromString(QString::fromLatin1(*v), QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? QVariant(d) : QVariant(QString::fromLatin1(*v));
    }
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp: {
        const QDateTime dt = parseDateTime(*v);
        return dt.isValid() ? QVariant(dt) : QVariant(QString::fromLatin1(*v));
    }
    default:
        return asString();
    }
}

void Field::setAsString(const QString& text)
{
    setRawValue(rawFromText(m_def, text));
}

void Field::setAsBytes(const QByteArray& bytes)
{
    setRawValue(bytes);
}

void Field::setAsInteger(std::int64_t value)
{
    setAsString(QString::number(value));
}

void Field::setAsFloat(double value)
{
    setRawValue(QByteArray::number(value, 'g', 17));
}

void Field::setAsBoolean(bool value)
{
    if (m_def.type == FieldType::ftBoolean)
        setAsString(value ? QStringLiteral("True") : QStringLiteral("False"));
    else
        setAsString(value ? QStringLiteral("1") : QStringLiteral("0"));
}

void Field::setNull()
{
    setRawValue(std::nullopt);
}

void Field::setRawValue(const RawValue& value)
{
    if (m_readOnly)
        throw DbError(QStringLiteral("Field '%1' cannot be modified").arg(m_def.name));
    m_owner->setFieldValue(m_index, value);
}

} // namespace norvane::db
