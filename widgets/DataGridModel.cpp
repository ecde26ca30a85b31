#include "DataGridModel.h"

#include "dbaccess/Connection.h"
#include "dbaccess/DbError.h"

#include <QBrush>

namespace norvane::widgets {

namespace {

using db::FieldType;

/// Byte data cannot be typed into a cell; it shows its placeholder only.
bool isByteData(FieldType t)
{
    return t == FieldType::ftBlob || t == FieldType::ftBytes || t == FieldType::ftVarBytes;
}

// Text is edited in place only while it fits a one-line editor; anything else (a line break, a
// very long value) would come back from the editor changed, and opens in the value editor.
constexpr qsizetype kMaxInPlaceMemo = 65535;

} // namespace

DataGridModel::DataGridModel(DataSource* source, QObject* parent)
    : QAbstractTableModel(parent), m_source(source)
{
    if (!source)
        return;
    connect(source, &DataSource::dataSetChanged, this, &DataGridModel::reload);
    connect(source, &DataSource::layoutReset, this, &DataGridModel::reload);
    connect(source, &DataSource::rowsInserted, this, &DataGridModel::onRowsInserted);
    connect(source, &DataSource::rowsRemoved, this, &DataGridModel::onRowsRemoved);
    connect(source, &DataSource::rowChanged, this, &DataGridModel::onRowChanged);
    connect(source, &DataSource::currentRowChanged, this, &DataGridModel::onCurrentRowChanged);
    connect(source, &DataSource::stateChanged, this, &DataGridModel::onStateChanged);
    reload();
}

db::ClientDataSet* DataGridModel::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

void DataGridModel::rebuildColumns()
{
    m_columns.clear();
    db::ClientDataSet* ds = dataSet();
    if (!ds || !ds->active())
        return;
    for (int i = 0; i < ds->fieldCount(); ++i)
        if (ds->field(i).visible())
            m_columns.push_back(i);
}

namespace {
struct Following
{
    explicit Following(int& n) : count(n) { ++count; }
    ~Following() { --count; }
    Following(const Following&) = delete;
    Following& operator=(const Following&) = delete;
    int& count;
};
} // namespace

void DataGridModel::reload()
{
    Following f(m_following);
    beginResetModel();
    m_fetchFailed = false;
    rebuildColumns();
    db::ClientDataSet* ds = dataSet();
    m_rows = ds && ds->active() ? ds->recordCount() : 0;
    m_indicatorRow = ds && ds->active() ? ds->currentRow() : -1;
    endResetModel();
}

void DataGridModel::onRowsInserted(int first, int count)
{
    db::ClientDataSet* ds = dataSet();
    if (!ds || count <= 0 || first < 0 || first > m_rows)
        return reload();
    Following f(m_following);
    beginInsertRows({}, first, first + count - 1);
    m_rows += count;
    if (m_indicatorRow >= first)
        m_indicatorRow += count;
    endInsertRows();
    if (m_rows != ds->recordCount())
        reload();
}

void DataGridModel::onRowsRemoved(int first, int count)
{
    db::ClientDataSet* ds = dataSet();
    if (!ds || count <= 0 || first < 0 || first + count > m_rows)
        return reload();
    Following f(m_following);
    beginRemoveRows({}, first, first + count - 1);
    m_rows -= count;
    if (m_indicatorRow >= first + count)
        m_indicatorRow -= count;
    else if (m_indicatorRow >= first)
        m_indicatorRow = -1;
    endRemoveRows();
    if (m_rows != ds->recordCount())
        reload();
}

void DataGridModel::onRowChanged(int row)
{
    if (row < 0 || row >= m_rows || m_columns.empty())
        return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

void DataGridModel::onCurrentRowChanged(int row)
{
    const int old = m_indicatorRow;
    m_indicatorRow = row;
    if (old >= 0 && old < m_rows)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
}

void DataGridModel::onStateChanged()
{
    if (m_indicatorRow >= 0 && m_indicatorRow < m_rows)
        emit headerDataChanged(Qt::Vertical, m_indicatorRow, m_indicatorRow);
}

int DataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

int DataGridModel::fieldIndex(int column) const
{
    if (column < 0 || column >= columnCount())
        return -1;
    return m_columns[static_cast<std::size_t>(column)];
}

int DataGridModel::columnOfField(int field) const
{
    for (std::size_t c = 0; c < m_columns.size(); ++c)
        if (m_columns[c] == field)
            return static_cast<int>(c);
    return -1;
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const
{
    db::ClientDataSet* ds = dataSet();
    const int field = fieldIndex(index.column());
    if (!ds || !ds->active() || field < 0 || index.row() < 0 || index.row() >= m_rows)
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return db::displayLineOfView(ds->field(field).def(), ds->valueView(row, field),
                                     kMaxDrawnChars);
    case FullTextRole:
        return ds->displayText(row, field);
    case Qt::EditRole: {
        const db::FieldDef& def = ds->field(field).def();
        return db::exactTextOf(def, ds->rawValue(row, field));
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ds->field(field).alignment());
    case NullRole:
        return ds->isNull(row, field);
    case FieldIndexRole:
        return field;
    case Qt::ToolTipRole:
        return rowNote(row);
    case Qt::BackgroundRole:
        if (ds->rowStatus(row) == db::RowStatus::Refused)
            return QBrush(QColor(255, 228, 225));
        return {};
    default:
        return {};
    }
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    db::ClientDataSet* ds = dataSet();
    if (orientation == Qt::Horizontal) {
        const int field = fieldIndex(section);
        if (!ds || field < 0)
            return {};
        if (role == Qt::DisplayRole)
            return ds->field(field).displayLabel();
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        return {};
    }
    const bool held = ds && ds->active() && section >= 0 && section < m_rows;
    if (role == Qt::ToolTipRole)
        return held ? rowNote(section) : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    // A row whose change the server has not saved carries "!", a saved row that cannot be
    // found again "?"; the server's message is the tooltip.
    QString mark;
    if (held) {
        switch (ds->rowStatus(section)) {
        case db::RowStatus::Pending:
        case db::RowStatus::Refused:
            mark = QStringLiteral("!");
            break;
        case db::RowStatus::Unidentified:
            mark = QStringLiteral("?");
            break;
        case db::RowStatus::Saved:
            break;
        }
    }
    if (!ds || section != m_indicatorRow)
        return mark;
    // The record indicator: the current row, the row being edited, a new row.
    switch (ds->state()) {
    case db::DataSetState::Edit:
        return QStringLiteral("I") + mark;
    case db::DataSetState::Insert:
        return QStringLiteral("*") + mark;
    default:
        return QStringLiteral(">") + mark;
    }
}

QVariant DataGridModel::rowNote(int row) const
{
    db::ClientDataSet* ds = dataSet();
    if (!ds)
        return {};
    switch (ds->rowStatus(row)) {
    case db::RowStatus::Pending:
        return QStringLiteral("This change is not saved on the server yet.");
    case db::RowStatus::Refused:
    case db::RowStatus::Unidentified:
        return ds->rowMessage(row);
    case db::RowStatus::Saved:
        break;
    }
    return {};
}

bool DataGridModel::editable(int field, int row) const
{
    db::ClientDataSet* ds = dataSet();
    if (!ds || !ds->canModify() || field < 0 || field >= ds->fieldCount())
        return false;
    const db::Field& f = ds->field(field);
    if (f.readOnly() || isByteData(f.dataType()))
        return false;
    if (f.dataType() == FieldType::ftMemo || f.dataType() == FieldType::ftString) {
        const db::RawValue v = ds->rawValue(row, field);
        return !v || (v->size() <= kMaxInPlaceMemo && !v->contains('\n') && !v->contains('\r'));
    }
    return true;
}

Qt::ItemFlags DataGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (editable(fieldIndex(index.column()), index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataGridModel::canModify(const QModelIndex& index) const
{
    db::ClientDataSet* ds = dataSet();
    const int field = fieldIndex(index.column());
    return ds && ds->canModify() && field >= 0 && !ds->field(field).readOnly();
}

bool DataGridModel::moveTo(int row)
{
    db::ClientDataSet* ds = dataSet();
    if (ds->currentRow() == row)
        return true;
    ds->setRecNo(row + 1);
    return ds->currentRow() == row;
}

bool DataGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_source)
        return false;
    const int field = fieldIndex(index.column());
    if (!editable(field, index.row()))
        return false;
    const QString text = value.toString();
    bool changed = false;
    const bool ok = m_source->guard([&] {
        db::ClientDataSet* ds = dataSet();
        if (!moveTo(index.row()))
            return;
        if (text == data(index, Qt::EditRole).toString())
            return;
        db::Field& f = ds->field(field);
        const db::RawValue raw = db::rawFromText(f.def(), text);
        if (raw == ds->rawValue(index.row(), field))
            return;
        ds->edit();
        f.setRawValue(raw);
        changed = true;
    });
    return ok && changed;
}

bool DataGridModel::setNull(const QModelIndex& index)
{
    if (!index.isValid() || !m_source || !canModify(index))
        return false;
    const int field = fieldIndex(index.column());
    return m_source->guard([&] {
        db::ClientDataSet* ds = dataSet();
        if (!moveTo(index.row()) || ds->isNull(index.row(), field))
            return;
        ds->edit();
        ds->field(field).setNull();
    });
}

bool DataGridModel::canFetchMore(const QModelIndex& parent) const
{
    db::ClientDataSet* ds = dataSet();
    // While an export walks the dataset with its controls suspended, the walk does the fetching.
    return !parent.isValid() && ds && ds->active() && !ds->allFetched() &&
           !ds->controlsDisabled() && !m_fetching.active() && !m_fetchFailed && !sessionBusy(*ds);
}

bool DataGridModel::sessionBusy(const db::ClientDataSet& ds) const
{
    // Views ask from timers and layouts, also while a statement runs in a nested event loop; a
    // fetch then would be refused as busy (or start a second statement). Views do not ask again
    // on their own: a relayout at the session's end lets them.
    const db::Provider* provider = ds.provider();
    db::Connection* connection =
        provider && provider->source() ? provider->source()->connection() : nullptr;
    if (!connection || !connection->isBusy())
        return false;
    // canFetchMore is const to its callers; listening for the session's end changes no row.
    auto* self = const_cast<DataGridModel*>(this);
    if (!m_fetchDeferred)
        m_fetchDeferred = connect(connection, &db::Connection::busyChanged, self,
                                  [self](bool busy) { self->resumeFetching(busy); });
    return true;
}

void DataGridModel::resumeFetching(bool busy)
{
    if (busy)
        return;
    disconnect(m_fetchDeferred);
    m_fetchDeferred = {};
    // Later, outside the frame of the statement that just ended.
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit layoutAboutToBeChanged();
            emit layoutChanged();
        },
        Qt::QueuedConnection);
}

void DataGridModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    // After log off the closed source gives no rows, and the dataset then stops asking. A
    // failed fetch is reported once: views ask again on every layout, also while the error
    // box is open, and the user would get a cascade of boxes.
    const ReentryGuard::Scope fetching(m_fetching);
    m_fetchFailed = !m_source->guard([this] { dataSet()->fetchMore(); });
}

} // namespace norvane::widgets
