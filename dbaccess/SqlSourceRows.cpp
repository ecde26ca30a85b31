// Reading a source's rows: pages, the background read, the hand-over to the dataset and the
// forward cursor.
#include "SqlSource.h"

#include <mysql.h>

#include <algorithm>

namespace norvane::db {

void SqlSource::readWhole()
{
    readWhole(m_query.wholeStatement());
}

void SqlSource::readWhole(const QByteArray& select)
{
    m_connection->sendQuery(select);
    readResult();
}

/// Starts the background read of the statement just sent and waits for its first rows. An
/// error within them fails the open, as a statement refused at once does.
void SqlSource::readResult()
{
    ResultPtr res = m_connection->useResult();
    setDefs(res.get());
    m_stream = std::make_unique<ResultStream>(m_connection, std::move(res), fieldCount(), m_arena);
    connect(m_stream.get(), &ResultStream::rowsArrived, this, &SqlSource::rowsAvailable);
    m_stream->start(kFirstPage);
    m_stream->waitForRows(kFirstPage);
    // The first rows are the forward cursor's current row too.
    for (PackedRow& row : m_stream->take(kFirstPage))
        m_buffer.push_back(std::move(row));
    if (m_stream->running()) {
        m_stream->setReported(true);
    } else if (m_stream->error()) {
        const DbError error = *m_stream->error();
        m_stream.reset();
        throw error;
    }
    m_allRead = true;
}

void SqlSource::readRestInBackground(bool reported)
{
    if (!m_active || !m_keyset || m_allRead || m_stream || !m_query.isBound())
        return;
    // A closed connection (log off) ends the rows, as it does for pages.
    if (!m_connection->isConnected() && !m_connection->wasLost())
        return;
    // The rows after the last one paged in, in the same order and under the same filter: one
    // statement the server streams, instead of a page statement (and its index descent) for
    // every few thousand rows.
    const unsigned columns = m_connection->sendQuery(m_query.restStatement());
    ResultPtr res = m_connection->useResult();
    if (columns != static_cast<unsigned>(fieldCount())) {
        res.reset();
        m_connection->drainResults();
        throw DbError(QStringLiteral("The table's columns changed while it was read; refresh it"));
    }
    m_stream = std::make_unique<ResultStream>(m_connection, std::move(res), fieldCount(), m_arena);
    connect(m_stream.get(), &ResultStream::rowsArrived, this, &SqlSource::rowsAvailable);
    m_stream->setReported(reported);
    m_stream->start(0);
    m_allRead = true;
}

bool SqlSource::canResume() const
{
    return m_active && m_keyset && m_stream && m_stream->incomplete() && m_stream->atEnd() &&
           m_query.isBound();
}

void SqlSource::resumePaging()
{
    if (!canResume())
        return;
    m_stream.reset();
    m_allRead = false;
}

std::size_t SqlSource::pendingRows() const
{
    return m_buffer.size() + (m_stream ? m_stream->waiting() : 0);
}

bool SqlSource::isFetching() const
{
    return m_stream && m_stream->running();
}

void SqlSource::waitForRows()
{
    if (m_stream)
        m_stream->waitForMore();
}

void SqlSource::setReadReported(bool reported)
{
    if (m_stream)
        m_stream->setReported(reported);
}

void SqlSource::stopFetch()
{
    if (m_stream)
        m_stream->stopAndWait();
}

bool SqlSource::incomplete() const
{
    return m_stream && m_stream->incomplete();
}

std::optional<DbError> SqlSource::readError() const
{
    if (!incomplete() || m_stream->stopped())
        return std::nullopt;
    return m_stream->error();
}

bool SqlSource::readPage(std::size_t rows)
{
    if (m_allRead)
        return false;
    ResultPtr res = m_connection->query(m_query.pageStatement(rows));
    if (!res)
        failNoCursor();
    setDefs(res.get());
    // The first page shows whether the order's columns can start a page.
    if (!m_query.isBound() && !m_query.bind(m_defs))
        return false;
    const int n = fieldCount();
    std::size_t got = 0;
    PackedRow lastRow;
    while (MYSQL_ROW row = mysql_fetch_row(res.get())) {
        m_buffer.push_back(
            PackedRow::fromArrays(row, mysql_fetch_lengths(res.get()), n, m_arena.get()));
        ++got;
    }
    if (got > 0)
        m_query.rememberLast(m_buffer.back());
    if (got < rows)
        m_allRead = true;
    return got > 0;
}

std::vector<PackedRow> SqlSource::takeRows(std::size_t maxRows)
{
    std::vector<PackedRow> out;
    if (!m_active)
        return out;
    while (m_buffer.size() < maxRows && !m_allRead && m_keyset) {
        // A closed connection (log off) ends the rows; a dropped one is reopened.
        if (!m_connection->isConnected() && !m_connection->wasLost()) {
            m_allRead = true;
            break;
        }
        const std::size_t want = std::max(maxRows - m_buffer.size(), m_pageSize);
        m_pageSize = std::min(m_pageSize * 2, kLargestPage);
        readPage(want);
    }
    const std::size_t n = std::min(maxRows, m_buffer.size());
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(std::move(m_buffer.front()));
        m_buffer.pop_front();
    }
    if (m_stream && out.size() < maxRows) {
        std::vector<PackedRow> more = m_stream->take(maxRows - out.size());
        // Pages start again after the last row handed over should the read end early.
        if (m_keyset && !more.empty())
            m_query.rememberLast(more.back());
        if (out.empty())
            out = std::move(more);
        else
            std::move(more.begin(), more.end(), std::back_inserter(out));
    }
    m_consumed = m_consumed || !out.empty();
    return out;
}

bool SqlSource::atEnd() const
{
    return !m_active ||
           (m_allRead && m_buffer.empty() && (!m_stream || m_stream->atEnd()) && !canResume());
}

Field& SqlSource::field(int index)
{
    if (index < 0 || index >= fieldCount())
        throw DbError(QStringLiteral("Field index out of range"));
    return *m_fields[static_cast<std::size_t>(index)];
}

Field* SqlSource::findField(const QString& name)
{
    for (auto& f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& SqlSource::fieldByName(const QString& name)
{
    if (Field* f = findField(name))
        return *f;
    throw DbError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
}

bool SqlSource::eof()
{
    if (!m_active)
        return true;
    // The forward cursor takes the background read's rows one wait at a time.
    if (m_buffer.empty() && m_stream) {
        m_stream->waitForRows(1);
        for (PackedRow& row : m_stream->take(m_stream->waiting()))
            m_buffer.push_back(std::move(row));
    }
    if (m_buffer.empty() && !m_allRead && m_keyset) {
        if (!m_connection->isConnected() && !m_connection->wasLost())
            m_allRead = true;
        else
            readPage(m_pageSize);
    }
    return m_buffer.empty();
}

void SqlSource::next()
{
    if (!m_buffer.empty()) {
        m_buffer.pop_front();
        m_consumed = true;
    }
    eof();
}

RawValue SqlSource::fieldValue(int index) const
{
    if (m_buffer.empty())
        return std::nullopt;
    return m_buffer.front().value(index);
}

void SqlSource::setFieldValue(int, const RawValue&)
{
    throw DbError(QStringLiteral("%1: Cannot modify a read-only dataset").arg(objectName()));
}

} // namespace norvane::db
