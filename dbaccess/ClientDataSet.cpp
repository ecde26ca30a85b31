#include "ClientDataSet.h"

#include <algorithm>

namespace norvane::db {

namespace {

constexpr std::size_t kLongWalkPage = 10000;

} // namespace

ClientDataSet::ClientDataSet(QObject* parent) : QObject(parent) {}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::checkActive() const
{
    if (m_state == DataSetState::Inactive)
        throw DbError(QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                          .arg(objectName()));
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
    buildFields();
    m_allFetched = false;
    m_arenas.clear();
    std::vector<PackedRow> firstPacket =
        take(static_cast<std::size_t>(std::max(1, m_packetRecords)));
    const bool empty = firstPacket.empty();
    for (auto& r : firstPacket)
        m_rows.push_back({std::move(r), m_nextId++});
    m_allFetched = empty || m_provider->atEnd();
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
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_changes.clear();
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

int ClientDataSet::appendRows(std::vector<PackedRow> rows)
{
    if (rows.empty())
        return 0;
    const int first = recordCount();
    for (auto& r : rows)
        m_rows.push_back({std::move(r), m_nextId++});
    const int count = static_cast<int>(rows.size());
    if (m_disableCount > 0)
        m_resetWhileDisabled = true;
    else
        emit rowsInserted(first, count);
    return count;
}

std::vector<PackedRow> ClientDataSet::take(std::size_t rows)
{
    std::vector<PackedRow> out = m_provider->fetch(rows);
    if (RowArena::Ptr arena = m_provider->arena();
        arena && (m_arenas.empty() || m_arenas.back() != arena))
        m_arenas.push_back(std::move(arena));
    return out;
}

int ClientDataSet::fetchMore()
{
    if (!active() || m_allFetched || !m_provider)
        return 0;
    std::vector<PackedRow> rows = take(static_cast<std::size_t>(std::max(1, m_packetRecords)));
    if (rows.empty() || m_provider->atEnd())
        m_allFetched = true;
    return appendRows(std::move(rows));
}

void ClientDataSet::fetchAll()
{
    if (!active())
        return;
    // A long walk reads ahead in large pages; PacketRecords only sizes the lazy fetches.
    while (!m_allFetched) {
        std::vector<PackedRow> rows = take(kLongWalkPage);
        if (rows.empty() || m_provider->atEnd())
            m_allFetched = true;
        appendRows(std::move(rows));
    }
}

bool ClientDataSet::ensureRow(int row)
{
    while (row >= recordCount() && !m_allFetched) {
        if (fetchMore() == 0 && m_allFetched)
            break;
    }
    return row >= 0 && row < recordCount();
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

void ClientDataSet::first()
{
    checkActive();
    checkBrowseMode();
    ensureRow(0);
    setCurrent(m_rows.empty() ? -1 : 0);
    m_bof = true;
    m_eof = m_rows.empty();
}

void ClientDataSet::last()
{
    checkActive();
    checkBrowseMode();
    fetchAll();
    setCurrent(recordCount() - 1);
    m_eof = true;
    m_bof = m_rows.empty();
}

void ClientDataSet::next()
{
    moveBy(1);
}

void ClientDataSet::prior()
{
    moveBy(-1);
}

int ClientDataSet::moveBy(int distance)
{
    checkActive();
    checkBrowseMode();
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = m_eof = false;
        int row = m_current;
        while (moved < distance) {
            if (!ensureRow(row + 1)) {
                m_eof = true;
                break;
            }
            ++row;
            ++moved;
        }
        while (moved > distance) {
            if (row <= 0) {
                m_bof = true;
                break;
            }
            --row;
            --moved;
        }
        setCurrent(row);
    }
    return moved;
}

int ClientDataSet::recNo() const
{
    return active() ? m_current + 1 : 0;
}

void ClientDataSet::setRecNo(int recNo)
{
    checkActive();
    checkBrowseMode();
    if (!ensureRow(recNo - 1))
        return;
    setCurrent(recNo - 1);
    m_bof = m_eof = false;
}

void ClientDataSet::edit()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (m_readOnly)
        throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
    if (m_rows.empty()) {
        insert();
        return;
    }
    const Record& rec = m_rows[static_cast<std::size_t>(m_current)];
    m_editBuffer = rec.row.values(fieldCount());
    m_assigned.assign(static_cast<std::size_t>(fieldCount()), false);
    m_editModified = false;
    setState(DataSetState::Edit);
}

void ClientDataSet::insert()
{
    checkActive();
    checkBrowseMode();
    if (m_readOnly)
        throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
    const int at = std::max(m_current, 0);
    m_rows.insert(m_rows.begin() + at, Record{PackedRow(), m_nextId++});
    beginNewRow(at);
}

void ClientDataSet::append()
{
    checkActive();
    checkBrowseMode();
    if (m_readOnly)
        throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
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

int ClientDataSet::findChange(std::uint32_t recordId) const
{
    for (std::size_t i = 0; i < m_changes.size(); ++i)
        if (m_changes[i].recordId == recordId)
            return static_cast<int>(i);
    return -1;
}

int ClientDataSet::findRow(std::uint32_t recordId) const
{
    if (m_current >= 0 && m_rows[static_cast<std::size_t>(m_current)].id == recordId)
        return m_current;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == recordId)
            return static_cast<int>(i);
    return -1;
}

void ClientDataSet::post()
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    Record& rec = m_rows[static_cast<std::size_t>(m_current)];
    PackedRow newRow = PackedRow::fromValues(m_editBuffer);
    const int pending = findChange(rec.id);
    if (m_state == DataSetState::Insert) {
        PendingChange pc;
        pc.change.kind = ChangeKind::Insert;
        pc.change.current = newRow;
        pc.change.assigned = m_assigned;
        pc.recordId = rec.id;
        m_changes.push_back(std::move(pc));
    } else if (pending >= 0) {
        Change& c = m_changes[static_cast<std::size_t>(pending)].change;
        c.current = newRow;
        if (c.kind == ChangeKind::Insert)
            for (std::size_t i = 0; i < m_assigned.size() && i < c.assigned.size(); ++i)
                c.assigned[i] = c.assigned[i] || m_assigned[i];
    } else if (rec.row.values(fieldCount()) != m_editBuffer) {
        PendingChange pc;
        pc.change.kind = ChangeKind::Modify;
        pc.change.original = rec.row;
        pc.change.current = newRow;
        pc.recordId = rec.id;
        m_changes.push_back(std::move(pc));
    }
    rec.row = std::move(newRow);
    m_editBuffer.clear();
    m_assigned.clear();
    m_editModified = false;
    setState(DataSetState::Browse);
    notifyRow(m_current);
    if (afterPost)
        afterPost(*this);
}

void ClientDataSet::cancel()
{
    if (m_state == DataSetState::Insert) {
        const int at = m_current;
        m_rows.erase(m_rows.begin() + at);
        m_editBuffer.clear();
        m_assigned.clear();
        m_editModified = false;
        setState(DataSetState::Browse);
        if (m_disableCount == 0)
            emit rowsRemoved(at, 1);
        else
            m_resetWhileDisabled = true;
        m_current = -2;
        setCurrent(m_rows.empty() ? -1 : std::min(at, recordCount() - 1));
        m_bof = m_eof = m_rows.empty();
    } else if (m_state == DataSetState::Edit) {
        m_editBuffer.clear();
        m_assigned.clear();
        m_editModified = false;
        setState(DataSetState::Browse);
        notifyRow(m_current);
    }
}

void ClientDataSet::deleteRecord()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    if (m_readOnly)
        throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
    if (m_state == DataSetState::Edit)
        cancel();
    if (m_rows.empty())
        throw DbError(QStringLiteral("%1: Cannot perform this operation on an empty dataset")
                          .arg(objectName()));
    const int at = m_current;
    Record& rec = m_rows[static_cast<std::size_t>(at)];
    const int pending = findChange(rec.id);
    if (pending >= 0 &&
        m_changes[static_cast<std::size_t>(pending)].change.kind == ChangeKind::Insert) {
        m_changes.erase(m_changes.begin() + pending);
    } else if (pending >= 0) {
        PendingChange& pc = m_changes[static_cast<std::size_t>(pending)];
        pc.change.kind = ChangeKind::Delete;
        pc.change.current = PackedRow();
        pc.position = at;
    } else {
        PendingChange pc;
        pc.change.kind = ChangeKind::Delete;
        pc.change.original = std::move(rec.row);
        pc.recordId = rec.id;
        pc.position = at;
        m_changes.push_back(std::move(pc));
    }
    m_rows.erase(m_rows.begin() + at);
    if (m_disableCount == 0)
        emit rowsRemoved(at, 1);
    else
        m_resetWhileDisabled = true;
    m_current = -2;
    setCurrent(m_rows.empty() ? -1 : std::min(at, recordCount() - 1));
    m_bof = m_eof = m_rows.empty();
    if (afterDelete)
        afterDelete(*this);
}

int ClientDataSet::applyUpdates(int maxErrors)
{
    checkActive();
    checkBrowseMode();
    if (m_changes.empty() || m_applying.active())
        return 0;
    const ReentryGuard::Scope applying(m_applying);

    m_provider->beginApply();
    std::vector<std::optional<PackedRow>> results(m_changes.size());
    std::vector<bool> applied(m_changes.size(), false);
    int errors = 0;
    for (std::size_t i = 0; i < m_changes.size(); ++i) {
        try {
            results[i] = m_provider->applyChange(m_changes[i].change);
            applied[i] = true;
        } catch (const DbError& e) {
            ++errors;
            const bool abandon = e.connectionLost() || (maxErrors >= 0 && errors > maxErrors);
            if (abandon)
                m_provider->rollbackApply();
            if (onReconcileError) {
                try {
                    onReconcileError(*this, ReconcileInfo{e.message(), m_changes[i].change.kind});
                } catch (...) {
                    if (!abandon)
                        m_provider->rollbackApply();
                    throw;
                }
            }
            if (abandon)
                return errors;
        } catch (...) {
            m_provider->rollbackApply();
            throw;
        }
    }
    try {
        m_provider->commitApply();
    } catch (...) {
        m_provider->rollbackApply();
        throw;
    }

    std::vector<PendingChange> remaining;
    for (std::size_t i = 0; i < m_changes.size(); ++i) {
        if (!applied[i]) {
            remaining.push_back(std::move(m_changes[i]));
            continue;
        }
        if (!results[i])
            continue;
        const int row = findRow(m_changes[i].recordId);
        if (row < 0)
            continue;
        m_rows[static_cast<std::size_t>(row)].row = std::move(*results[i]);
        notifyRow(row);
    }
    m_changes = std::move(remaining);
    return errors;
}

void ClientDataSet::cancelUpdates()
{
    checkActive();
    cancel();
    for (auto it = m_changes.rbegin(); it != m_changes.rend(); ++it) {
        const int row = findRow(it->recordId);
        switch (it->change.kind) {
        case ChangeKind::Insert:
            if (row >= 0)
                m_rows.erase(m_rows.begin() + row);
            break;
        case ChangeKind::Modify:
            if (row >= 0)
                m_rows[static_cast<std::size_t>(row)].row = it->change.original;
            break;
        case ChangeKind::Delete:
            m_rows.insert(m_rows.begin() + std::min(it->position, recordCount()),
                          Record{it->change.original, it->recordId});
            break;
        }
    }
    m_changes.clear();
    m_current = std::min(std::max(m_current, m_rows.empty() ? -1 : 0), recordCount() - 1);
    m_bof = m_eof = m_rows.empty();
    notifyReset();
}

Bookmark ClientDataSet::bookmark() const
{
    if (m_current < 0)
        return {};
    return {m_rows[static_cast<std::size_t>(m_current)].id};
}

bool ClientDataSet::bookmarkValid(const Bookmark& mark) const
{
    return mark.isValid() && findRow(mark.recordId) >= 0;
}

void ClientDataSet::gotoBookmark(const Bookmark& mark)
{
    checkActive();
    checkBrowseMode();
    const int row = mark.isValid() ? findRow(mark.recordId) : -1;
    if (row < 0)
        throw DbError(QStringLiteral("Record not found"));
    setCurrent(row);
    m_bof = m_eof = false;
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

bool ClientDataSet::rowHasPendingChange(int row) const
{
    if (row < 0 || row >= recordCount())
        return false;
    return findChange(m_rows[static_cast<std::size_t>(row)].id) >= 0;
}

RawValue ClientDataSet::fieldValue(int index) const
{
    return rawValue(m_current, index);
}

std::optional<QByteArrayView> ClientDataSet::fieldView(int index, RawValue&) const
{
    return valueView(m_current, index);
}

void ClientDataSet::setFieldValue(int index, const RawValue& value)
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DbError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    if (index < 0 || index >= fieldCount())
        throw DbError(QStringLiteral("%1: Field index out of range").arg(objectName()));
    m_editBuffer[static_cast<std::size_t>(index)] = value;
    m_assigned[static_cast<std::size_t>(index)] = true;
    m_editModified = true;
    notifyRow(m_current);
}

} // namespace norvane::db
