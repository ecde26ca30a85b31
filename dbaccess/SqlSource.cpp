#include "SqlSource.h"

#include "SqlLiterals.h"

#include <mariadb_ctype.h>
#include <mysql.h>

#include <algorithm>

namespace norvane::db {

namespace {

constexpr std::size_t kFirstPage = 100;
constexpr std::size_t kLargestPage = 10000;

/// MariaDB sends a JSON column as LONGTEXT and names the format in the extended metadata.
bool isJsonFormat(const MYSQL_FIELD& f)
{
    MARIADB_CONST_STRING format{};
    return mariadb_field_attr(&format, &f, MARIADB_FIELD_ATTR_FORMAT_NAME) == 0 &&
           QByteArrayView(format.str, static_cast<qsizetype>(format.length))
                   .compare("json", Qt::CaseInsensitive) == 0;
}

FieldDef defFrom(const MYSQL_FIELD& f)
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
            charWidth = std::max(1U, cs->char_maxlen);
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

bool usableAsKey(const FieldDef& d)
{
    // ENUM orders by member number but compares as text; floating point values do not compare
    // equal to their text; large objects have no full-length index.
    return !d.isEnumOrSet && !d.isBit && d.type != FieldType::ftFloat && !d.isLargeObject() &&
           d.type != FieldType::ftUnknown;
}

} // namespace

SqlSource::SqlSource(Connection* connection, QObject* parent)
    : QObject(parent), m_connection(connection)
{
}

SqlSource::~SqlSource() = default;

void SqlSource::setConnection(Connection* connection)
{
    close();
    m_connection = connection;
}

void SqlSource::setSql(const QStringList& lines)
{
    close();
    m_sql = lines;
    m_tableName.clear();
}

void SqlSource::setSql(const QString& text)
{
    setSql(QStringList{text});
}

void SqlSource::clearSql()
{
    setSql(QStringList{});
}

void SqlSource::addSql(const QString& line)
{
    close();
    m_sql.append(line);
    m_tableName.clear();
}

void SqlSource::setTableName(const QString& name, const QString& database)
{
    close();
    m_tableName = name;
    m_tableDatabase = database;
    m_sql.clear();
}

void SqlSource::open()
{
    if (m_active)
        return;
    if (!m_connection)
        throw DbError(QStringLiteral("%1: Missing SQLConnection property").arg(objectName()));
    m_connection->ensureOpen();
    m_pageSize = kFirstPage;
    m_consumed = false;
    m_arena = std::make_shared<RowArena>();
    // A console's USE must not turn the table into another database's table of that name.
    m_database = m_tableDatabase.isEmpty() ? m_connection->currentDatabase() : m_tableDatabase;
    m_allRead = false;
    try {
        if (isTableMode())
            openTable();
        else
            openStatement();
    } catch (...) {
        close();
        throw;
    }
    m_active = true;
}

void SqlSource::close()
{
    // The reader owns the session until its read ends: it is stopped and waited for first.
    if (m_stream) {
        m_stream->stopAndWait();
        m_stream.reset();
    }
    m_active = false;
    m_keyset = false;
    m_allRead = true;
    m_buffer.clear();
    m_arena.reset();
    m_lastKey.clear();
    m_fields.clear();
    m_defs.clear();
    m_keyColumns.clear();
    m_keyIndexes.clear();
    m_engine.clear();
    m_database.clear();
}

QByteArray SqlSource::qualifiedTableName() const
{
    const QByteArray table = Connection::quoteIdentifier(m_tableName).toUtf8();
    if (m_database.isEmpty())
        return table;
    return Connection::quoteIdentifier(m_database).toUtf8() + '.' + table;
}

void SqlSource::openTable()
{
    detectKey();
    if (!m_keyColumns.isEmpty()) {
        m_keyset = true;
        readPage(kFirstPage);
        bool usable = static_cast<int>(m_keyIndexes.size()) == m_keyColumns.size();
        for (int i : m_keyIndexes)
            usable = usable && i >= 0 && usableAsKey(m_defs[static_cast<std::size_t>(i)]);
        if (usable)
            return;
        m_keyset = false;
        m_buffer.clear();
        m_allRead = false;
    }
    readWhole();
}

void SqlSource::openStatement()
{
    const QByteArray sql = m_sql.join(QLatin1Char('\n')).toUtf8();
    const unsigned columns =
        m_userStatements ? m_connection->sendUserQuery(sql) : m_connection->sendQuery(sql);
    if (columns == 0) {
        m_connection->drainResults();
        failNoCursor();
    }
    readResult();
}

void SqlSource::failNoCursor()
{
    throw DbError(QStringLiteral("%1: %2").arg(objectName(),
                                               QStringLiteral("Cursor not returned from Query")));
}

void SqlSource::readWhole()
{
    readWhole("SELECT * FROM " + qualifiedTableName());
}

void SqlSource::readWhole(const QByteArray& select)
{
    m_connection->sendQuery(select);
    readResult();
}

/// Starts the background read of the statement just sent and waits for its first rows. An
/// error within them fails the open, as a statement refused at once does.
void SqlSource::readResult()
{
    ResultPtr res = m_connection->useResult();
    setDefs(res.get());
    m_stream = std::make_unique<ResultStream>(m_connection, std::move(res), fieldCount(), m_arena);
    connect(m_stream.get(), &ResultStream::rowsArrived, this, &SqlSource::rowsAvailable);
    m_stream->start(kFirstPage);
    m_stream->waitForRows(kFirstPage);
    // The first rows are the forward cursor's current row too.
    for (PackedRow& row : m_stream->take(kFirstPage))
        m_buffer.push_back(std::move(row));
    if (m_stream->running()) {
        m_stream->setReported(true);
    } else if (m_stream->error()) {
        const DbError error = *m_stream->error();
        m_stream.reset();
        throw error;
    }
    m_allRead = true;
}

std::size_t SqlSource::pendingRows() const
{
    return m_buffer.size() + (m_stream ? m_stream->waiting() : 0);
}

bool SqlSource::isFetching() const
{
    return m_stream && m_stream->running();
}

void SqlSource::waitForRows()
{
    if (m_stream)
        m_stream->waitForMore();
}

void SqlSource::stopFetch()
{
    if (m_stream)
        m_stream->stopAndWait();
}

bool SqlSource::incomplete() const
{
    return m_stream && m_stream->incomplete();
}

void SqlSource::detectKey()
{
    m_keyColumns.clear();
    ResultPtr keys;
    try {
        keys = m_connection->query("SHOW KEYS FROM " + qualifiedTableName());
    } catch (const DbError& e) {
        if (e.connectionLost())
            throw;
        return; // not a base table (a view): the SELECT reports any real problem
    }
    if (!keys)
        return;
    // Columns: Table, Non_unique, Key_name, Seq_in_index, Column_name, Collation,
    // Cardinality, Sub_part, Packed, Null, Index_type, ...
    struct Key
    {
        QString name;
        QStringList columns;
        bool usable = true;
    };
    std::vector<Key> candidates;
    while (MYSQL_ROW row = mysql_fetch_row(keys.get())) {
        if (!row[1] || QByteArray(row[1]) != "0")
            continue;
        const QString keyName = QString::fromUtf8(row[2]);
        if (candidates.empty() || candidates.back().name != keyName)
            candidates.push_back({keyName, {}, true});
        Key& k = candidates.back();
        k.columns.append(QString::fromUtf8(row[4] ? row[4] : ""));
        const bool prefix = row[7] != nullptr;
        const bool nullable = row[9] && QByteArray(row[9]) == "YES";
        const bool btree = !row[10] || QByteArray(row[10]) == "BTREE";
        if (prefix || nullable || !btree || !row[4])
            k.usable = false;
    }
    auto pick = std::find_if(candidates.begin(), candidates.end(), [](const Key& k) {
        return k.usable && k.name == QLatin1String("PRIMARY");
    });
    if (pick == candidates.end())
        pick = std::find_if(candidates.begin(), candidates.end(),
                            [](const Key& k) { return k.usable; });
    if (pick != candidates.end())
        m_keyColumns = pick->columns;

    ResultPtr engine = m_connection->query(
        "SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA = " +
        (m_database.isEmpty() ? QByteArray("DATABASE()") : textLiteral(m_database.toUtf8())) +
        " AND TABLE_NAME = " + textLiteral(m_tableName.toUtf8()));
    if (engine) {
        if (MYSQL_ROW row = mysql_fetch_row(engine.get()))
            m_engine = row[0] ? QString::fromUtf8(row[0]) : QString();
    }
}

void SqlSource::setDefs(st_mysql_res* res)
{
    if (!m_defs.empty())
        return;
    const unsigned n = mysql_num_fields(res);
    const MYSQL_FIELD* fields = mysql_fetch_fields(res);
    m_defs.reserve(n);
    for (unsigned i = 0; i < n; ++i)
        m_defs.push_back(defFrom(fields[i]));
    m_fields.clear();
    for (unsigned i = 0; i < n; ++i)
        m_fields.push_back(std::make_unique<Field>(static_cast<RecordAccess*>(this),
                                                   static_cast<int>(i), m_defs[i]));
    m_keyIndexes.clear();
    for (const QString& key : std::as_const(m_keyColumns)) {
        int found = -1;
        for (unsigned i = 0; i < n; ++i)
            if (m_defs[i].originalName.compare(key, Qt::CaseInsensitive) == 0)
                found = static_cast<int>(i);
        m_keyIndexes.push_back(found);
    }
}

QByteArray SqlSource::literalFor(int fieldIndex, const QByteArray& value) const
{
    return sqlLiteral(m_defs[static_cast<std::size_t>(fieldIndex)], value);
}

QByteArray SqlSource::keyRangeCondition() const
{
    // Expanded form: MariaDB scans the index from its start for a row comparison (a, b) > (x, y)
    // but makes a range of "a > x OR (a = x AND b > y)".
    QByteArrayList terms;
    for (std::size_t i = 0; i < m_keyIndexes.size(); ++i) {
        QByteArrayList parts;
        for (std::size_t j = 0; j <= i; ++j) {
            const QByteArray col =
                Connection::quoteIdentifier(m_keyColumns[static_cast<int>(j)]).toUtf8();
            const QByteArray lit = literalFor(m_keyIndexes[j], m_lastKey[j].value_or(QByteArray()));
            parts.append(col + (j == i ? " > " : " = ") + lit);
        }
        terms.append('(' + parts.join(" AND ") + ')');
    }
    return terms.join(" OR ");
}

bool SqlSource::readPage(std::size_t rows)
{
    if (m_allRead)
        return false;
    QByteArray sql = "SELECT * FROM " + qualifiedTableName();
    if (!m_lastKey.empty())
        sql += " WHERE " + keyRangeCondition();
    QByteArrayList order;
    for (const QString& k : std::as_const(m_keyColumns))
        order.append(Connection::quoteIdentifier(k).toUtf8());
    sql += " ORDER BY " + order.join(", ") + " LIMIT " + QByteArray::number(qulonglong(rows));
    ResultPtr res = m_connection->query(sql);
    if (!res)
        failNoCursor();
    setDefs(res.get());
    const int n = fieldCount();
    std::size_t got = 0;
    PackedRow lastRow;
    while (MYSQL_ROW row = mysql_fetch_row(res.get())) {
        m_buffer.push_back(
            PackedRow::fromArrays(row, mysql_fetch_lengths(res.get()), n, m_arena.get()));
        ++got;
    }
    if (got > 0) {
        const PackedRow& last = m_buffer.back();
        m_lastKey.clear();
        for (int idx : m_keyIndexes)
            m_lastKey.push_back(last.value(idx));
    }
    if (got < rows)
        m_allRead = true;
    return got > 0;
}

std::vector<PackedRow> SqlSource::takeRows(std::size_t maxRows)
{
    std::vector<PackedRow> out;
    if (!m_active)
        return out;
    while (m_buffer.size() < maxRows && !m_allRead && m_keyset) {
        // A closed connection (log off) ends the rows; a dropped one is reopened.
        if (!m_connection->isConnected() && !m_connection->wasLost()) {
            m_allRead = true;
            break;
        }
        const std::size_t want = std::max(maxRows - m_buffer.size(), m_pageSize);
        m_pageSize = std::min(m_pageSize * 2, kLargestPage);
        readPage(want);
    }
    const std::size_t n = std::min(maxRows, m_buffer.size());
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(std::move(m_buffer.front()));
        m_buffer.pop_front();
    }
    if (m_stream && out.size() < maxRows) {
        std::vector<PackedRow> more = m_stream->take(maxRows - out.size());
        if (out.empty())
            out = std::move(more);
        else
            std::move(more.begin(), more.end(), std::back_inserter(out));
    }
    m_consumed = m_consumed || !out.empty();
    return out;
}

bool SqlSource::atEnd() const
{
    return !m_active || (m_allRead && m_buffer.empty() && (!m_stream || m_stream->atEnd()));
}

Field& SqlSource::field(int index)
{
    if (index < 0 || index >= fieldCount())
        throw DbError(QStringLiteral("Field index out of range"));
    return *m_fields[static_cast<std::size_t>(index)];
}

Field* SqlSource::findField(const QString& name)
{
    for (auto& f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& SqlSource::fieldByName(const QString& name)
{
    if (Field* f = findField(name))
        return *f;
    throw DbError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
}

bool SqlSource::eof()
{
    if (!m_active)
        return true;
    // The forward cursor takes the background read's rows one wait at a time.
    if (m_buffer.empty() && m_stream) {
        m_stream->waitForRows(1);
        for (PackedRow& row : m_stream->take(m_stream->waiting()))
            m_buffer.push_back(std::move(row));
    }
    if (m_buffer.empty() && !m_allRead && m_keyset) {
        if (!m_connection->isConnected() && !m_connection->wasLost())
            m_allRead = true;
        else
            readPage(m_pageSize);
    }
    return m_buffer.empty();
}

void SqlSource::next()
{
    if (!m_buffer.empty()) {
        m_buffer.pop_front();
        m_consumed = true;
    }
    eof();
}

RawValue SqlSource::fieldValue(int index) const
{
    if (m_buffer.empty())
        return std::nullopt;
    return m_buffer.front().value(index);
}

void SqlSource::setFieldValue(int, const RawValue&)
{
    throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
}

} // namespace norvane::db
