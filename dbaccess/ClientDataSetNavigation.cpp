// The cached dataset's fetching and moving: packets from the provider, a walk to the end, the
// cursor and bookmarks.
#include "ClientDataSet.h"

#include <algorithm>
#include <limits>

namespace norvane::db {

namespace {

constexpr std::size_t kLongWalkPage = 10000;

} // namespace

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
    // A background read may have no rows at hand yet; only its end ends the fetching. Whether
    // it still runs is asked first: asking for the end takes in what the reader handed over
    // meanwhile, so a read that ended just now may still hold its last rows.
    const bool fetching = m_provider->isFetching();
    const SqlSource* source = m_provider->source();
    if (!fetching && source && source->canResume()) {
        // Stopped or failed part way: the rest is still on the server (`continueRead`).
        disconnect(m_arrivals);
    } else if (m_provider->atEnd() || (!gotRows && !fetching)) {
        m_allFetched = true;
        disconnect(m_arrivals);
    }
}

bool ClientDataSet::continueRead()
{
    SqlSource* source = m_provider ? m_provider->source() : nullptr;
    if (!source || !source->canResume()) {
        m_readEndPassed = false;
        return true;
    }
    // A read that was stopped or failed ends the walk that was reading it (or, when none was,
    // the next one), so that Stop ends a Last or an export there; the walk after it reads the
    // rest in pages after the last row held.
    if (!m_readEndPassed) {
        m_readEndPassed = true;
        return false;
    }
    m_readEndPassed = false;
    source->resumePaging();
    return true;
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
    if (!active() || m_allFetched || !m_provider || !continueRead())
        return 0;
    return fetchPacket();
}

int ClientDataSet::fetchPacket()
{
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

void ClientDataSet::readAhead(bool reported)
{
    if (!active() || m_allFetched || !m_provider || !m_provider->source() ||
        m_provider->isFetching())
        return;
    // A read that ended early, where a walk has stopped already, is read afresh from there.
    if (m_readEndPassed && m_provider->source()->canResume()) {
        m_readEndPassed = false;
        m_provider->source()->resumePaging();
    }
    m_provider->source()->readRestInBackground(reported);
    // The rest joins the rows as it arrives, as a background read's rows do after an open.
    disconnect(m_arrivals);
    if (m_provider->isFetching())
        m_arrivals = connect(m_provider->source(), &SqlSource::rowsAvailable, this,
                             &ClientDataSet::takeArrivedRows);
}

void ClientDataSet::fetchAll()
{
    if (!active() || m_allFetched || !m_provider || !continueRead())
        return;
    readAhead();
    // A long walk reads ahead in large pages; PacketRecords only sizes the lazy fetches.
    while (!m_allFetched && continueRead()) {
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
    while (row >= recordCount() && active() && !m_allFetched && m_provider && continueRead()) {
        if (fetchPacket() == 0 && !waitForArrivals() && m_allFetched)
            break;
    }
    return row >= 0 && row < recordCount();
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

int ClientDataSet::findRow(std::uint32_t recordId) const
{
    if (m_current >= 0 && m_rows[static_cast<std::size_t>(m_current)].id == recordId)
        return m_current;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == recordId)
            return static_cast<int>(i);
    return -1;
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

} // namespace norvane::db
