#include "SqlSource.h"

#include "ResultFields.h"
#include "SqlLiterals.h"

#include <mysql.h>

#include <algorithm>

namespace norvane::db {

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
        m_defs.push_back(fieldDefOf(fields[i]));
    m_fields.clear();
    for (unsigned i = 0; i < n; ++i)
        m_fields.push_back(std::make_unique<Field>(static_cast<RecordAccess*>(this),
                                                   static_cast<int>(i), m_defs[i]));
}

} // namespace norvane::db
