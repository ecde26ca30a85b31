#include "ServerText.h"

#include "DbError.h"
#include "Field.h"

#include <QRegularExpression>

#include <algorithm>

namespace norvane::db {

QString fromRaw(const FieldDef& def, QByteArrayView raw)
{
    return def.isBinary ? QString::fromLatin1(raw) : QString::fromUtf8(raw);
}

std::uint64_t bitNumber(QByteArrayView raw)
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

[[noreturn]] void badValue(const QString& text, const char* what)
{
    throw FieldConversionError(
        QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

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

std::optional<DateAndTime> dateAndTimeOf(QByteArrayView raw)
{
    const auto w = wallClockParts(withoutFraction(raw));
    if (!w)
        return std::nullopt;
    int msecs = ((w->hour * 60 + w->minute) * 60 + w->second) * 1000;
    // The first three digits of the fraction are the milliseconds; the rest is cut.
    if (raw.size() > 20 && raw[19] == '.') {
        int fraction = 0;
        for (qsizetype i = 20; i < 23; ++i) {
            const char c = i < raw.size() ? raw[i] : '0';
            if (c < '0' || c > '9') {
                fraction = 0;
                break;
            }
            fraction = fraction * 10 + (c - '0');
        }
        msecs += fraction;
    }
    return DateAndTime{QDate(w->year, w->month, w->day), msecs};
}

} // namespace norvane::db
