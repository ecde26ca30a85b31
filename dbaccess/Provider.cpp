#include "Provider.h"

#include "SqlLiterals.h"

#include <QCryptographicHash>

#include <cstring>

#include <mysql.h>

namespace norvane::db {

namespace {

// Values longer than this are matched by length and SHA-256 rather than by a literal copy, so
// a row with a 16 MB object does not turn into a 32 MB WHERE clause.
constexpr qsizetype kLiteralMatchLimit = 65536;

const QString kNotFound = QStringLiteral("Record not found or changed by another user");
const QString kTooMany = QStringLiteral("Update affected more than 1 record.");
const QString kClosed =
    QStringLiteral("The table is closed: its columns are not known, so no change can be written");

bool isTransactionalEngine(const QString& engine)
{
    return engine.compare(QLatin1String("InnoDB"), Qt::CaseInsensitive) == 0 ||
           engine.compare(QLatin1String("XtraDB"), Qt::CaseInsensitive) == 0 ||
           engine.compare(QLatin1String("RocksDB"), Qt::CaseInsensitive) == 0;
}

QByteArray ident(const QString& name)
{
    return Connection::quoteIdentifier(name).toUtf8();
}

// INSERT ... RETURNING hands back the row exactly as stored (defaults, uuid(), triggers); the
// server has it from MariaDB 10.5 on.
bool hasInsertReturning(Connection& c)
{
    st_mysql* h = c.handle();
    if (!h)
        return false;
    const char* info = mysql_get_server_info(h);
    return info && std::strstr(info, "MariaDB") && mysql_get_server_version(h) >= 100500;
}

bool sameRow(const PackedRow& a, const PackedRow& b, int count)
{
    return a.values(count) == b.values(count);
}

bool isText(const FieldDef& def)
{
    return !def.isBinary && (def.type == FieldType::ftString || def.type == FieldType::ftMemo);
}

} // namespace

Provider::Provider(SqlSource* source, QObject* parent) : QObject(parent), m_source(source) {}

void Provider::openSource()
{
    if (!m_source)
        throw DbError(QStringLiteral("%1: Missing data provider or data packet").arg(objectName()));
    // A source whose rows were already taken is run again, so a reopened dataset starts at the
    // first row.
    if (m_source->isActive() && m_source->consumed())
        m_source->close();
    if (!m_source->isActive())
        m_source->open();
}

const std::vector<FieldDef>& Provider::fieldDefs() const
{
    static const std::vector<FieldDef> none;
    return m_source ? m_source->fieldDefs() : none;
}

std::vector<PackedRow> Provider::fetch(std::size_t maxRows)
{
    if (!m_source)
        return {};
    return m_source->takeRows(maxRows);
}

RowArena::Ptr Provider::arena() const
{
    return m_source ? m_source->arena() : nullptr;
}

bool Provider::atEnd() const
{
    return !m_source || m_source->atEnd();
}

bool Provider::isFetching() const
{
    return m_source && m_source->isFetching();
}

void Provider::waitForRows()
{
    if (m_source)
        m_source->waitForRows();
}

void Provider::stopFetch()
{
    if (m_source)
        m_source->stopFetch();
}

Connection& Provider::connection() const
{
    if (!m_source || !m_source->connection())
        throw DbError(QStringLiteral("%1: Missing data provider or data packet").arg(objectName()));
    return *m_source->connection();
}

QByteArray Provider::tableRef() const
{
    if (!m_source || !m_source->isTableMode())
        throw DbError(QStringLiteral("Unable to find table name to apply updates to"));
    return m_source->qualifiedTableName();
}

bool Provider::canWrite() const
{
    return m_source && m_source->isActive() && !m_source->fieldDefs().empty();
}

bool Provider::canUndo() const
{
    return m_source && isTransactionalEngine(m_source->engine());
}

void Provider::beginApply()
{
    Connection& c = connection();
    c.ensureOpen();
    // Never commit behind the user's back: inside their own transaction use a savepoint.
    if (c.inTransaction()) {
        c.execute(QByteArrayLiteral("SAVEPOINT norvane_apply"));
        m_inSavepoint = true;
    } else {
        c.execute(QByteArrayLiteral("START TRANSACTION"));
        m_inTransaction = true;
    }
}

void Provider::commitApply()
{
    Connection& c = connection();
    if (!c.isConnected())
        throw DbError(QStringLiteral("The connection was lost before the changes were saved"), 0,
                      true);
    if (m_inSavepoint)
        c.execute(QByteArrayLiteral("RELEASE SAVEPOINT norvane_apply"));
    else if (m_inTransaction)
        c.execute(QByteArrayLiteral("COMMIT"));
    m_inSavepoint = m_inTransaction = false;
}

bool Provider::rollbackApply() noexcept
{
    bool undone = canUndo();
    try {
        Connection& c = connection();
        if (c.isConnected()) {
            if (m_inSavepoint)
                c.execute(QByteArrayLiteral("ROLLBACK TO SAVEPOINT norvane_apply"));
            else if (m_inTransaction)
                c.execute(QByteArrayLiteral("ROLLBACK"));
            // A trigger may have written to a table without transactions: the server then
            // warns that it could not roll everything back.
            if ((m_inSavepoint || m_inTransaction) && c.handle() &&
                mysql_warning_count(c.handle()) > 0)
                undone = false;
        }
    } catch (...) {
        // A session that is gone has rolled back on the server already.
    }
    m_inSavepoint = m_inTransaction = false;
    return undone;
}

QByteArray Provider::valueLiteral(const FieldDef& def, const QByteArray& value) const
{
    return sqlLiteral(def, value);
}

QByteArray Provider::columnMatch(const FieldDef& def, const RawValue& value) const
{
    const QByteArray col = ident(def.originalName.isEmpty() ? def.name : def.originalName);
    if (!value)
        return col + " IS NULL";
    if (def.type == FieldType::ftFloat) {
        // Single-precision values never equal their decimal text, and the server prints
        // doubles to 15 digits: match both through the same text the server sent.
        return "CAST(" + col + " AS CHAR) = " + textLiteral(*value);
    }
    if (value->size() > kLiteralMatchLimit && (def.isBinary || isText(def))) {
        const QByteArray hash =
            QCryptographicHash::hash(*value, QCryptographicHash::Sha256).toHex();
        const QByteArray expr = def.isBinary ? col : "CONVERT(" + col + " USING utf8mb4)";
        return "(OCTET_LENGTH(" + expr + ") = " + QByteArray::number(value->size()) + " AND SHA2(" +
               expr + ", 256) = '" + hash + "')";
    }
    const QByteArray lit = valueLiteral(def, *value);
    if (isText(def)) {
        // The column's collation may ignore case and accents: compare the exact text, and keep
        // a plain equality for key columns so that their index still finds the row.
        QByteArray exact = col + " = " + lit + " COLLATE utf8mb4_bin";
        if (m_source && m_source->keyColumns().contains(def.originalName, Qt::CaseInsensitive))
            exact = col + " = " + lit + " AND " + exact;
        return exact;
    }
    return col + " = " + lit;
}

QByteArray Provider::whereAll(const PackedRow& row) const
{
    const auto& defs = fieldDefs();
    QByteArrayList terms;
    for (std::size_t i = 0; i < defs.size(); ++i)
        terms.append(columnMatch(defs[i], row.value(static_cast<int>(i))));
    return terms.join(" AND ");
}

QByteArray Provider::whereKey(const PackedRow& row) const
{
    const auto& defs = fieldDefs();
    const QStringList& keys = m_source->keyColumns();
    if (keys.isEmpty())
        return {};
    QByteArrayList terms;
    for (const QString& key : keys) {
        bool found = false;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            if (defs[i].originalName.compare(key, Qt::CaseInsensitive) != 0)
                continue;
            const RawValue v = row.value(static_cast<int>(i));
            if (!v)
                return {};
            terms.append(ident(defs[i].originalName) + " = " + valueLiteral(defs[i], *v));
            found = true;
        }
        if (!found)
            return {};
    }
    return terms.join(" AND ");
}

bool Provider::changed(const Change& change, int index) const
{
    const auto a = change.original.view(index);
    const auto b = change.current.view(index);
    if (a.has_value() != b.has_value())
        return true;
    return a && *a != *b;
}

QByteArray Provider::statementFor(const Change& change) const
{
    const auto& defs = fieldDefs();
    // Without the columns an insert would write a row of defaults and an update nothing sane.
    if (defs.empty())
        throw DbError(kClosed);
    const QByteArray table = tableRef();
    switch (change.kind) {
    case ChangeKind::Insert: {
        QByteArrayList cols;
        QByteArrayList values;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            if (i >= change.assigned.size() || !change.assigned[i])
                continue;
            cols.append(ident(defs[i].originalName));
            const RawValue v = change.current.value(static_cast<int>(i));
            values.append(v ? valueLiteral(defs[i], *v) : QByteArrayLiteral("NULL"));
        }
        return "INSERT INTO " + table + " (" + cols.join(", ") + ") VALUES (" + values.join(", ") +
               ")";
    }
    case ChangeKind::Modify: {
        QByteArrayList sets;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            if (!changed(change, static_cast<int>(i)))
                continue;
            const RawValue v = change.current.value(static_cast<int>(i));
            sets.append(ident(defs[i].originalName) + " = " +
                        (v ? valueLiteral(defs[i], *v) : QByteArrayLiteral("NULL")));
        }
        if (sets.isEmpty() && !defs.empty())
            sets.append(ident(defs[0].originalName) + " = " + ident(defs[0].originalName));
        return "UPDATE " + table + " SET " + sets.join(", ") + " WHERE " +
               whereAll(change.original);
    }
    case ChangeKind::Delete:
        return "DELETE FROM " + table + " WHERE " + whereAll(change.original);
    }
    return {};
}

void Provider::checkSingleRow(const QByteArray& where)
{
    ResultPtr res = connection().query("SELECT COUNT(*) FROM " + tableRef() + " WHERE " + where);
    MYSQL_ROW row = res ? mysql_fetch_row(res.get()) : nullptr;
    const qulonglong n = row && row[0] ? QByteArray(row[0]).toULongLong() : 0;
    if (n == 0)
        throw DbError(kNotFound);
    if (n > 1)
        throw DbError(kTooMany);
}

std::optional<PackedRow> Provider::applyChange(const Change& change)
{
    if (!canWrite())
        throw DbError(kClosed);
    Connection& c = connection();
    // Each change gets its own savepoint, so a change that fails (one that hit several rows
    // included) leaves nothing behind while the others of the unit stay.
    const bool inUnit = m_inSavepoint || m_inTransaction;
    if (inUnit)
        c.execute(QByteArrayLiteral("SAVEPOINT norvane_change"));
    try {
        return writeChange(change);
    } catch (const DbError& e) {
        if (inUnit && !e.connectionLost() && c.isConnected()) {
            try {
                c.execute(QByteArrayLiteral("ROLLBACK TO SAVEPOINT norvane_change"));
            } catch (...) {
                // The unit's own rollback follows; the change's error is the one to report.
            }
        }
        throw;
    }
}

std::optional<PackedRow> Provider::writeChange(const Change& change)
{
    Connection& c = connection();
    const QByteArray sql = statementFor(change);
    if (change.kind == ChangeKind::Insert) {
        if (hasInsertReturning(c))
            return insertReturning(sql);
        c.execute(sql);
        return readBack(change);
    }
    // Without a transaction to roll back, make sure first that exactly one row matches.
    if (!isTransactionalEngine(m_source->engine()))
        checkSingleRow(whereAll(change.original));
    const ExecResult r = c.execute(sql);
    // Found rows, not changed rows: saving a row with the values it holds is no conflict.
    if (r.affectedRows == 0)
        throw DbError(kNotFound);
    if (r.affectedRows > 1)
        throw DbError(kTooMany);
    if (change.kind == ChangeKind::Delete)
        return std::nullopt;
    return readBack(change);
}

std::optional<PackedRow> Provider::insertReturning(const QByteArray& sql)
{
    return onlyRow(connection().query(sql + " RETURNING *"), false);
}

std::optional<PackedRow> Provider::onlyRow(const ResultPtr& res, bool onlyIfSingle) const
{
    if (!res || mysql_num_fields(res.get()) != fieldDefs().size())
        return std::nullopt;
    if (onlyIfSingle && mysql_num_rows(res.get()) != 1)
        return std::nullopt;
    MYSQL_ROW row = mysql_fetch_row(res.get());
    if (!row)
        return std::nullopt;
    return PackedRow::fromArrays(row, mysql_fetch_lengths(res.get()),
                                 static_cast<int>(mysql_num_fields(res.get())));
}

Provider::Outcome Provider::outcomeOf(const Change& change, const std::optional<PackedRow>& written,
                                      std::optional<PackedRow>& serverRow) noexcept
{
    try {
        connection().ensureOpen();
        const int count = static_cast<int>(fieldDefs().size());
        const PackedRow& probe = change.kind == ChangeKind::Delete ? change.original
                                 : written                         ? *written
                                                                   : change.current;
        const QByteArray key = whereKey(probe);
        if (key.isEmpty())
            return Outcome::Unknown;
        serverRow = selectOne(key);
        if (change.kind == ChangeKind::Delete)
            return serverRow ? Outcome::NotSaved : Outcome::Saved;
        if (!serverRow)
            return Outcome::NotSaved;
        if (written)
            return sameRow(*serverRow, *written, count) ? Outcome::Saved : Outcome::NotSaved;
    } catch (...) {
        // No session, no key: nobody can say what the server holds.
    }
    return Outcome::Unknown;
}

std::optional<PackedRow> Provider::refetch(const PackedRow& row)
{
    if (!canWrite())
        throw DbError(kClosed);
    connection().ensureOpen();
    if (const QByteArray key = whereKey(row); !key.isEmpty())
        return selectOne(key);
    return selectOne(whereAll(row), true);
}

std::optional<PackedRow> Provider::selectOne(const QByteArray& where, bool onlyIfSingle)
{
    if (where.isEmpty())
        return std::nullopt;
    ResultPtr res = connection().query("SELECT * FROM " + tableRef() + " WHERE " + where +
                                       (onlyIfSingle ? " LIMIT 2" : " LIMIT 1"));
    return onlyRow(res, onlyIfSingle);
}

std::optional<PackedRow> Provider::readBack(const Change& change)
{
    const auto& defs = fieldDefs();
    if (change.kind == ChangeKind::Insert) {
        const std::uint64_t id = connection().lastInsertId();
        bool keyTyped = !m_source->keyColumns().isEmpty();
        for (std::size_t i = 0; i < defs.size(); ++i) {
            const bool assigned = i < change.assigned.size() && change.assigned[i];
            if (m_source->keyColumns().contains(defs[i].originalName, Qt::CaseInsensitive) &&
                !assigned)
                keyTyped = false;
            if (!defs[i].autoIncrement || id == 0)
                continue;
            const RawValue given = change.current.value(static_cast<int>(i));
            if (!assigned || !given || *given == "0")
                return selectOne(ident(defs[i].originalName) + " = " +
                                 QByteArray::number(qulonglong(id)));
        }
        // The key as the user typed it names the row; a key from a default or a trigger does
        // not, and the typed values may match older rows too: then only a single match counts.
        if (keyTyped)
            if (const QByteArray key = whereKey(change.current); !key.isEmpty())
                return selectOne(key);
        QByteArrayList terms;
        for (std::size_t i = 0; i < defs.size(); ++i)
            if (i < change.assigned.size() && change.assigned[i])
                terms.append(columnMatch(defs[i], change.current.value(static_cast<int>(i))));
        return terms.isEmpty() ? std::nullopt : selectOne(terms.join(" AND "), true);
    }
    if (const QByteArray key = whereKey(change.current); !key.isEmpty())
        return selectOne(key);
    return selectOne(whereAll(change.current));
}

} // namespace norvane::db
