#include "SqlLiterals.h"

#include <mysql.h>

namespace norvane::db {

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

QByteArray sqlLiteral(const Connection& connection, const FieldDef& def, const QByteArray& value)
{
    if (def.isBit) {
        std::uint64_t v = 0;
        for (const char c : value)
            v = (v << 8) | static_cast<unsigned char>(c);
        return QByteArray::number(qulonglong(v));
    }
    if (def.isBinary)
        return Connection::hexLiteral(value);
    const bool numeric = def.isNumeric() || def.mysqlType == MYSQL_TYPE_YEAR ||
                         (def.type == FieldType::ftBoolean && !def.isBit);
    if (numeric && isPlainNumber(value))
        return value;
    return connection.quoteString(value);
}

} // namespace norvane::db
