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

void SqlSource::setFilter(const QString& condition)
{
    close();
    m_filter = condition;
}

void SqlSource::setSortColumn(const QString& column, bool descending)
{
    close();
    m_sortColumn = column;
    m_sortDescending = descending;
}

void SqlSource::checkFilter(const QString& condition)
{
    KeysetQuery::checkCondition(condition);
    if (condition.trimmed().isEmpty())
        return;
    if (!m_connection || !m_connection->isConnected())
        throw DbError(QStringLiteral("%1: Not connected").arg(objectName()));
    const QString database = !m_tableDatabase.isEmpty() ? m_tableDatabase
                             : m_active                 ? m_database
                                                        : m_connection->currentDatabase();
    m_connection->query(KeysetQuery(qualifiedName(database), condition, {}).probeStatement());
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
    m_query = KeysetQuery();
    m_fields.clear();
    m_defs.clear();
    m_keyColumns.clear();
    m_indexes = TableIndexes();
    m_engine.clear();
    m_rowEstimate.reset();
    m_database.clear();
}

QByteArray SqlSource::qualifiedTableName() const
{
    return qualifiedName(m_database);
}

QByteArray SqlSource::qualifiedName(const QString& database) const
{
    QByteArray table = Connection::quoteIdentifier(m_tableName).toUtf8();
    if (database.isEmpty())
        return table;
    return Connection::quoteIdentifier(database).toUtf8() + '.' + table;
}

std::vector<OrderColumn> SqlSource::pageOrder() const
{
    std::vector<OrderColumn> order;
    bool keyDescending = false;
    if (!m_sortColumn.isEmpty()) {
        order.push_back({m_sortColumn, m_sortDescending});
        // An InnoDB index holds the key after its columns. The key runs the way the index does,
        // read forwards or backwards, so that the index hands the rows out in order: against
        // it (descending column, ascending key over an ascending index) the server sorts every
        // remaining row again for each page.
        if (m_indexes.leads(m_sortColumn))
            keyDescending = m_sortDescending != m_indexes.leadsOnlyDescending(m_sortColumn);
    }
    for (const QString& key : std::as_const(m_keyColumns))
        if (key.compare(m_sortColumn, Qt::CaseInsensitive) != 0)
            order.push_back({key, keyDescending});
    return order;
}

void SqlSource::openTable()
{
    detectKey();
    m_query = KeysetQuery(qualifiedTableName(), m_filter, pageOrder());
    // Pages need the key, and for another order an index that hands rows out in it; otherwise
    // every page would sort the whole table again.
    if (!m_keyColumns.isEmpty() && (m_sortColumn.isEmpty() || m_indexes.leads(m_sortColumn))) {
        m_keyset = true;
        readPage(kFirstPage);
        if (m_query.isBound())
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
    readWhole(m_query.wholeStatement());
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

void SqlSource::readRestInBackground(bool reported)
{
    if (!m_active || !m_keyset || m_allRead || m_stream || !m_query.isBound())
        return;
    // A closed connection (log off) ends the rows, as it does for pages.
    if (!m_connection->isConnected() && !m_connection->wasLost())
        return;
    // The rows after the last one paged in, in the same order and under the same filter: one
    // statement the server streams, instead of a page statement (and its index descent) for
    // every few thousand rows.
    const unsigned columns = m_connection->sendQuery(m_query.restStatement());
    ResultPtr res = m_connection->useResult();
    if (columns != static_cast<unsigned>(fieldCount())) {
        res.reset();
        m_connection->drainResults();
        throw DbError(QStringLiteral("The table's columns changed while it was read; refresh it"));
    }
    m_stream = std::make_unique<ResultStream>(m_connection, std::move(res), fieldCount(), m_arena);
    connect(m_stream.get(), &ResultStream::rowsArrived, this, &SqlSource::rowsAvailable);
    m_stream->setReported(reported);
    m_stream->start(0);
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

void SqlSource::setReadReported(bool reported)
{
    if (m_stream)
        m_stream->setReported(reported);
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

std::optional<DbError> SqlSource::readError() const
{
    if (!incomplete() || m_stream->stopped())
        return std::nullopt;
    return m_stream->error();
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
    m_indexes = indexesFrom(keys.get());
    m_keyColumns = m_indexes.key;

    ResultPtr engine = m_connection->query(
        "SELECT ENGINE, TABLE_ROWS FROM information_schema.TABLES WHERE TABLE_SCHEMA = " +
        (m_database.isEmpty() ? QByteArray("DATABASE()") : textLiteral(m_database.toUtf8())) +
        " AND TABLE_NAME = " + textLiteral(m_tableName.toUtf8()));
    if (engine) {
        if (MYSQL_ROW row = mysql_fetch_row(engine.get())) {
            m_engine = row[0] ? QString::fromUtf8(row[0]) : QString();
            if (row[1])
                m_rowEstimate = QByteArray(row[1]).toULongLong();
        }
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
}

bool SqlSource::readPage(std::size_t rows)
{
    if (m_allRead)
        return false;
    ResultPtr res = m_connection->query(m_query.pageStatement(rows));
    if (!res)
        failNoCursor();
    setDefs(res.get());
    // The first page shows whether the order's columns can start a page.
    if (!m_query.isBound() && !m_query.bind(m_defs))
        return false;
    const int n = fieldCount();
    std::size_t got = 0;
    PackedRow lastRow;
    while (MYSQL_ROW row = mysql_fetch_row(res.get())) {
        m_buffer.push_back(
            PackedRow::fromArrays(row, mysql_fetch_lengths(res.get()), n, m_arena.get()));
        ++got;
    }
    if (got > 0)
        m_query.rememberLast(m_buffer.back());
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
