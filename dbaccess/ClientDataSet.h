#pragma once
/// The cached dataset (`cds...`): rows fetched in packets, edited in memory and applied.

#include "Field.h"
#include "PackedRow.h"
#include "Provider.h"
#include "persist/LargeBlock.h"
#include "persist/ReentryGuard.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace norvane::db {

enum class DataSetState
{
    Inactive,
    Browse,
    Edit,
    Insert
};

/// A position that survives fetching more rows; invalid when default-constructed.
struct Bookmark
{
    std::uint32_t recordId = 0;
    bool isValid() const { return recordId != 0; }
};

/// What a held row's last change came to, for the marks a grid shows.
enum class RowStatus
{
    Saved,       ///< as on the server (or never changed)
    Pending,     ///< posted, not yet applied
    Refused,     ///< the server refused it (or its fate is unknown); not sent again until reposted
    Unidentified ///< saved, but the server's copy cannot be told apart from other rows
};

/// The kind of a failed change passed to the reconcile-error handler.
struct ReconcileInfo
{
    QString message;
    ChangeKind kind = ChangeKind::Modify;
};

/// Rows of a provider held in memory, `PacketRecords` at a time as the cursor moves past the
/// rows held. Edits, inserts and deletes become pending changes until `applyUpdates`.
///
/// The beginning and end flags: both set while closed or empty; `first()` sets the beginning
/// flag, `last()` the end flag; a move that tries to go before the first row sets the
/// beginning flag, past the last row the end flag; any other move clears both.
///
/// Handlers (`afterPost`, `afterDelete`, `onReconcileError`) are plain callbacks: an exception
/// they throw travels on to the caller of post/delete/apply. Data-aware controls listen to the
/// signals, which carry no exceptions.
class ClientDataSet : public QObject, private RecordAccess
{
    Q_OBJECT

public:
    explicit ClientDataSet(QObject* parent = nullptr);
    ~ClientDataSet() override;

    void setProvider(Provider* provider) { m_provider = provider; }
    Provider* provider() const { return m_provider; }
    void setPacketRecords(int rows) { m_packetRecords = rows; }
    int packetRecords() const { return m_packetRecords; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }

    /// Opens the provider's source when needed and takes the first packet.
    void open();
    void close();
    bool active() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }

    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void first();
    void prior();
    void next();
    /// Fetches every remaining row (in large pages), then moves to the last row.
    void last();
    /// Moves by `distance` rows; returns how far it moved.
    int moveBy(int distance);
    /// 1-based number of the current row; 0 when empty or closed.
    int recNo() const;
    void setRecNo(int recNo);
    /// Rows held in the cache (not the rows on the server).
    int recordCount() const { return static_cast<int>(m_rows.size()); }
    /// 0-based index of the current row, -1 when none.
    int currentRow() const { return m_current; }
    /// True when the provider has no more rows to give.
    bool allFetched() const { return m_allFetched; }
    /// Fetches one more packet; returns the number of rows added.
    int fetchMore();
    /// Fetches every remaining row (`readAhead` first), waiting for a background read's end.
    void fetchAll();
    /// Before a walk to the end: a table read in pages reads the rows not fetched yet in one
    /// statement in the background, while the walk takes them as they arrive
    /// (`SqlSource::readRestInBackground`).
    void readAhead(bool reported = true);

    void edit();
    /// A new row before the current one.
    void insert();
    /// A new row after the last one (fetches the remaining rows first).
    void append();
    void post();
    void cancel();
    /// Deletes the current row; on a new unposted row only discards it (no after-delete).
    void deleteRecord();
    /// Posts when editing or inserting.
    void checkBrowseMode();

    int changeCount() const { return static_cast<int>(m_changes.size()); }
    /// Applies the changes posted since their last attempt as one unit, each change inside its
    /// own savepoint; returns the number of errors. A change the server refuses stays pending,
    /// marked `RowStatus::Refused` with the server's message, and is not sent again until its
    /// row is posted again (`post` on that row, `repostRefused`). When more than `maxErrors`
    /// fail (any, for 0; -1 = no limit), or the reconcile handler throws, the unit is rolled
    /// back and the other changes stay pending with the user's values; a change that ran where
    /// the rollback cannot undo it (a table without transactions) counts as applied. When the
    /// session drops during the COMMIT the rows are read back by key and a `DbError` tells
    /// what the server holds; nothing is sent again blindly.
    int applyUpdates(int maxErrors);
    /// Forgets all pending changes and restores the values as fetched.
    void cancelUpdates();

    /// False while the dataset cannot write changes: read-only, closed, or its source closed
    /// (after log off the rows stay visible but cannot be changed).
    bool canModify() const;
    RowStatus rowStatus(int row) const;
    /// The server's message for a refused row, or why an unidentified row cannot be changed.
    QString rowMessage(int row) const;
    /// Number of pending changes the server refused (rows marked `RowStatus::Refused`).
    int refusedCount() const;
    /// Marks every refused change as posted again, for the next `applyUpdates`.
    void repostRefused();
    /// Forgets the current row's pending change and shows the row as the server holds it now
    /// (a new row that never reached the server goes; a row gone from the server goes too).
    /// On a new row not yet posted it only discards that row.
    void revertRow();

    Bookmark bookmark() const;
    bool bookmarkValid(const Bookmark& mark) const;
    /// Throws `DbError` "Record not found" when the row is gone.
    void gotoBookmark(const Bookmark& mark);

    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    Field& field(int index);
    Field* findField(const QString& name);
    Field& fieldByName(const QString& name);
    const std::vector<std::unique_ptr<Field>>& fields() const { return m_fields; }

    /// Values of any held row without moving the cursor (for grid models). The current row
    /// shows its edit buffer while editing.
    RawValue rawValue(int row, int column) const;
    QString displayText(int row, int column) const;
    bool isNull(int row, int column) const;
    /// A held value in place, valid until the row or the edit buffer changes; nullopt is NULL.
    std::optional<QByteArrayView> valueView(int row, int column) const;
    /// Every value of a held row in place, read in one pass (for walks over whole rows).
    void rowViews(int row, std::vector<std::optional<QByteArrayView>>& out) const;
    /// True when the held row has a change not yet applied.
    bool rowHasPendingChange(int row) const;

    std::function<void(ClientDataSet&)> afterPost;
    std::function<void(ClientDataSet&)> afterDelete;
    /// Given the failed change; throwing abandons the apply (rolled back, all stays pending).
    std::function<void(ClientDataSet&, const ReconcileInfo&)> onReconcileError;

signals:
    void stateChanged(norvane::db::DataSetState state);
    /// The current row changed (0-based, -1 for none).
    void currentRowChanged(int row);
    /// Values of one held row changed (edit buffer, post, cancel, apply, read-back).
    void rowChanged(int row);
    /// Rows were added to the cache at `first` (fetched packets, a new row).
    void rowsInserted(int first, int count);
    void rowsRemoved(int first, int count);
    /// Everything changed (open, close, cancelUpdates, enableControls after a suspension).
    void layoutReset();

private:
    struct Record
    {
        PackedRow row;
        std::uint32_t id = 0;
    };

    RawValue fieldValue(int index) const override;
    std::optional<QByteArrayView> fieldView(int index, RawValue& holder) const override;
    void setFieldValue(int index, const RawValue& value) override;

    void checkActive() const;
    void checkCanWrite() const;
    void checkIdentified(const Record& rec) const;
    struct PendingChange;
    void finishApply(const std::vector<std::size_t>& queue,
                     std::vector<std::optional<PackedRow>>& results, const std::vector<bool>& ran,
                     bool keepRan);
    void settleUnknownCommit(const std::vector<std::size_t>& queue,
                             std::vector<std::optional<PackedRow>>& results,
                             const std::vector<bool>& ran);
    void putBack(PendingChange& pc);
    void dropRow(int at);
    QByteArray keyOf(const PackedRow& row) const;
    void holdKey(const PackedRow& row);
    bool ensureRow(int row);
    /// False, once, where a background read that was stopped or failed left off; then true,
    /// the rest to be read in pages.
    bool continueRead();
    int fetchPacket();
    void takeArrivedRows();
    void noteFetchEnd(bool gotRows);
    /// Waits for more rows of a background read; false when none can come.
    bool waitForArrivals();
    int appendRows(std::vector<PackedRow> rows);
    std::vector<PackedRow> take(std::size_t rows);
    void setCurrent(int row);
    void beginNewRow(int at);
    void setState(DataSetState state);
    int findChange(std::uint32_t recordId) const;
    int findRow(std::uint32_t recordId) const;
    void buildFields();
    void notifyReset();
    void notifyRow(int row);

    Provider* m_provider = nullptr;
    int m_packetRecords = 100;
    bool m_readOnly = false;
    DataSetState m_state = DataSetState::Inactive;
    std::vector<Record, LargeBlockAllocator<Record>> m_rows;
    std::vector<RowArena::Ptr> m_arenas;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    bool m_allFetched = true;
    bool m_readEndPassed = false; ///< a walk ended where a stopped or failed read left off
    std::uint32_t m_nextId = 1;
    QMetaObject::Connection m_arrivals;

    std::vector<RawValue> m_editBuffer;
    std::vector<bool> m_assigned;
    bool m_editModified = false;

    struct PendingChange
    {
        Change change;
        std::uint32_t recordId = 0;
        int position = 0; ///< where a deleted row stood, to put it back on cancel
        bool refused = false;
        QString message;
    };
    std::vector<PendingChange> m_changes;

    std::vector<std::unique_ptr<Field>> m_fields;
    int m_disableCount = 0;
    bool m_resetWhileDisabled = false;
    ReentryGuard m_applying;
    std::vector<int> m_keyFields; ///< key columns of a keyset-paged source
    /// Keys of rows written from here while paging had not reached them: a later page skips
    /// them, so each server row is held once.
    QSet<QByteArray> m_heldKeys;
    /// Saved rows that cannot be found on the server again, with the reason.
    QHash<std::uint32_t, QString> m_unidentified;
};

} // namespace norvane::db
