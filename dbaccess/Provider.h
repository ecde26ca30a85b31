#pragma once
/// The provider (`dsp...`) between a source and a cached dataset: packets of rows one way,
/// generated write-back statements the other.

#include "PackedRow.h"
#include "SqlSource.h"

#include <QObject>

#include <optional>
#include <vector>

namespace norvane::db {

enum class ChangeKind
{
    Insert,
    Modify,
    Delete
};

/// One pending change of a cached dataset.
struct Change
{
    ChangeKind kind = ChangeKind::Modify;
    PackedRow original;         ///< values as fetched (Modify, Delete)
    PackedRow current;          ///< values the user posted (Insert, Modify)
    std::vector<bool> assigned; ///< Insert: columns the user gave a value (others take defaults)
};

/// Fetches rows from its source and writes changes back to the source's table. Every value
/// in generated SQL is a literal that needs no escaping (text and bytes in hexadecimal, numbers
/// checked); the row is found by the values all its columns had when fetched.
class Provider : public QObject
{
    Q_OBJECT

public:
    explicit Provider(SqlSource* source = nullptr, QObject* parent = nullptr);

    void setSource(SqlSource* source) { m_source = source; }
    SqlSource* source() const { return m_source; }

    /// Opens the source when it is not active.
    void openSource();
    const std::vector<FieldDef>& fieldDefs() const;
    /// Up to `maxRows` further rows; none once the source is closed or at its end.
    std::vector<PackedRow> fetch(std::size_t maxRows);
    bool atEnd() const;
    /// The storage of the rows `fetch` returns; keep it while holding them.
    RowArena::Ptr arena() const;

    /// Starts one unit of work: a transaction, or a savepoint inside the user's transaction.
    void beginApply();
    void commitApply();
    /// Rolls back the unit; never throws.
    void rollbackApply() noexcept;
    /// Writes one change. Throws `DbError` with "Record not found or changed by another user",
    /// "Update affected more than 1 record." or the server's message. Returns the row as the
    /// server holds it afterwards when it can be read back.
    std::optional<PackedRow> applyChange(const Change& change);

    /// The statement `applyChange` sends for a change (without the checks around it).
    QByteArray statementFor(const Change& change) const;

private:
    Connection& connection() const;
    QByteArray tableRef() const;
    QByteArray whereAll(const PackedRow& row) const;
    QByteArray whereKey(const PackedRow& row) const;
    QByteArray valueLiteral(const FieldDef& def, const QByteArray& value) const;
    QByteArray columnMatch(const FieldDef& def, const RawValue& value) const;
    bool changed(const Change& change, int index) const;
    std::optional<PackedRow> readBack(const Change& change);
    std::optional<PackedRow> selectOne(const QByteArray& where);
    void checkSingleRow(const QByteArray& where);

    SqlSource* m_source = nullptr;
    bool m_inSavepoint = false;
    bool m_inTransaction = false;
};

} // namespace norvane::db
