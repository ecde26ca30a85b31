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
    /// True while the source reads the rest of its rows in the background.
    bool isFetching() const;
    /// Waits (processing events) until `fetch` has more rows or the background read ended.
    void waitForRows();
    /// Ends the source's background read; the rows read so far stay.
    void stopFetch();
    /// The storage of the rows `fetch` returns; keep it while holding them.
    RowArena::Ptr arena() const;

    /// True while the source is open with its columns known: only then can changes be written.
    bool canWrite() const;

    /// Starts one unit of work: a transaction, or a savepoint inside the user's transaction.
    void beginApply();
    void commitApply();
    /// Rolls back the unit; never throws. Returns false when the rollback could not undo all
    /// that ran in it (a table without transactions, or the session was lost).
    bool rollbackApply() noexcept;
    /// True when a rollback undoes the writes to the source's table (its engine has
    /// transactions).
    bool canUndo() const;
    /// Writes one change inside its own savepoint, rolled back when the change fails. Throws
    /// `DbError` with "Record not found or changed by another user", "Update affected more
    /// than 1 record." or the server's message. Returns the row as the server holds it
    /// afterwards; nullopt when the written row cannot be told apart from other rows (or for
    /// a delete).
    std::optional<PackedRow> applyChange(const Change& change);

    /// What the server holds for a change whose COMMIT had an unknown outcome.
    enum class Outcome
    {
        Saved,
        NotSaved,
        Unknown
    };
    /// Reads the change's row back by its key (reconnecting first) to learn whether the
    /// server holds the change; `written` is the row read back inside the unit, if any.
    /// `serverRow` receives the row the server holds now, when there is one.
    Outcome outcomeOf(const Change& change, const std::optional<PackedRow>& written,
                      std::optional<PackedRow>& serverRow) noexcept;
    /// The row as the server holds it now, found by the key of `row` (or by all its values
    /// when the table has no key and exactly one row matches); nullopt when gone.
    std::optional<PackedRow> refetch(const PackedRow& row);

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
    std::optional<PackedRow> writeChange(const Change& change);
    std::optional<PackedRow> readBack(const Change& change);
    std::optional<PackedRow> insertReturning(const QByteArray& sql);
    /// The one row of a stored result of this table; none when the result has other columns, no
    /// row, or (with `onlyIfSingle`) more than one.
    std::optional<PackedRow> onlyRow(const ResultPtr& res, bool onlyIfSingle) const;
    /// The one row matching `where`; nullopt when none, or when more than one matches and
    /// `onlyIfSingle` is set.
    std::optional<PackedRow> selectOne(const QByteArray& where, bool onlyIfSingle = false);
    void checkSingleRow(const QByteArray& where);

    SqlSource* m_source = nullptr;
    bool m_inSavepoint = false;
    bool m_inTransaction = false;
    bool m_changeSavepoint = false;
};

} // namespace norvane::db
