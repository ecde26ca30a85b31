#pragma once
/// Columns of a result and typed access to the values of the current record.

#include "persist/FieldType.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <Qt>

#include <cstdint>
#include <optional>

namespace norvane::db {

/// A field's data type; the same enumeration the export layer reads.
using FieldType = norvane::FieldType;

/// The name of a type without its "ft" prefix ("Blob", "Memo"), as placeholders use it.
QString fieldTypeName(FieldType type);

/// A value as the server sent it in text form (binary columns as raw bytes); nullopt is NULL.
using RawValue = std::optional<QByteArray>;

/// What is known about one column of a result.
struct FieldDef
{
    QString name;         ///< column name as the server returns it (alias if any)
    QString originalName; ///< the table's column name
    QString table;        ///< the table's name (empty for computed columns)
    FieldType type = FieldType::ftUnknown;
    int mysqlType = 0;     ///< enum_field_types of Connector/C
    int size = 0;          ///< characters for text, digits after the point for decimals
    int precision = 0;     ///< total digits for decimals
    int decimals = 0;      ///< fractional digits (decimals, fractional seconds)
    unsigned flags = 0;    ///< Connector/C column flags
    bool isBinary = false; ///< byte data: BINARY, VARBINARY, BLOB, BIT, GEOMETRY
    bool isUnsigned = false;
    bool notNull = false;
    bool inPrimaryKey = false;
    bool autoIncrement = false;
    bool isEnumOrSet = false;
    bool isBit = false;  ///< BIT(n): bytes on the wire, shown as an unsigned number
    bool isJson = false; ///< a JSON column (MariaDB sends it as LONGTEXT with a format name)

    bool isNumeric() const;
    bool isLargeObject() const { return type == FieldType::ftBlob || type == FieldType::ftMemo; }
    /// Right for numbers, left for everything else.
    Qt::Alignment alignment() const;
    /// A useful width in characters for a grid column.
    int defaultDisplayWidth() const;
};

/// The text a grid shows for a value: numbers with the locale's decimal separator, dates and
/// times in the locale's formats (fractional seconds as the server wrote them), "True"/"False",
/// text objects and JSON as their text, byte data as its kind and size ("(BLOB) 6 bytes"), and
/// an empty text for every null.
QString displayTextOf(const FieldDef& def, const RawValue& value);
/// The same text for a value seen in place (nullopt is NULL).
QString displayTextOfView(const FieldDef& def, std::optional<QByteArrayView> value);
/// What a grid cell draws: the display text, but of a text value only its first line, at most
/// `maxChars` characters, with "…" when anything was left out; only those bytes are decoded, so
/// a long value costs no more to draw than a short one.
QString displayLineOfView(const FieldDef& def, std::optional<QByteArrayView> value,
                          qsizetype maxChars);
/// The exact value as text: the server's text for numbers, dates and strings; bytes as Latin-1.
QString exactTextOf(const FieldDef& def, const RawValue& value);
/// The text every export format writes for a value: the display text, except byte data, which
/// is written whole as "0x" and upper-case hexadecimal.
QString exportTextOfView(const FieldDef& def, std::optional<QByteArrayView> value);
/// Appends the export text of a non-NULL value to `out` as UTF-8: dates and times through the
/// locale's compiled formats straight into the bytes, other values through exportTextOfView.
void appendExportUtf8(const FieldDef& def, QByteArrayView value, QByteArray& out);
/// True when the display text of every value of the field, in the current default locale, is the
/// server's own UTF-8 text: text columns, integers, and decimals where the locale writes ".".
bool displaysServerText(const FieldDef& def);
struct LocalFormats;
/// While one lives, this thread's display and export texts keep the locale it found, without
/// asking for the default locale at every value: for runs over many cells (an export).
class LocaleHold
{
public:
    LocaleHold();
    ~LocaleHold();
    LocaleHold(const LocaleHold&) = delete;
    LocaleHold& operator=(const LocaleHold&) = delete;

private:
    const LocalFormats* m_previous;
};
/// Milliseconds of the server's TIME text ("-838:59:59.5", "12:30"), fractions cut to the
/// millisecond; nullopt when the text is not a TIME.
std::optional<std::int64_t> timeMillis(QByteArrayView raw);
/// A day and the milliseconds since its midnight, without a time zone.
struct DateAndTime
{
    QDate date;
    int msecs = 0;
};
/// The day and time of a DATE or DATETIME text read from the server's digits, fractions cut to
/// the millisecond; nullopt for zero dates, days no calendar has and other text. No time zone is
/// consulted: the server's value carries none.
std::optional<DateAndTime> dateAndTimeOf(QByteArrayView raw);
/// The unsigned number held by the bytes of a BIT column (most significant byte first).
std::uint64_t bitNumber(QByteArrayView raw);
/// The locale's long time format without its time-zone letters ("t"), quoted literals kept.
QString localTimePattern(const QLocale& locale);
/// Converts user text (server form, or the locale's display form for numbers and dates) to the
/// value stored for the field. Throws `FieldConversionError` on text the type cannot hold.
RawValue rawFromText(const FieldDef& def, const QString& text);

/// Where a field reads and writes the value of the current record.
class RecordAccess
{
public:
    virtual ~RecordAccess() = default;
    virtual RawValue fieldValue(int index) const = 0;
    /// The value without copying it, valid until the record or its edit buffer changes; NULL is
    /// nullopt. Owners that cannot lend their bytes copy the value into `holder`.
    virtual std::optional<QByteArrayView> fieldView(int index, RawValue& holder) const
    {
        holder = fieldValue(index);
        return holder ? std::optional<QByteArrayView>(*holder) : std::nullopt;
    }
    /// Throws `DbError` when the owner is read-only or not being edited.
    virtual void setFieldValue(int index, const RawValue& value) = 0;

protected:
    RecordAccess() = default;
    RecordAccess(const RecordAccess&) = default;
    RecordAccess& operator=(const RecordAccess&) = default;
};

/// One column bound to the current record of its dataset or source.
class Field
{
public:
    Field(RecordAccess* owner, int index, FieldDef def);

    const FieldDef& def() const { return m_def; }
    int index() const { return m_index; }
    QString fieldName() const { return m_def.name; }
    QString name() const { return m_def.name; }
    FieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }

    QString displayLabel() const { return m_displayLabel; }
    void setDisplayLabel(const QString& label) { m_displayLabel = label; }
    int displayWidth() const { return m_displayWidth; }
    void setDisplayWidth(int width) { m_displayWidth = width; }
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isBlob() const { return m_def.isLargeObject(); }

    bool isNull() const;
    RawValue rawValue() const;
    /// Throws `FieldConversionError` when the value does not fit a signed 64-bit integer.
    std::int64_t asInteger() const;
    std::uint64_t asUnsigned() const;
    /// Dates and times as day serials (days since 1899-12-30, the time as a fraction of a day);
    /// throws `FieldConversionError` for a date no calendar has (zero dates, 2024-02-00).
    double asFloat() const;
    /// The server's date and time in local time, fractions cut to the millisecond; a TIME as a
    /// day-zero date-time (TIME spans +-838 hours). Invalid for null and for dates no calendar
    /// has; where the local clock skips the time (a daylight-saving gap) Qt marks it invalid,
    /// but its date() and time() still hold the server's digits.
    QDateTime asDateTime() const;
    bool asBoolean() const;
    /// The exact value as text (see `exactTextOf`); empty for null.
    QString asString() const;
    QByteArray asBytes() const;
    QString displayText() const;
    /// The text exports write (see `exportTextOfView`).
    QString exportText() const;
    /// A QVariant for generic consumers: integers, doubles, exact text, bytes; invalid if null.
    /// Dates are a QDate or a local QDateTime only where that holds the value exactly, else
    /// the server's text (zero dates, days no calendar has, times the local clock skips,
    /// fractions below the millisecond).
    QVariant value() const;

    void setAsString(const QString& text);
    void setAsBytes(const QByteArray& bytes);
    void setAsInteger(std::int64_t value);
    void setAsFloat(double value);
    void setAsBoolean(bool value);
    void setNull();
    void setRawValue(const RawValue& value);

private:
    RecordAccess* m_owner;
    int m_index;
    FieldDef m_def;
    QString m_displayLabel;
    int m_displayWidth;
    Qt::Alignment m_alignment;
    bool m_visible = true;
    bool m_readOnly = false;
};

} // namespace norvane::db
