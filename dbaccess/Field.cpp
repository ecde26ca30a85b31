// Field definitions and the field bound to the current record.
#include "Field.h"

#include "DbError.h"
#include "ServerText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace norvane::db {

namespace {

constexpr double kMsecsPerDay = 86400000.0;

/// True when a DATETIME text has fraction digits below the millisecond that are not zero
/// ("yyyy-MM-dd HH:mm:ss.ffffff": they start at the 24th character).
bool finerThanMilliseconds(QByteArrayView raw)
{
    for (qsizetype i = 23; i < raw.size(); ++i)
        if (raw[i] != '0')
            return true;
    return false;
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
        const std::uint64_t u = bitNumber(*v);
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
        return bitNumber(*v);
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
        return static_cast<double>(bitNumber(*v));
    switch (m_def.type) {
    case FieldType::ftDate:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp: {
        // From the server's digits: the local clock may skip the time (a daylight-saving gap).
        const auto parts = dateAndTimeOf(*v);
        if (!parts)
            badValue(fromRaw(m_def, *v), "date");
        return static_cast<double>(kDayZero.daysTo(parts->date)) + parts->msecs / kMsecsPerDay;
    }
    case FieldType::ftTime: {
        const auto ms = timeMillis(*v);
        if (!ms)
            badValue(fromRaw(m_def, *v), "time");
        return static_cast<double>(*ms) / kMsecsPerDay;
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
    const auto parts = dateAndTimeOf(*v);
    if (!parts)
        return {};
    return QDateTime(parts->date, QTime::fromMSecsSinceStartOfDay(parts->msecs));
}

bool Field::asBoolean() const
{
    const RawValue v = rawValue();
    if (!v)
        return false;
    if (m_def.isBit)
        return bitNumber(*v) != 0;
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

QString Field::exportText() const
{
    RawValue holder;
    return exportTextOfView(m_def, m_owner->fieldView(m_index, holder));
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
    case FieldType::ftDate:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp: {
        // A QDate or QDateTime only where it holds the value exactly; the server's text where
        // none can (zero dates, days no calendar has, a local time the clock skips, digits
        // below the millisecond).
        const auto parts = dateAndTimeOf(*v);
        if (parts && m_def.type == FieldType::ftDate)
            return parts->date;
        if (parts && !finerThanMilliseconds(*v)) {
            const QDateTime dt(parts->date, QTime::fromMSecsSinceStartOfDay(parts->msecs));
            if (dt.isValid())
                return dt;
        }
        return QString::fromLatin1(*v);
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
