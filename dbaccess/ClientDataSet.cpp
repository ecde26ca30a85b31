#include "ClientDataSet.h"

#include <algorithm>

namespace norvane::db {

ClientDataSet::ClientDataSet(QObject* parent) : QObject(parent) {}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::checkActive() const
{
    if (m_state == DataSetState::Inactive)
        throw DbError(QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                          .arg(objectName()));
}

bool ClientDataSet::canModify() const
{
    return active() && !m_readOnly && m_provider && m_provider->canWrite();
}

void ClientDataSet::open()
{
    if (active())
        return;
    if (!m_provider)
        throw DbError(QStringLiteral("%1: Missing data provider or data packet").arg(objectName()));
    m_provider->openSource();
    m_rows.clear();
    m_changes.clear();
    m_heldKeys.clear();
    m_unidentified.clear();
    buildFields();
    m_allFetched = false;
    m_readEndPassed = false;
    m_arenas.clear();
    std::vector<PackedRow> firstPacket =
        take(static_cast<std::size_t>(std::max(1, m_packetRecords)));
    const bool empty = firstPacket.empty();
    for (auto& r : firstPacket)
        m_rows.push_back({std::move(r), m_nextId++});
    m_allFetched = empty || m_provider->atEnd();
    // The rest of a background read joins the rows as it arrives, so the grid grows.
    if (!m_allFetched && m_provider->isFetching())
        m_arrivals = connect(m_provider->source(), &SqlSource::rowsAvailable, this,
                             &ClientDataSet::takeArrivedRows);
    m_current = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    setState(DataSetState::Browse);
    notifyReset();
}

void ClientDataSet::close()
{
    if (!active())
        return;
    // Rows of a background read stop arriving first; the read is ended, not left running
    // under a dataset that is gone.
    disconnect(m_arrivals);
    if (m_provider && m_provider->isFetching())
        m_provider->stopFetch();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_changes.clear();
    m_heldKeys.clear();
    m_unidentified.clear();
    m_arenas.clear();
    m_editBuffer.clear();
    m_assigned.clear();
    m_current = -1;
    m_bof = m_eof = true;
    m_allFetched = true;
    setState(DataSetState::Inactive);
    notifyReset();
    m_fields.clear();
}

void ClientDataSet::buildFields()
{
    m_fields.clear();
    const auto& defs = m_provider->fieldDefs();
    for (std::size_t i = 0; i < defs.size(); ++i) {
        auto f =
            std::make_unique<Field>(static_cast<RecordAccess*>(this), static_cast<int>(i), defs[i]);
        m_fields.push_back(std::move(f));
    }
    m_keyFields.clear();
    const SqlSource* source = m_provider->source();
    if (!source || !source->isKeysetPaged())
        return;
    for (const QString& key : source->keyColumns())
        for (std::size_t i = 0; i < defs.size(); ++i)
            if (defs[i].originalName.compare(key, Qt::CaseInsensitive) == 0)
                m_keyFields.push_back(static_cast<int>(i));
    if (m_keyFields.size() != static_cast<std::size_t>(source->keyColumns().size()))
        m_keyFields.clear();
}

QByteArray ClientDataSet::keyOf(const PackedRow& row) const
{
    QByteArray key;
    for (int i : m_keyFields) {
        const auto v = row.view(i);
        key += v ? QByteArray::number(v->size()) + ':' + v->toByteArray() : QByteArray("-");
        key += ';';
    }
    return key;
}

void ClientDataSet::holdKey(const PackedRow& row)
{
    if (!m_allFetched && !m_keyFields.empty())
        m_heldKeys.insert(keyOf(row));
}

void ClientDataSet::notifyReset()
{
    if (m_disableCount > 0) {
        m_resetWhileDisabled = true;
        return;
    }
    emit layoutReset();
    emit currentRowChanged(m_current);
}

void ClientDataSet::notifyRow(int row)
{
    if (m_disableCount > 0) {
        m_resetWhileDisabled = true;
        return;
    }
    emit rowChanged(row);
}

void ClientDataSet::setState(DataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void ClientDataSet::setCurrent(int row)
{
    if (m_current == row)
        return;
    m_current = row;
    if (m_disableCount > 0) {
        m_resetWhileDisabled = true;
        return;
    }
    emit currentRowChanged(row);
}

void ClientDataSet::checkBrowseMode()
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        if (m_editModified)
            post();
        else
            cancel();
    }
}

void ClientDataSet::disableControls()
{
    ++m_disableCount;
}

void ClientDataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_resetWhileDisabled) {
        m_resetWhileDisabled = false;
        emit layoutReset();
        emit currentRowChanged(m_current);
    }
}

Field& ClientDataSet::field(int index)
{
    if (index < 0 || index >= fieldCount())
        throw DbError(QStringLiteral("%1: Field index out of range").arg(objectName()));
    return *m_fields[static_cast<std::size_t>(index)];
}

Field* ClientDataSet::findField(const QString& name)
{
    for (auto& f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& ClientDataSet::fieldByName(const QString& name)
{
    if (Field* f = findField(name))
        return *f;
    throw DbError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
}

RawValue ClientDataSet::rawValue(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= fieldCount())
        return std::nullopt;
    if (row == m_current && (m_state == DataSetState::Edit || m_state == DataSetState::Insert))
        return m_editBuffer[static_cast<std::size_t>(column)];
    return m_rows[static_cast<std::size_t>(row)].row.value(column);
}

std::optional<QByteArrayView> ClientDataSet::valueView(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= fieldCount())
        return std::nullopt;
    if (row == m_current && (m_state == DataSetState::Edit || m_state == DataSetState::Insert)) {
        const RawValue& v = m_editBuffer[static_cast<std::size_t>(column)];
        return v ? std::optional<QByteArrayView>(*v) : std::nullopt;
    }
    return m_rows[static_cast<std::size_t>(row)].row.view(column);
}

void ClientDataSet::rowViews(int row, std::vector<std::optional<QByteArrayView>>& out) const
{
    if (row < 0 || row >= recordCount()) {
        out.assign(static_cast<std::size_t>(fieldCount()), std::nullopt);
        return;
    }
    if (row == m_current && (m_state == DataSetState::Edit || m_state == DataSetState::Insert)) {
        out.clear();
        for (const RawValue& v : m_editBuffer)
            out.push_back(v ? std::optional<QByteArrayView>(*v) : std::nullopt);
        return;
    }
    m_rows[static_cast<std::size_t>(row)].row.views(fieldCount(), out);
}

QString ClientDataSet::displayText(int row, int column) const
{
    if (column < 0 || column >= fieldCount())
        return {};
    return displayTextOfView(m_fields[static_cast<std::size_t>(column)]->def(),
                             valueView(row, column));
}

bool ClientDataSet::isNull(int row, int column) const
{
    return !valueView(row, column).has_value();
}

RawValue ClientDataSet::fieldValue(int index) const
{
    return rawValue(m_current, index);
}

std::optional<QByteArrayView> ClientDataSet::fieldView(int index, RawValue&) const
{
    return valueView(m_current, index);
}

void ClientDataSet::edit()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    checkCanWrite();
    if (m_rows.empty()) {
        insert();
        return;
    }
    const Record& rec = m_rows[static_cast<std::size_t>(m_current)];
    checkIdentified(rec);
    m_editBuffer = rec.row.values(fieldCount());
    m_assigned.assign(static_cast<std::size_t>(fieldCount()), false);
    m_editModified = false;
    setState(DataSetState::Edit);
}

void ClientDataSet::insert()
{
    checkActive();
    checkBrowseMode();
    checkCanWrite();
    const int at = std::max(m_current, 0);
    m_rows.insert(m_rows.begin() + at, Record{PackedRow(), m_nextId++});
    beginNewRow(at);
}

void ClientDataSet::append()
{
    checkActive();
    checkBrowseMode();
    checkCanWrite();
    fetchAll();
    m_rows.push_back(Record{PackedRow(), m_nextId++});
    beginNewRow(recordCount() - 1);
}

/// Makes the empty row just placed at `at` the current row, in insert state.
void ClientDataSet::beginNewRow(int at)
{
    m_editBuffer.assign(static_cast<std::size_t>(fieldCount()), std::nullopt);
    m_assigned.assign(static_cast<std::size_t>(fieldCount()), false);
    m_editModified = false;
    m_current = -1;
    setState(DataSetState::Insert);
    if (m_disableCount == 0)
        emit rowsInserted(at, 1);
    else
        m_resetWhileDisabled = true;
    setCurrent(at);
    m_bof = m_eof = false;
}

} // namespace norvane::db
