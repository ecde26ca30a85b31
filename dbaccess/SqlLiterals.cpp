#include "SqlLiterals.h"

#include "Connection.h"

#include <mysql.h>

#include <algorithm>

namespace norvane::db {

namespace {

// Far beyond the 65 digits of the widest DECIMAL; a longer written-out number would only be an
// easy way to build a huge statement from a short exponent.
constexpr qsizetype kMaxPlainDigits = 200;

} // namespace

QByteArray textLiteral(const QByteArray& utf8)
{
    return "_utf8mb4 X'" + utf8.toHex() + '\'';
}

bool isPlainNumber(const QByteArray& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '-' || text[i] == '+'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+'))
            ++i;
        qsizetype exp = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9')
            ++i, ++exp;
        if (exp == 0)
            return false;
    }
    return i == n;
}

QByteArray plainDecimal(const QByteArray& number)
{
    if (!isPlainNumber(number))
        return {};
    const qsizetype e = std::max(number.indexOf('e'), number.indexOf('E'));
    if (e < 0)
        return number;
    const QByteArray mantissa = number.left(e);
    qsizetype i = 0;
    QByteArray sign;
    if (mantissa[0] == '-' || mantissa[0] == '+') {
        if (mantissa[0] == '-')
            sign = "-";
        ++i;
    }
    QByteArray digits;
    qsizetype point = -1;
    for (; i < mantissa.size(); ++i) {
        if (mantissa[i] == '.')
            point = digits.size();
        else
            digits += mantissa[i];
    }
    if (point < 0)
        point = digits.size();

    qsizetype j = e + 1;
    const bool negative = number[j] == '-';
    if (number[j] == '-' || number[j] == '+')
        ++j;
    qsizetype exponent = 0;
    for (; j < number.size(); ++j) {
        exponent = exponent * 10 + (number[j] - '0');
        if (exponent > kMaxPlainDigits)
            return {};
    }
    point += negative ? -exponent : exponent;

    QByteArray out;
    if (point <= 0)
        out = "0." + QByteArray(-point, '0') + digits;
    else if (point >= digits.size())
        out = digits + QByteArray(point - digits.size(), '0');
    else
        out = digits.left(point) + '.' + digits.mid(point);
    if (out.size() > kMaxPlainDigits)
        return {};
    return sign + out;
}

QByteArray sqlLiteral(const FieldDef& def, const QByteArray& value)
{
    if (def.isBit)
        return QByteArray::number(qulonglong(bitNumber(value)));
    if (def.isBinary)
        return Connection::hexLiteral(value);
    const bool numeric = def.isNumeric() || def.mysqlType == MYSQL_TYPE_YEAR ||
                         (def.type == FieldType::ftBoolean && !def.isBit);
    if (numeric && isPlainNumber(value)) {
        // An unquoted number with an exponent is a DOUBLE to the server: fine for FLOAT and
        // DOUBLE columns, rounded to 17 digits for DECIMAL and BIGINT ones. Those get the same
        // value written out, which the server reads as an exact decimal.
        if (def.type == FieldType::ftFloat)
            return value;
        if (QByteArray plain = plainDecimal(value); !plain.isEmpty())
            return plain;
        // Longer than any column holds: as text, which the server converts exactly and so
        // refuses as out of range rather than storing a rounded value.
    }
    return textLiteral(value);
}

QByteArray sqlLiteral(const Connection&, const FieldDef& def, const QByteArray& value)
{
    return sqlLiteral(def, value);
}

} // namespace norvane::db
