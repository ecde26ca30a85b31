#include "ClientDataSet.h"

#include <algorithm>
#include <limits>

namespace norvane::db {

namespace {

constexpr std::size_t kLongWalkPage = 10000;

const QString kUnidentified = QStringLiteral(
    "This row was saved, but it cannot be told apart from other rows on the server (its key was "
    "not typed, or the server changed values of a row without key). Refresh the table before "
    "changing or deleting it.");
const QString kCommitLostNotSaved =
    QStringLiteral("The connection was lost while this change was being committed; the server "
                   "does not hold it. Post the row again or revert it.");
const QString kCommitLostUnknown =
    QStringLiteral("The connection was lost while this change was being committed; whether the "
                   "server holds it is unknown. Refresh the table to see what the server holds.");

} // namespace

ClientDataSet::ClientDataSet(QObject* parent) : QObject(parent) {}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::checkActive() const
{
    if (m_state == DataSetState::Inactive)
        throw DbError(QStringLiteral("%1: Cannot perform this operation on a closed dataset")
                          .arg(objectName()));
}

void ClientDataSet::checkCanWrite() const
{
    if (m_readOnly)
        throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
    if (!m_provider || !m_provider->canWrite())
        throw DbError(QStringLiteral("%1: The table is closed; its rows can be viewed but not "
                                     "changed until it is opened again")
                          .arg(objectName()));
}

void ClientDataSet::checkIdentified(const Record& rec) const
{
    if (const auto it = m_unidentified.constFind(rec.id); it != m_unidentified.constEnd())
        throw DbError(*it);
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

int ClientDataSet::appendRows(std::vector<PackedRow> rows)
{
    // A row written from here before paging reached its key is held already.
    if (!m_heldKeys.isEmpty())
        rows.erase(
            std::remove_if(rows.begin(), rows.end(),
                           [this](const PackedRow& r) { return m_heldKeys.remove(keyOf(r)); }),
            rows.end());
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

void ClientDataSet::noteFetchEnd(bool gotRows)
{
    // A background read may have no rows at hand yet; only its end ends the fetching.
    if (m_provider->atEnd() || (!gotRows && !m_provider->isFetching())) {
        m_allFetched = true;
        disconnect(m_arrivals);
    }
}

void ClientDataSet::takeArrivedRows()
{
    if (!active() || m_allFetched || !m_provider)
        return;
    std::vector<PackedRow> rows = take(std::numeric_limits<std::size_t>::max());
    noteFetchEnd(!rows.empty());
    appendRows(std::move(rows));
}

int ClientDataSet::fetchMore()
{
    if (!active() || m_allFetched || !m_provider)
        return 0;
    std::vector<PackedRow> rows = take(static_cast<std::size_t>(std::max(1, m_packetRecords)));
    noteFetchEnd(!rows.empty());
    return appendRows(std::move(rows));
}

bool ClientDataSet::waitForArrivals()
{
    if (m_allFetched || !m_provider->isFetching())
        return false;
    m_provider->waitForRows();
    return true;
}

void ClientDataSet::fetchAll()
{
    if (!active())
        return;
    // A long walk reads ahead in large pages; PacketRecords only sizes the lazy fetches.
    while (!m_allFetched) {
        std::vector<PackedRow> rows = take(kLongWalkPage);
        const bool gotRows = !rows.empty();
        noteFetchEnd(gotRows);
        appendRows(std::move(rows));
        if (!gotRows)
            waitForArrivals();
    }
}

bool ClientDataSet::ensureRow(int row)
{
    while (row >= recordCount() && !m_allFetched) {
        if (fetchMore() == 0 && !waitForArrivals() && m_allFetched)
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
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) {
        // Posting a row whose change was refused sends that change again.
        const int refused = m_current >= 0 ? findChange(m_rows[std::size_t(m_current)].id) : -1;
        if (refused < 0 || !m_changes[std::size_t(refused)].refused)
            return;
        checkCanWrite();
        m_changes[std::size_t(refused)].refused = false;
        m_changes[std::size_t(refused)].message.clear();
        notifyRow(m_current);
        if (afterPost)
            afterPost(*this);
        return;
    }
    checkCanWrite();
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
        PendingChange& pc = m_changes[static_cast<std::size_t>(pending)];
        pc.refused = false;
        pc.message.clear();
        Change& c = pc.change;
        if (c.kind == ChangeKind::Delete) // a refused delete whose row the user edits instead
            c.kind = ChangeKind::Modify;
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
    checkCanWrite();
    if (m_state == DataSetState::Edit)
        cancel();
    if (m_rows.empty())
        throw DbError(QStringLiteral("%1: Cannot perform this operation on an empty dataset")
                          .arg(objectName()));
    const int at = m_current;
    Record& rec = m_rows[static_cast<std::size_t>(at)];
    checkIdentified(rec);
    const int pending = findChange(rec.id);
    if (pending >= 0 &&
        m_changes[static_cast<std::size_t>(pending)].change.kind == ChangeKind::Insert) {
        m_changes.erase(m_changes.begin() + pending);
    } else if (pending >= 0) {
        PendingChange& pc = m_changes[static_cast<std::size_t>(pending)];
        pc.change.kind = ChangeKind::Delete;
        pc.change.current = PackedRow();
        pc.position = at;
        pc.refused = false;
        pc.message.clear();
    } else {
        PendingChange pc;
        pc.change.kind = ChangeKind::Delete;
        pc.change.original = std::move(rec.row);
        pc.recordId = rec.id;
        pc.position = at;
        m_changes.push_back(std::move(pc));
    }
    dropRow(at);
    if (afterDelete)
        afterDelete(*this);
}

void ClientDataSet::dropRow(int at)
{
    m_rows.erase(m_rows.begin() + at);
    if (m_disableCount == 0)
        emit rowsRemoved(at, 1);
    else
        m_resetWhileDisabled = true;
    const int current = m_current;
    m_current = -2;
    setCurrent(m_rows.empty() ? -1 : std::min(current > at ? current - 1 : at, recordCount() - 1));
    m_bof = m_eof = m_rows.empty();
}

int ClientDataSet::applyUpdates(int maxErrors)
{
    checkActive();
    checkBrowseMode();
    if (m_applying.active())
        return 0;
    std::vector<std::size_t> queue;
    for (std::size_t i = 0; i < m_changes.size(); ++i)
        if (!m_changes[i].refused)
            queue.push_back(i);
    if (queue.empty())
        return 0;
    checkCanWrite();
    const ReentryGuard::Scope applying(m_applying);

    std::vector<std::optional<PackedRow>> results(m_changes.size());
    std::vector<bool> ran(m_changes.size(), false);
    try {
        m_provider->beginApply();
    } catch (const DbError& e) {
        // Not sent at all (no session): the changes wait, marked, for the user to post again.
        for (std::size_t i : queue) {
            m_changes[i].refused = true;
            m_changes[i].message = e.message();
        }
        finishApply(queue, results, ran, false);
        throw;
    }
    // After a rollback, what ran stays done only where the rollback could not undo it.
    auto abandon = [&](bool rollback) {
        const bool undone = rollback ? m_provider->rollbackApply() : true;
        finishApply(queue, results, ran, !undone);
    };
    int errors = 0;
    for (std::size_t i : queue) {
        PendingChange& pc = m_changes[i];
        try {
            results[i] = m_provider->applyChange(pc.change);
            ran[i] = true;
        } catch (const DbError& e) {
            ++errors;
            pc.refused = true;
            pc.message = e.message();
            const bool stop = e.connectionLost() || (maxErrors >= 0 && errors > maxErrors);
            bool undone = true;
            if (stop)
                undone = m_provider->rollbackApply();
            if (onReconcileError) {
                try {
                    onReconcileError(*this, ReconcileInfo{e.message(), pc.change.kind});
                } catch (...) {
                    if (!stop)
                        undone = m_provider->rollbackApply();
                    finishApply(queue, results, ran, !undone);
                    throw;
                }
            }
            if (stop) {
                finishApply(queue, results, ran, !undone);
                return errors;
            }
        } catch (...) {
            abandon(true);
            throw;
        }
    }
    try {
        m_provider->commitApply();
    } catch (const DbError& e) {
        if (e.connectionLost())
            settleUnknownCommit(queue, results, ran);
        abandon(true);
        throw;
    } catch (...) {
        abandon(true);
        throw;
    }
    finishApply(queue, results, ran, true);
    return errors;
}

void ClientDataSet::finishApply(const std::vector<std::size_t>& queue,
                                std::vector<std::optional<PackedRow>>& results,
                                const std::vector<bool>& ran, bool keepRan)
{
    std::vector<PendingChange> remaining;
    std::vector<std::uint32_t> touched;
    for (std::size_t i = 0; i < m_changes.size(); ++i) {
        PendingChange& pc = m_changes[i];
        const bool inQueue = std::find(queue.begin(), queue.end(), i) != queue.end();
        if (inQueue)
            touched.push_back(pc.recordId);
        if (!inQueue || !ran[i] || !keepRan) {
            // A refused delete shows its row again, marked, instead of hiding it.
            if (pc.refused && pc.change.kind == ChangeKind::Delete)
                putBack(pc);
            remaining.push_back(std::move(pc));
            continue;
        }
        const int row = findRow(pc.recordId);
        if (pc.change.kind == ChangeKind::Delete || row < 0)
            continue;
        Record& rec = m_rows[static_cast<std::size_t>(row)];
        if (results[i]) {
            rec.row = std::move(*results[i]);
            m_unidentified.remove(rec.id);
            holdKey(rec.row);
        } else {
            m_unidentified.insert(rec.id, kUnidentified);
        }
    }
    m_changes = std::move(remaining);
    for (std::uint32_t id : touched)
        if (const int row = findRow(id); row >= 0)
            notifyRow(row);
}

void ClientDataSet::putBack(PendingChange& pc)
{
    if (findRow(pc.recordId) >= 0)
        return;
    const int at = std::clamp(pc.position, 0, recordCount());
    m_rows.insert(m_rows.begin() + at, Record{pc.change.original, pc.recordId});
    if (m_current >= at)
        ++m_current;
    if (m_disableCount == 0)
        emit rowsInserted(at, 1);
    else
        m_resetWhileDisabled = true;
    if (m_current < 0) {
        setCurrent(at);
        m_bof = m_eof = false;
    }
}

void ClientDataSet::settleUnknownCommit(const std::vector<std::size_t>& queue,
                                        std::vector<std::optional<PackedRow>>& results,
                                        const std::vector<bool>& ran)
{
    // Nothing is sent again blindly: each row is read back by its key, and what the server
    // holds decides. A change it does not hold is marked refused, to be posted again or
    // reverted by the user; a new row of unknown fate can only be refreshed.
    std::vector<bool> done = ran;
    std::vector<std::uint32_t> unknownInserts;
    int saved = 0;
    int notSaved = 0;
    int unknown = 0;
    for (std::size_t i : queue) {
        if (!ran[i])
            continue;
        PendingChange& pc = m_changes[i];
        std::optional<PackedRow> server;
        switch (m_provider->outcomeOf(pc.change, results[i], server)) {
        case Provider::Outcome::Saved:
            ++saved;
            if (server)
                results[i] = std::move(server);
            break;
        case Provider::Outcome::NotSaved:
            ++notSaved;
            done[i] = false;
            pc.refused = true;
            pc.message = kCommitLostNotSaved;
            break;
        case Provider::Outcome::Unknown:
            ++unknown;
            if (pc.change.kind == ChangeKind::Insert) {
                results[i].reset();
                unknownInserts.push_back(pc.recordId);
            } else {
                done[i] = false;
                pc.refused = true;
                pc.message = kCommitLostUnknown;
            }
            break;
        }
    }
    finishApply(queue, results, done, true);
    for (std::uint32_t id : unknownInserts)
        m_unidentified.insert(id, kCommitLostUnknown);
    throw DbError(QStringLiteral("The connection was lost while the changes were being "
                                 "committed. Read back from the server: %1 saved, %2 not saved, "
                                 "%3 unknown. Rows not saved are marked and are not sent again "
                                 "unless posted again.")
                      .arg(saved)
                      .arg(notSaved)
                      .arg(unknown),
                  0, true);
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
            if (row >= 0) // a refused delete already shows its row
                m_rows[static_cast<std::size_t>(row)].row = it->change.original;
            else
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

RowStatus ClientDataSet::rowStatus(int row) const
{
    if (row < 0 || row >= recordCount())
        return RowStatus::Saved;
    const std::uint32_t id = m_rows[static_cast<std::size_t>(row)].id;
    if (const int pending = findChange(id); pending >= 0)
        return m_changes[std::size_t(pending)].refused ? RowStatus::Refused : RowStatus::Pending;
    return m_unidentified.contains(id) ? RowStatus::Unidentified : RowStatus::Saved;
}

QString ClientDataSet::rowMessage(int row) const
{
    if (row < 0 || row >= recordCount())
        return {};
    const std::uint32_t id = m_rows[static_cast<std::size_t>(row)].id;
    if (const int pending = findChange(id); pending >= 0)
        return m_changes[std::size_t(pending)].message;
    return m_unidentified.value(id);
}

int ClientDataSet::refusedCount() const
{
    return static_cast<int>(std::count_if(m_changes.begin(), m_changes.end(),
                                          [](const PendingChange& pc) { return pc.refused; }));
}

void ClientDataSet::repostRefused()
{
    for (PendingChange& pc : m_changes) {
        if (!pc.refused)
            continue;
        pc.refused = false;
        pc.message.clear();
        if (const int row = findRow(pc.recordId); row >= 0)
            notifyRow(row);
    }
}

void ClientDataSet::revertRow()
{
    checkActive();
    const bool newRow = m_state == DataSetState::Insert;
    cancel();
    if (newRow || m_current < 0)
        return;
    Record& rec = m_rows[static_cast<std::size_t>(m_current)];
    const int pending = findChange(rec.id);
    if (pending < 0)
        return;
    const Change& change = m_changes[std::size_t(pending)].change;
    std::optional<PackedRow> server;
    if (change.kind != ChangeKind::Insert)
        server = m_provider->refetch(change.original);
    m_changes.erase(m_changes.begin() + pending);
    if (server) {
        rec.row = std::move(*server);
        notifyRow(m_current);
    } else {
        dropRow(m_current);
    }
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
