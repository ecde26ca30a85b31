#pragma once
/// A table model over the rows a cached dataset holds, for the data grids.

#include "DataSource.h"
#include "persist/ReentryGuard.h"

#include <QAbstractTableModel>
#include <QPointer>

#include <vector>

namespace norvane::widgets {

/// Columns are the dataset's visible fields in field order, titled by display label; cells show
/// the display text, aligned as the field says. More packets are fetched as a view scrolls.
/// Cells are edited in place unless the dataset (or the field) is read-only; an edit puts the
/// dataset in edit state, and posting is left to the row change (`DBGrid`). Every dataset error
/// is caught here and goes to the data source's error sink.
class DataGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    /// True for a null value (also for large objects, which still show their placeholder).
    static constexpr int NullRole = Qt::UserRole + 1;
    /// The dataset field index behind a column.
    static constexpr int FieldIndexRole = Qt::UserRole + 2;
    /// The cell's whole display text (Qt::DisplayRole is what the cell draws: of a text value
    /// only its first line); copies and comparisons with exports read this.
    static constexpr int FullTextRole = Qt::UserRole + 3;
    /// The most characters a cell draws of a text value: more than the widest column shows.
    static constexpr qsizetype kMaxDrawnChars = 1024;

    explicit DataGridModel(DataSource* source, QObject* parent = nullptr);

    DataSource* dataSource() const { return m_source; }
    db::ClientDataSet* dataSet() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Writes the text into the current record's edit buffer (moving there first). Text equal
    /// to what the cell holds changes nothing, so untouched values are never rewritten.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    /// Sets the cell to null (the user's "Set to NULL"); false when refused or impossible.
    bool setNull(const QModelIndex& index);
    /// True when the cell can be changed at all (editable dataset and field).
    bool canModify(const QModelIndex& index) const;
    /// The dataset field behind a grid column, -1 when none.
    int fieldIndex(int column) const;
    /// The grid column that shows a dataset field, -1 when it is not visible.
    int columnOfField(int field) const;
    /// Rebuilds columns and rows from the dataset (visible fields may have changed).
    void reload();
    /// True while the model passes a dataset notification on to its views.
    bool isFollowingDataSet() const { return m_following > 0; }

private:
    void rebind();
    void onRowsInserted(int first, int count);
    void onRowsRemoved(int first, int count);
    void onRowChanged(int row);
    void onCurrentRowChanged(int row);
    void onStateChanged();
    void rebuildColumns();
    bool moveTo(int row);
    /// True when the dataset's session runs a statement; the views are asked again at its end.
    bool sessionBusy(const db::ClientDataSet& ds) const;
    void resumeFetching(bool busy);
    bool editable(int field, int row) const;
    /// Why a row is marked (not saved, refused, not identified); invalid for a saved row.
    QVariant rowNote(int row) const;

    QPointer<DataSource> m_source;
    std::vector<int> m_columns; ///< field index per column
    int m_rows = 0;             ///< the row count the views know
    int m_indicatorRow = -1;    ///< the row whose indicator is drawn
    int m_following = 0;
    ReentryGuard m_fetching;    ///< a fetch is running (an error box may be open meanwhile)
    bool m_fetchFailed = false; ///< views stop asking for rows until the dataset is reopened
    /// Set while a fetch waits for the busy session; its end lets the views ask again.
    mutable QMetaObject::Connection m_fetchDeferred;
};

} // namespace norvane::widgets
