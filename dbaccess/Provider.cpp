#include "Provider.h"

#include "SqlLiterals.h"

#include <QCryptographicHash>

#include <mysql.h>

namespace norvane::db {

namespace {

// Values longer than this are matched by length and SHA-256 rather than by a literal copy, so
// a row with a 16 MB object does not turn into a 32 MB WHERE clause.
constexpr qsizetype kLiteralMatchLimit = 65536;

const QString kNotFound = QStringLiteral("Record not found or changed by another user");
const QString kTooMany = QStringLiteral("Update affected more than 1 record.");

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
        throw DbError(QStringLiteral("The connection was lost before the changes were saved"));
    if (m_inSavepoint)
        c.execute(QByteArrayLiteral("RELEASE SAVEPOINT norvane_apply"));
    else if (m_inTransaction)
        c.execute(QByteArrayLiteral("COMMIT"));
    m_inSavepoint = m_inTransaction = false;
}

void Provider::rollbackApply() noexcept
{
    try {
        Connection& c = connection();
        if (c.isConnected()) {
            if (m_inSavepoint)
                c.execute(QByteArrayLiteral("ROLLBACK TO SAVEPOINT norvane_apply"));
            else if (m_inTransaction)
                c.execute(QByteArrayLiteral("ROLLBACK"));
        }
    } catch (...) {
        // A session that is gone has rolled back on the server already.
    }
    m_inSavepoint = m_inTransaction = false;
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
    Connection& c = connection();
    const QByteArray sql = statementFor(change);
    const bool checked = change.kind != ChangeKind::Insert;
    // Without a transaction to roll back, make sure first that exactly one row matches.
    if (checked && !isTransactionalEngine(m_source->engine()))
        checkSingleRow(whereAll(change.original));
    const ExecResult r = c.execute(sql);
    if (checked) {
        // Found rows, not changed rows: saving a row with the values it holds is no conflict.
        if (r.affectedRows == 0)
            throw DbError(kNotFound);
        if (r.affectedRows > 1)
            throw DbError(kTooMany);
    }
    if (change.kind == ChangeKind::Delete)
        return std::nullopt;
    return readBack(change);
}

std::optional<PackedRow> Provider::selectOne(const QByteArray& where)
{
    if (where.isEmpty())
        return std::nullopt;
    ResultPtr res =
        connection().query("SELECT * FROM " + tableRef() + " WHERE " + where + " LIMIT 1");
    if (!res || mysql_num_fields(res.get()) != fieldDefs().size())
        return std::nullopt;
    MYSQL_ROW row = mysql_fetch_row(res.get());
    if (!row)
        return std::nullopt;
    return PackedRow::fromArrays(row, mysql_fetch_lengths(res.get()),
                                 static_cast<int>(mysql_num_fields(res.get())));
}

std::optional<PackedRow> Provider::readBack(const Change& change)
{
    const auto& defs = fieldDefs();
    if (change.kind == ChangeKind::Insert) {
        const std::uint64_t id = connection().lastInsertId();
        for (std::size_t i = 0; i < defs.size() && id != 0; ++i) {
            if (!defs[i].autoIncrement)
                continue;
            const RawValue given = change.current.value(static_cast<int>(i));
            const bool generated =
                i >= change.assigned.size() || !change.assigned[i] || !given || *given == "0";
            if (generated)
                return selectOne(ident(defs[i].originalName) + " = " +
                                 QByteArray::number(qulonglong(id)));
        }
    }
    if (const QByteArray key = whereKey(change.current); !key.isEmpty())
        return selectOne(key);
    if (change.kind == ChangeKind::Insert) {
        QByteArrayList terms;
        for (std::size_t i = 0; i < defs.size(); ++i)
            if (i < change.assigned.size() && change.assigned[i])
                terms.append(columnMatch(defs[i], change.current.value(static_cast<int>(i))));
        return terms.isEmpty() ? std::nullopt : selectOne(terms.join(" AND "));
    }
    return selectOne(whereAll(change.current));
}

} // namespace norvane::db
