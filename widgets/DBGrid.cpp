#include "DBGrid.h"

#include "DataGridModel.h"
#include "GridDelegate.h"
#include "GridExportSource.h"
#include "Prompts.h"
#include "ValueEditor.h"

#include "dbaccess/DbError.h"
#include "export/zkexport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>
#include <map>
#include <set>

namespace norvane::widgets {

namespace {
// A VARCHAR(255) column would otherwise open 255 characters wide and push every other column
// off screen; wider values stay readable by widening the column.
constexpr int kMaxDefaultChars = 24;

/// A field as spreadsheets read pasted tab-separated text.
QString tsvField(const QString& text)
{
    if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r') &&
        !text.startsWith(u'"'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
} // namespace

DBGrid::DBGrid(QWidget* parent)
    : QTableView(parent), m_delegate(new GridDelegate(this)),
      m_exportSource(std::make_unique<GridExportSource>(*this)),
      m_exportOptions(std::make_unique<exporter::TzkExportOptions>(m_exportSource.get()))
{
    QFont f(QStringLiteral("Courier New"));
    f.setPointSize(8);
    setFont(f);
    setItemDelegate(m_delegate);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('W')) + 8);

    m_setNull = new QAction(tr("Set to &NULL"), this);
    m_setNull->setObjectName(QStringLiteral("acSetNull"));
    // Ctrl+S and Ctrl+Del belong to the main window's post and delete actions.
    m_setNull->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_setNull->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(m_setNull);
    connect(m_setNull, &QAction::triggered, this, &DBGrid::setCurrentCellNull);
    // The grid's own keys work while the grid has the focus; an open cell editor keeps its
    // Ctrl+C and Shift+Enter.
    m_valueEditor = new QAction(tr("&Value editor..."), this);
    m_valueEditor->setObjectName(QStringLiteral("acValueEditor"));
    m_valueEditor->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::SHIFT | Qt::Key_Enter)});
    m_valueEditor->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_valueEditor);
    connect(m_valueEditor, &QAction::triggered, this, [this] { openValueEditor(currentIndex()); });
    m_copy = new QAction(tr("&Copy"), this);
    m_copy->setObjectName(QStringLiteral("acCopyCells"));
    m_copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_copy);
    connect(m_copy, &QAction::triggered, this, [this] { copySelection(false); });
    m_copyWithNames = new QAction(tr("Copy with column &names"), this);
    m_copyWithNames->setObjectName(QStringLiteral("acCopyCellsWithNames"));
    m_copyWithNames->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    m_copyWithNames->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_copyWithNames);
    connect(m_copyWithNames, &QAction::triggered, this, [this] { copySelection(true); });
    // Typing starts the record's edit at once, so post and cancel are offered while the text
    // is still in the editor.
    connect(m_delegate, &GridDelegate::userTyped, this, [this] {
        db::ClientDataSet* ds = dataSet();
        if (ds && ds->state() == db::DataSetState::Browse && m_model &&
            currentIndex().row() == ds->currentRow() && m_model->canModify(currentIndex()))
            m_source->guard([ds] { ds->edit(); }, this);
    });
}

DBGrid::~DBGrid()
{
    // The options refer to the adapter, and the adapter to this grid: both go first.
    m_exportOptions.reset();
    m_exportSource.reset();
}

db::ClientDataSet* DBGrid::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DBGrid::setDataSource(DataSource* source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    DataGridModel* old = m_model;
    m_source = source;
    m_model = source ? new DataGridModel(source, this) : nullptr;
    setModel(m_model);
    delete old;
    if (!m_model)
        return;
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &DBGrid::rememberWidths);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DBGrid::restoreWidths);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DBGrid::applySortIndicator);
    // Connected after the model, so the model has taken the change when the grid follows it.
    connect(source, &DataSource::currentRowChanged, this, &DBGrid::followDataSet);
    connect(source, &DataSource::stateChanged, this, &DBGrid::updateSetNullAction);
    connect(source, &DataSource::updateRecordRequested, this, [this](bool commit) {
        if (commit)
            commitPendingEdit();
        else
            discardPendingEdit();
    });
    restoreWidths();
    followDataSet();
}

int DBGrid::defaultWidth(int column) const
{
    const db::ClientDataSet* ds = dataSet();
    const int field = m_model->fieldIndex(column);
    if (!ds || field < 0)
        return horizontalHeader()->defaultSectionSize();
    const QFontMetrics fm = fontMetrics();
    const db::Field& f = const_cast<db::ClientDataSet*>(ds)->field(field);
    const int chars = std::min(f.displayWidth(), kMaxDefaultChars);
    const int text = chars * fm.horizontalAdvance(QLatin1Char('0')) + 8;
    const int title = horizontalHeader()->fontMetrics().horizontalAdvance(f.displayLabel()) + 12;
    return std::max(text, title);
}

void DBGrid::rememberWidths()
{
    if (!m_model || m_model->columnCount() == 0)
        return;
    m_widths.clear();
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_widths.insert(m_model->headerData(c, Qt::Horizontal).toString(), columnWidth(c));
}

void DBGrid::restoreWidths()
{
    if (!m_model)
        return;
    // Widths the user set survive a refresh or an export of the same columns.
    bool same = m_widths.size() == m_model->columnCount();
    for (int c = 0; same && c < m_model->columnCount(); ++c)
        same = m_widths.contains(m_model->headerData(c, Qt::Horizontal).toString());
    for (int c = 0; c < m_model->columnCount(); ++c)
        setColumnWidth(c, same ? m_widths.value(m_model->headerData(c, Qt::Horizontal).toString())
                               : defaultWidth(c));
}

void DBGrid::setHeaderSorting(bool on)
{
    if (on == m_headerSorting)
        return;
    m_headerSorting = on;
    QHeaderView* header = horizontalHeader();
    if (on) {
        header->setSectionsClickable(true);
        connect(header, &QHeaderView::sectionClicked, this, &DBGrid::headerClicked);
    } else {
        disconnect(header, &QHeaderView::sectionClicked, this, &DBGrid::headerClicked);
    }
    applySortIndicator();
}

void DBGrid::showSortOrder(int field, Qt::SortOrder order)
{
    m_sortField = field;
    m_sortOrder = order;
    applySortIndicator();
}

void DBGrid::headerClicked(int column)
{
    const int field = m_model ? m_model->fieldIndex(column) : -1;
    if (field < 0)
        return;
    if (field != m_sortField)
        emit sortRequested(field, Qt::AscendingOrder);
    else if (m_sortOrder == Qt::AscendingOrder)
        emit sortRequested(field, Qt::DescendingOrder);
    else
        emit sortRequested(-1, Qt::AscendingOrder);
    // The header flips its indicator by itself on a click; it shows what the owner settled.
    applySortIndicator();
}

void DBGrid::applySortIndicator()
{
    QHeaderView* header = horizontalHeader();
    const int column = m_model && m_sortField >= 0 ? m_model->columnOfField(m_sortField) : -1;
    header->setSortIndicatorShown(m_headerSorting && column >= 0);
    header->setSortIndicator(column, m_sortOrder);
}

void DBGrid::followDataSet()
{
    db::ClientDataSet* ds = dataSet();
    if (!m_model || !ds || m_exporting.active())
        return;
    const int row = ds->active() ? ds->currentRow() : -1;
    if (row < 0 || row >= m_model->rowCount()) {
        updateSetNullAction();
        return;
    }
    int column = currentIndex().isValid() ? currentIndex().column() : 0;
    column = std::min(column, m_model->columnCount() - 1);
    if (column < 0)
        return;
    const QModelIndex target = m_model->index(row, column);
    if (currentIndex() != target) {
        const ReentryGuard::Scope syncing(m_syncing);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    }
    if (!ds->controlsDisabled())
        scrollTo(target);
    updateSetNullAction();
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base class commits and closes the editor of the row being left first.
    QTableView::currentChanged(current, previous);
    updateSetNullAction();
    db::ClientDataSet* ds = dataSet();
    if (m_syncing.active() || m_exporting.active() || !m_model || !ds || !ds->active() ||
        ds->controlsDisabled() || m_model->isFollowingDataSet() || !current.isValid())
        return;
    if (current.row() == ds->currentRow())
        return;
    // Leaving the row posts it; a refused post keeps the cursor (and the grid) on that row.
    // Leaving a new row the user left empty discards it, which shifts the rows below it.
    int row = current.row();
    moveDataSetTo(row);
    if (ds->currentRow() != current.row())
        QMetaObject::invokeMethod(this, &DBGrid::followDataSet, Qt::QueuedConnection);
}

bool DBGrid::moveDataSetTo(int& row)
{
    db::ClientDataSet* ds = dataSet();
    const int newRow = ds->state() == db::DataSetState::Insert ? ds->currentRow() : -1;
    const int before = ds->recordCount();
    return m_source->guard(
        [ds, &row, newRow, before] {
            ds->checkBrowseMode();
            if (newRow >= 0 && newRow < row && ds->recordCount() < before)
                --row;
            ds->setRecNo(row + 1);
        },
        this);
}

void DBGrid::keyPressEvent(QKeyEvent* event)
{
    db::ClientDataSet* ds = dataSet();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && ds &&
        state() != QAbstractItemView::EditingState &&
        (ds->state() == db::DataSetState::Edit || ds->state() == db::DataSetState::Insert)) {
        m_source->guard([ds] { ds->cancel(); }, this);
        event->accept();
        return;
    }
    // The view takes Ctrl+C for itself (the current cell only) before any short-cut sees it.
    const bool copyWithNames = event->key() == Qt::Key_C &&
                               event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
    if (event->matches(QKeySequence::Copy) || copyWithNames) {
        copySelection(copyWithNames);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier && ds &&
        ds->active() && !ds->readOnly()) {
        m_source->guard([ds] { ds->insert(); }, this);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool DBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // A large object opens whole on a double-click; so does any value the in-place editor
    // cannot hold whole (a line break, a very long text), on a double-click or F2.
    if (index.isValid() && m_model && (trigger == DoubleClicked || trigger == EditKeyPressed) &&
        hasValueEditor(index)) {
        const db::FieldDef& def = dataSet()->field(m_model->fieldIndex(index.column())).def();
        const bool inPlace = m_model->flags(index).testFlag(Qt::ItemIsEditable);
        if (!inPlace || (trigger == DoubleClicked && (def.isLargeObject() || def.isBinary))) {
            openValueEditor(index);
            return false;
        }
    }
    return QTableView::edit(index, trigger, event);
}

bool DBGrid::hasValueEditor(const QModelIndex& index) const
{
    const db::ClientDataSet* ds = dataSet();
    const int field = m_model && index.isValid() ? m_model->fieldIndex(index.column()) : -1;
    return ds && ds->active() && field >= 0 &&
           ValueEditor::handles(const_cast<db::ClientDataSet*>(ds)->field(field).def());
}

void DBGrid::openValueEditor(const QModelIndex& index)
{
    db::ClientDataSet* ds = dataSet();
    if (!hasValueEditor(index) || ds->controlsDisabled())
        return;
    commitPendingEdit();
    int row = index.row();
    const int field = m_model->fieldIndex(index.column());
    const bool readOnly = !m_model->canModify(index);
    // The row is reached before the dialog opens: if leaving the row being edited is refused,
    // nothing typed in the dialog can be lost on the way back. Leaving a new row the user left
    // empty discards it, which shifts the rows below it.
    if (!readOnly && ds->currentRow() != row && (!moveDataSetTo(row) || ds->currentRow() != row))
        return;
    const db::Field& f = ds->field(field);
    ValueEditor editor(f.def(), f.displayLabel(), ds->rawValue(row, field), readOnly, this);
    if (prompts().execDialog(editor) != QDialog::Accepted || !editor.changed())
        return;
    // Stored like a typed value: a row the user is editing keeps its edit for the row change
    // to post; otherwise the edit started here is posted at once.
    const db::RawValue value = editor.value();
    m_source->guard(
        [&] {
            if (ds->currentRow() != row)
                throw db::DbError(tr("The row was left while its value editor was open; the "
                                     "value was not stored."));
            const bool started = ds->state() == db::DataSetState::Browse;
            ds->edit();
            ds->field(field).setRawValue(value);
            if (started)
                ds->post();
        },
        this);
}

QString DBGrid::selectionText(bool withColumnNames) const
{
    if (!m_model)
        return {};
    QModelIndexList cells =
        selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (cells.isEmpty() && currentIndex().isValid())
        cells << currentIndex();
    if (cells.isEmpty())
        return {};
    // Rows in order, columns as the header shows them; a cell inside the block that is not
    // selected is an empty field.
    std::set<int> rows;
    std::map<int, int> columns; // visual position -> model column
    std::set<std::pair<int, int>> selected;
    for (const QModelIndex& i : cells) {
        rows.insert(i.row());
        columns.emplace(horizontalHeader()->visualIndex(i.column()), i.column());
        selected.emplace(i.row(), i.column());
    }
    QStringList lines;
    QStringList fields;
    if (withColumnNames) {
        for (const auto& [visual, column] : columns)
            fields << tsvField(m_model->headerData(column, Qt::Horizontal).toString());
        lines << fields.join(u'\t');
    }
    for (const int row : rows) {
        fields.clear();
        for (const auto& [visual, column] : columns) {
            const QModelIndex i = m_model->index(row, column);
            const bool empty =
                !selected.count({row, column}) || i.data(DataGridModel::NullRole).toBool();
            fields << (empty ? QString()
                             : tsvField(i.data(DataGridModel::FullTextRole).toString()));
        }
        lines << fields.join(u'\t');
    }
    return lines.join(u'\n');
}

void DBGrid::copySelection(bool withColumnNames)
{
    if (m_model && (currentIndex().isValid() || selectionModel()->hasSelection()))
        QApplication::clipboard()->setText(selectionText(withColumnNames));
}

void DBGrid::updateSetNullAction()
{
    const QModelIndex i = currentIndex();
    m_setNull->setEnabled(m_model && i.isValid() && m_model->canModify(i));
}

void DBGrid::setCurrentCellNull()
{
    const QModelIndex i = currentIndex();
    if (!m_model || !i.isValid() || !m_model->canModify(i))
        return;
    // The user chose null: whatever the open editor holds is dropped.
    discardPendingEdit();
    m_model->setNull(i);
}

void DBGrid::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (at.isValid() && at != currentIndex())
        setCurrentIndex(at);
    updateSetNullAction();
    QMenu menu(this);
    if (m_popupMenu) {
        menu.addActions(m_popupMenu->actions());
        menu.addSeparator();
    }
    menu.addActions({m_copy, m_copyWithNames});
    menu.addSeparator();
    m_valueEditor->setEnabled(hasValueEditor(currentIndex()));
    menu.addAction(m_valueEditor);
    menu.addAction(m_setNull);
    menu.exec(event->globalPos());
    event->accept();
}

int DBGrid::screenRow()
{
    db::ClientDataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->currentRow() < 0)
        return -1;
    executeDelayedItemsLayout();
    const int top = rowAt(0);
    return top < 0 ? -1 : ds->currentRow() - top;
}

void DBGrid::showRowAt(int row, int screenRow)
{
    if (row < 0 || screenRow < 0 || !m_model)
        return;
    executeDelayedItemsLayout();
    updateGeometries();
    verticalScrollBar()->setValue(std::max(0, row - screenRow));
}

void DBGrid::commitPendingEdit()
{
    // An editor already closed (Esc) may linger until deleted: its text must not come back.
    QWidget* editor = m_delegate->openEditor();
    if (editor && state() == QAbstractItemView::EditingState) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DBGrid::discardPendingEdit()
{
    QWidget* editor = m_delegate->openEditor();
    if (editor && state() == QAbstractItemView::EditingState)
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void DBGrid::setExporting(bool exporting)
{
    if (m_exporting.active() == exporting)
        return;
    if (exporting)
        m_exporting.begin();
    else
        m_exporting.end();
    setUpdatesEnabled(!exporting);
    setEnabled(!exporting);
}

} // namespace norvane::widgets
