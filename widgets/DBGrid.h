#pragma once
/// The data grid (`dgdData`, `dgdSQL`): a table view bound to a data source.

#include "DataSource.h"
#include "persist/ReentryGuard.h"

#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QTableView>

#include <memory>

class QAction;

namespace norvane::exporter {
class TzkExportOptions;
}

namespace norvane::widgets {

class DataGridModel;
class GridDelegate;
class GridExportSource;

/// Shows the rows of the dataset behind its data source, one column per visible field, and
/// follows the dataset's current record both ways: moving the grid's current row moves the
/// cursor (posting an edited row), a cursor move moves the grid. Esc cancels the row's edit;
/// "Set to NULL" (context menu, Ctrl+Shift+N) nulls the current cell. A text, JSON or binary
/// cell opens in the value editor (double-click on a large object or on a value no in-place
/// editor holds whole, Shift+Enter on any), read-only when the grid is. Ctrl+C copies the
/// selected cells as tab-separated text, Ctrl+Shift+C with the column names first. The grid
/// owns the export options of its rows, whose owner is the grid's export adapter.
class DBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit DBGrid(QWidget* parent = nullptr);
    ~DBGrid() override;
    using QTableView::edit;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_source; }
    db::ClientDataSet* dataSet() const;
    DataGridModel* gridModel() const { return m_model; }

    /// The export options of this grid (created with it, destroyed with it).
    exporter::TzkExportOptions* ExportOptions() const { return m_exportOptions.get(); }
    /// The read-only view of this grid and its dataset that the export run walks.
    GridExportSource* exportSource() const { return m_exportSource.get(); }

    /// The popup menu whose entries the grid's context menu shows above "Set to NULL".
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }
    QMenu* popupMenu() const { return m_popupMenu; }
    /// The grid's "Set to NULL" action (objectName `acSetNull`).
    QAction* setNullAction() const { return m_setNull; }

    /// Opens the value editor on a cell and stores what the user saved there: through the
    /// dataset's edit and, when the editor started the edit, its post.
    void openValueEditor(const QModelIndex& index);
    /// True when the cell's column is one the value editor serves.
    bool hasValueEditor(const QModelIndex& index) const;
    /// The selected cells as tab-separated lines (see `copySelection`).
    QString selectionText(bool withColumnNames) const;
    /// Puts `selectionText` on the clipboard. A null cell is an empty field; a field holding a
    /// tab, a line break or a leading double quote is quoted as spreadsheets read it (in
    /// double quotes, inner double quotes doubled).
    void copySelection(bool withColumnNames);

    /// The visible row (0 = top line) on which the current record is shown; -1 without one.
    int screenRow();
    /// Scrolls so that `row` is shown on visible row `screenRow` (as far as the rows allow).
    void showRowAt(int row, int screenRow);
    /// True while a cell editor is open.
    bool isEditingCell() const { return state() == QAbstractItemView::EditingState; }
    /// Commits the text of an open cell editor into the dataset and closes the editor.
    void commitPendingEdit();
    /// Closes an open cell editor and drops its text.
    void discardPendingEdit();
    /// Lets a header click ask for the next order of its column (`sortRequested`): ascending,
    /// then descending, then none again; the header shows the order `showSortOrder` set.
    void setHeaderSorting(bool on);
    /// Shows the rows as ordered by a dataset field (-1: no order of the grid's own).
    void showSortOrder(int field, Qt::SortOrder order);
    int sortField() const { return m_sortField; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    /// While set, the grid neither repaints nor takes input, and ignores its current row.
    void setExporting(bool exporting);
    bool isExporting() const { return m_exporting.active(); }

signals:
    /// A header click asked for rows ordered by a dataset field (-1: back to no order).
    void sortRequested(int field, Qt::SortOrder order);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    /// Posts the row being left and moves the dataset to `row`, which shifts up by one when an
    /// empty new row above it is discarded; false when the guard reported an error.
    bool moveDataSetTo(int& row);
    void followDataSet();
    void setCurrentCellNull();
    void updateSetNullAction();
    void rememberWidths();
    void restoreWidths();
    int defaultWidth(int column) const;
    void headerClicked(int column);
    void applySortIndicator();

    QPointer<DataSource> m_source;
    DataGridModel* m_model = nullptr;
    GridDelegate* m_delegate = nullptr;
    QPointer<QMenu> m_popupMenu;
    QAction* m_setNull = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_copyWithNames = nullptr;
    QAction* m_valueEditor = nullptr;
    std::unique_ptr<GridExportSource> m_exportSource;
    std::unique_ptr<exporter::TzkExportOptions> m_exportOptions;
    QHash<QString, int> m_widths; ///< column widths by field name, kept across resets
    bool m_headerSorting = false;
    int m_sortField = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ReentryGuard m_syncing;
    ReentryGuard m_exporting;
};

} // namespace norvane::widgets
