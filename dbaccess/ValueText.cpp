// The texts of a value: what the grid displays, the exact text, the export's cell text, and
// the value stored for text a user typed.
#include "Field.h"

#include "LocalFormats.h"
#include "ServerText.h"

#include <QRegularExpression>

#include <algorithm>
#include <type_traits>

namespace norvane::db {

namespace {

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

QString localizeNumber(QByteArrayView raw)
{
    QString s = QString::fromLatin1(raw);
    const QString& point = localFormats().decimalPoint;
    if (point != QLatin1String("."))
        s.replace(QLatin1Char('.'), point);
    return s;
}

/// Byte data is not shown as text: its kind and its size.
QString byteSummary(const FieldDef& def, QByteArrayView raw)
{
    const QString unit = raw.size() == 1 ? QStringLiteral("byte") : QStringLiteral("bytes");
    return QLatin1Char('(') + fieldTypeName(def.type).toUpper() + QStringLiteral(") ") +
           QString::number(raw.size()) + QLatin1Char(' ') + unit;
}

/// A DATE or DATETIME value that its compiled locale format writes, with its parts.
struct CompiledValue
{
    const CompiledFormat* format = nullptr;
    WallClock parts;

    template <class Out> void appendTo(Out& out) const
    {
        if constexpr (std::is_same_v<Out, QString>)
            format->append(out, parts.year, parts.month, parts.day, parts.hour, parts.minute,
                           parts.second);
        else
            format->appendUtf8(out, parts.year, parts.month, parts.day, parts.hour, parts.minute,
                               parts.second);
    }
};

/// The compiled format for a value when it can write it; nullopt for everything else (other
/// types, fractional seconds, days no calendar has, years outside 1000-9999, locales whose
/// formats do not compile), which takes the general path.
std::optional<CompiledValue> compiledValue(const FieldDef& def, QByteArrayView raw)
{
    const bool date = def.type == FieldType::ftDate;
    if (!date && def.type != FieldType::ftDateTime && def.type != FieldType::ftTimeStamp)
        return std::nullopt;
    const LocalFormats& formats = localFormats();
    const CompiledFormat& format = date ? formats.date : formats.dateTime;
    if (!format.valid() || (date ? raw.size() != 10 : hasFraction(raw)))
        return std::nullopt;
    const auto w = wallClockParts(date ? raw : withoutFraction(raw));
    if (!w || !CompiledFormat::fits(w->year))
        return std::nullopt;
    return CompiledValue{&format, *w};
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
        const QTime t = locale.toTime(s, localFormats().time.pattern());
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
    // Fractional seconds are shown right after the seconds, as the server sent them.
    static const QRegularExpression fraction(QStringLiteral(":\\d{2}(\\.(\\d{1,6}))(?=\\D*$)"));
    const auto f = fraction.match(s);
    const QString whole =
        f.hasMatch() ? QString(s).remove(f.capturedStart(1), f.capturedLength(1)) : s;
    QDateTime dt = locale.toDateTime(whole, localFormats().dateTime.pattern());
    if (!dt.isValid() && !f.hasMatch())
        dt = QDateTime(parseLocalDate(s), QTime(0, 0));
    if (!dt.isValid())
        badValue(text, "date and time");
    QByteArray v = dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    if (f.hasMatch())
        v += '.' + f.captured(2).toLatin1();
    return v;
}

} // namespace

QString displayTextOf(const FieldDef& def, const RawValue& value)
{
    return displayTextOfView(def, value ? std::optional<QByteArrayView>(*value) : std::nullopt);
}

QString displayTextOfView(const FieldDef& def, std::optional<QByteArrayView> value)
{
    if (!value)
        return {};
    const QByteArrayView raw = *value;
    switch (def.type) {
    case FieldType::ftBlob:
    case FieldType::ftBytes:
    case FieldType::ftVarBytes:
        return byteSummary(def, raw);
    case FieldType::ftBoolean:
        return def.isBit ? (bitNumber(raw) ? QStringLiteral("True") : QStringLiteral("False"))
                         : (raw.toLongLong() ? QStringLiteral("True") : QStringLiteral("False"));
    case FieldType::ftFloat:
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
    case FieldType::ftCurrency:
        return localizeNumber(raw);
    case FieldType::ftDate: {
        if (const auto compiled = compiledValue(def, raw)) {
            QString text;
            compiled->appendTo(text);
            return text;
        }
        // Days no calendar has (2024-02-00, zero dates) stay as the server wrote them.
        const auto parts = raw.size() == 10 ? dateAndTimeOf(raw) : std::nullopt;
        const LocalFormats& formats = localFormats();
        return parts ? formats.locale.toString(parts->date, formats.date.pattern())
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
        if (const auto compiled = compiledValue(def, raw)) {
            QString text;
            compiled->appendTo(text);
            return text;
        }
        // Days no calendar has (2024-02-00, zero dates) stay as the server wrote them.
        const QByteArrayView whole = withoutFraction(raw);
        const auto w = wallClockParts(whole);
        if (!w)
            return QString::fromLatin1(raw);
        const LocalFormats& formats = localFormats();
        if (hasFraction(raw)) {
            // Fractional seconds follow the seconds in the server's digits, so the text reads
            // back exactly.
            const QDateTime dt(QDate(w->year, w->month, w->day),
                               QTime(w->hour, w->minute, w->second), Qt::UTC);
            QString text = formats.locale.toString(dt, formats.dateTimeHead) +
                           QString::fromLatin1(raw.sliced(whole.size()));
            if (!formats.dateTimeTail.isEmpty())
                text += formats.locale.toString(dt, formats.dateTimeTail);
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
        return QString::number(bitNumber(raw));
    return fromRaw(def, raw);
}

QString displayLineOfView(const FieldDef& def, std::optional<QByteArrayView> value,
                          qsizetype maxChars)
{
    const bool text =
        !def.isBinary && (def.type == FieldType::ftString || def.type == FieldType::ftMemo);
    if (!value || !text)
        return displayTextOfView(def, value);
    const QByteArrayView raw = *value;
    // A character is at most four bytes: the first maxChars characters lie in this prefix.
    qsizetype cut = std::min(raw.size(), maxChars * 4);
    for (qsizetype i = 0; i < cut; ++i) {
        if (raw[i] == '\n' || raw[i] == '\r') {
            cut = i;
            break;
        }
    }
    // Never cut a character's bytes apart.
    while (cut < raw.size() && cut > 0 && (static_cast<unsigned char>(raw[cut]) & 0xC0) == 0x80)
        --cut;
    QString line = QString::fromUtf8(raw.first(cut));
    bool shortened = cut < raw.size();
    if (line.size() > maxChars) {
        qsizetype keep = maxChars;
        if (line.at(keep - 1).isHighSurrogate())
            --keep;
        line.truncate(keep);
        shortened = true;
    }
    if (shortened)
        line += QChar(0x2026);
    return line;
}

QString exactTextOf(const FieldDef& def, const RawValue& value)
{
    if (!value)
        return {};
    if (def.isBit)
        return QString::number(bitNumber(*value));
    return fromRaw(def, *value);
}

bool displaysServerText(const FieldDef& def)
{
    if (def.isBinary)
        return false;
    switch (def.type) {
    case FieldType::ftString:
    case FieldType::ftMemo:
    case FieldType::ftSmallint:
    case FieldType::ftInteger:
    case FieldType::ftWord:
    case FieldType::ftAutoInc:
    case FieldType::ftLargeint:
        return true;
    case FieldType::ftFloat:
    case FieldType::ftBCD:
    case FieldType::ftFMTBcd:
    case FieldType::ftCurrency:
        return localFormats().decimalPoint == QLatin1String(".");
    default:
        return false;
    }
}

QString exportTextOfView(const FieldDef& def, std::optional<QByteArrayView> value)
{
    if (value && def.isBinary && !def.isBit) {
        // Bytes are data too: written whole as hexadecimal, the way the server's HEX() reads.
        const QByteArray hex = value->toByteArray().toHex().toUpper();
        return QStringLiteral("0x") + QString::fromLatin1(hex);
    }
    return displayTextOfView(def, value);
}

void appendExportUtf8(const FieldDef& def, QByteArrayView value, QByteArray& out)
{
    if (const auto compiled = compiledValue(def, value))
        compiled->appendTo(out);
    else
        out += exportTextOfView(def, value).toUtf8();
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

} // namespace norvane::db
