#pragma once
/// The cached dataset (`cds...`): rows fetched in packets, edited in memory and applied.

#include "Field.h"
#include "PackedRow.h"
#include "Provider.h"
#include "persist/ReentryGuard.h"

#include <QObject>

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
    void fetchAll();

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
    /// Applies the pending changes as one unit; returns the number of errors. When more than
    /// `maxErrors` fail (any, for 0; -1 = no limit), or the reconcile handler throws, the unit
    /// is rolled back and every change stays pending with the user's values.
    int applyUpdates(int maxErrors);
    /// Forgets all pending changes and restores the values as fetched.
    void cancelUpdates();

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
    bool ensureRow(int row);
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
    std::vector<Record> m_rows;
    std::vector<RowArena::Ptr> m_arenas;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    bool m_allFetched = true;
    std::uint32_t m_nextId = 1;

    std::vector<RawValue> m_editBuffer;
    std::vector<bool> m_assigned;
    bool m_editModified = false;

    struct PendingChange
    {
        Change change;
        std::uint32_t recordId = 0;
        int position = 0; ///< where a deleted row stood, to put it back on cancel
    };
    std::vector<PendingChange> m_changes;

    std::vector<std::unique_ptr<Field>> m_fields;
    int m_disableCount = 0;
    bool m_resetWhileDisabled = false;
    ReentryGuard m_applying;
};

} // namespace norvane::db
