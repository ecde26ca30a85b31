#include "ResultFields.h"

#include <mariadb_ctype.h>
#include <mysql.h>

#include <algorithm>

namespace norvane::db {

namespace {

/// MariaDB sends a JSON column as LONGTEXT and names the format in the extended metadata.
bool isJsonFormat(const MYSQL_FIELD& f)
{
    MARIADB_CONST_STRING format{};
    return mariadb_field_attr(&format, &f, MARIADB_FIELD_ATTR_FORMAT_NAME) == 0 &&
           QByteArrayView(format.str, static_cast<qsizetype>(format.length))
                   .compare("json", Qt::CaseInsensitive) == 0;
}

} // namespace

FieldDef fieldDefOf(const MYSQL_FIELD& f)
{
    FieldDef d;
    d.name = QString::fromUtf8(f.name, static_cast<qsizetype>(f.name_length));
    d.originalName = QString::fromUtf8(f.org_name, static_cast<qsizetype>(f.org_name_length));
    d.table = QString::fromUtf8(f.org_table, static_cast<qsizetype>(f.org_table_length));
    d.mysqlType = f.type;
    d.flags = f.flags;
    d.isUnsigned = f.flags & UNSIGNED_FLAG;
    d.notNull = f.flags & NOT_NULL_FLAG;
    d.inPrimaryKey = f.flags & PRI_KEY_FLAG;
    d.autoIncrement = f.flags & AUTO_INCREMENT_FLAG;
    d.decimals = static_cast<int>(f.decimals);
    // Numbers and dates report the binary character set too; only strings and objects with it
    // hold byte data.
    const bool binaryCharset = f.charsetnr == 63;
    int charWidth = 1;
    if (!binaryCharset) {
        if (const MARIADB_CHARSET_INFO* cs = mariadb_get_charset_by_nr(f.charsetnr))
            charWidth = static_cast<int>(std::max(1U, cs->char_maxlen));
    }
    const int chars = static_cast<int>(f.length / static_cast<unsigned long>(charWidth));
    switch (f.type) {
    case MYSQL_TYPE_TINY:
        d.type = FieldType::ftSmallint;
        break;
    case MYSQL_TYPE_SHORT:
        d.type = d.isUnsigned ? FieldType::ftWord : FieldType::ftSmallint;
        break;
    case MYSQL_TYPE_INT24:
        d.type = FieldType::ftInteger;
        break;
    case MYSQL_TYPE_LONG:
        d.type = d.isUnsigned      ? FieldType::ftLargeint
                 : d.autoIncrement ? FieldType::ftAutoInc
                                   : FieldType::ftInteger;
        break;
    case MYSQL_TYPE_LONGLONG:
        d.type = FieldType::ftLargeint;
        break;
    case MYSQL_TYPE_YEAR:
        d.type = FieldType::ftSmallint;
        break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
        d.type = FieldType::ftFloat;
        break;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        d.type = FieldType::ftFMTBcd;
        d.precision =
            static_cast<int>(f.length) - (d.decimals > 0 ? 1 : 0) - (d.isUnsigned ? 0 : 1);
        d.size = d.decimals;
        break;
    case MYSQL_TYPE_BIT:
        d.isBit = true;
        d.isBinary = true;
        d.size = static_cast<int>(f.length);
        d.type = f.length == 1 ? FieldType::ftBoolean : FieldType::ftLargeint;
        break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
        d.type = FieldType::ftDate;
        break;
    case MYSQL_TYPE_TIME:
        d.type = FieldType::ftTime;
        break;
    case MYSQL_TYPE_DATETIME:
        d.type = FieldType::ftDateTime;
        break;
    case MYSQL_TYPE_TIMESTAMP:
        d.type = FieldType::ftTimeStamp;
        break;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_GEOMETRY:
        d.isBinary = binaryCharset || f.type == MYSQL_TYPE_GEOMETRY;
        d.type = d.isBinary ? FieldType::ftBlob : FieldType::ftMemo;
        d.size = d.isBinary ? 0 : chars;
        d.isJson = !d.isBinary && isJsonFormat(f);
        break;
    case MYSQL_TYPE_JSON:
        d.type = FieldType::ftMemo;
        break;
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
        d.type = FieldType::ftString;
        d.isEnumOrSet = true;
        d.size = chars;
        break;
    default:
        if (f.flags & (ENUM_FLAG | SET_FLAG)) {
            d.type = FieldType::ftString;
            d.isEnumOrSet = true;
            d.size = chars;
        } else if (binaryCharset) {
            d.isBinary = true;
            d.type = f.type == MYSQL_TYPE_STRING ? FieldType::ftBytes : FieldType::ftVarBytes;
            d.size = static_cast<int>(f.length);
        } else {
            d.type = FieldType::ftString;
            d.size = chars;
        }
        break;
    }
    return d;
}

} // namespace norvane::db
