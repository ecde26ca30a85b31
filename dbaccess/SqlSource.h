#pragma once
/// The statement and table sources (`sqry...`, `MainSQLQuery`).

#include "Connection.h"
#include "Field.h"
#include "KeysetQuery.h"
#include "PackedRow.h"
#include "ResultStream.h"

#include <QObject>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace norvane::db {

/// Reads the rows of either SQL text (its lines sent as one statement) or a table (all rows and
/// columns, or those meeting a filter, in key order or ordered by one column). A table with a
/// primary key or a unique key on non-null columns is read in keyset pages (`KeysetQuery`,
/// each page read to its end), so the session stays free for other statements while the table
/// is only partly fetched; so is an order by a column an index leads with (the key appended).
/// Free SQL, tables without such a key and orders no index serves are read in the background
/// (`ResultStream`): the open returns with the first rows, the rest arrives while the window
/// works on (`rowsAvailable`).
///
/// For the catalogue it is also a simple forward cursor: `open()`, then `eof()`, `next()` and
/// the fields of the current row (`fieldByName` ignores letter case).
class SqlSource : public QObject, private RecordAccess
{
    Q_OBJECT

public:
    explicit SqlSource(Connection* connection = nullptr, QObject* parent = nullptr);
    ~SqlSource() override;

    void setConnection(Connection* connection);
    Connection* connection() const { return m_connection; }

    /// The statement text, one entry per line; setting it switches to statement mode.
    QStringList sql() const { return m_sql; }
    void setSql(const QStringList& lines);
    void setSql(const QString& text);
    void clearSql();
    void addSql(const QString& line);
    /// A table to read; setting it switches to table mode. With a database every statement on
    /// the table names it; without, the database the session uses at open is named.
    void setTableName(const QString& name, const QString& database = {});
    QString tableName() const { return m_tableName; }
    /// A condition in SQL (what follows WHERE) that a table's rows must meet; empty for all.
    /// Opening refuses one that could reach past its parentheses (`KeysetQuery::checkCondition`).
    void setFilter(const QString& condition);
    QString filter() const { return m_filter; }
    /// Orders a table's rows by `column` (a column name; empty: key order), the key after it.
    void setSortColumn(const QString& column, bool descending = false);
    QString sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_sortDescending; }
    /// Throws `DbError` with the reason when the table's source would refuse `condition` as its
    /// filter: its text (`KeysetQuery::checkCondition`) or the server's judgement, asked
    /// without reading a row. Needs the connection open; leaves this source as it is.
    void checkFilter(const QString& condition);
    /// True (the default) while statement mode runs statements the user wrote, under the
    /// session settings the user chose; false for the application's catalogue statements.
    void setUserStatements(bool user) { m_userStatements = user; }
    bool isTableMode() const { return !m_tableName.isEmpty(); }

    /// Opens the connection when closed (last settings), runs the statement and reads the first
    /// page. A statement without a result set is still carried out; opening then fails with
    /// "<objectName>: Cursor not returned from Query".
    void open();
    void close();
    bool isActive() const { return m_active; }

    const std::vector<FieldDef>& fieldDefs() const { return m_defs; }
    const std::vector<std::unique_ptr<Field>>& fields() const { return m_fields; }
    int fieldCount() const { return static_cast<int>(m_defs.size()); }
    /// Fields over the current row of the forward cursor.
    Field& field(int index);
    Field* findField(const QString& name);
    /// Throws `DbError` "Field '<name>' not found" when there is no such column.
    Field& fieldByName(const QString& name);

    bool eof();
    void next();

    /// The table's unique key used for paging and write-back (column names), empty if none.
    const QStringList& keyColumns() const { return m_keyColumns; }
    bool isKeysetPaged() const { return m_keyset; }
    /// Storage engine of the table ("InnoDB", "MyISAM", ...); empty in statement mode.
    QString engine() const { return m_engine; }
    /// The server's estimate of the table's rows, read at open; none for views and statements.
    std::optional<qulonglong> rowEstimate() const { return m_rowEstimate; }
    /// The table as SQL text, qualified with the database given with the table name (else the
    /// one the session used at open), so that a USE in the console does not send pages or
    /// write-backs to another database's table of the same name.
    QByteArray qualifiedTableName() const;

    /// Hands over up to `maxRows` rows in order; fewer only at the end of the result.
    std::vector<PackedRow> takeRows(std::size_t maxRows);
    /// True when every row was handed over (or the source is closed).
    bool atEnd() const;
    /// Rows read from the server but not yet handed over by `takeRows`.
    std::size_t pendingRows() const;
    /// True while the rest of the result is read in the background.
    bool isFetching() const;
    /// Processes events (the session busy, Stop offered) until more rows can be taken or the
    /// background read has ended.
    void waitForRows();
    /// Ends the background read; the rows read so far stay.
    void stopFetch();
    /// For a walk to the end (Last, an export): a table read in keyset pages reads the rest of
    /// its rows in one statement in the background instead of page by page, in the same order
    /// and under the same filter. The session is busy until the read ends. A read that is
    /// stopped or fails leaves the result incomplete (`incomplete`, `readError`) until
    /// `resumePaging`: the rows after the last one handed over are still on the server.
    /// With `reported` the connection tells its listeners how far the read came and how it
    /// ended; a walk that reports its own progress and failure (an export) passes false.
    void readRestInBackground(bool reported = true);
    /// True when a background read of a keyset-paged table ended early and every row it read
    /// was handed over: the rest can be read in pages (`resumePaging`).
    bool canResume() const;
    /// Forgets the ended read; the next rows are read in pages after the last row handed over.
    void resumePaging();
    /// Whether the connection reports the running background read (see `readRestInBackground`).
    void setReadReported(bool reported);
    /// True when the background read ended before the end of the result.
    bool incomplete() const;
    /// The error that ended the background read early; empty when it was stopped or read all.
    std::optional<DbError> readError() const;
    /// The block storage of the rows read since open; holders of those rows keep it alive.
    RowArena::Ptr arena() const { return m_arena; }
    /// True once rows were handed over or stepped past since open.
    bool consumed() const { return m_consumed; }

signals:
    /// More rows of the background read can be taken, or the read has ended.
    void rowsAvailable();

private:
    static constexpr std::size_t kFirstPage = 100;
    static constexpr std::size_t kLargestPage = 10000;

    RawValue fieldValue(int index) const override;
    void setFieldValue(int index, const RawValue& value) override;

    void openTable();
    void openStatement();
    void readWhole();
    /// Reads a whole-table statement (the table's SELECT) in the background.
    void readWhole(const QByteArray& select);
    void readResult();
    bool readPage(std::size_t rows);
    void detectKey();
    void setDefs(st_mysql_res* res);
    /// The sort column (when set), then the key columns not already in it.
    std::vector<OrderColumn> pageOrder() const;
    QByteArray qualifiedName(const QString& database) const;
    [[noreturn]] void failNoCursor();

    Connection* m_connection = nullptr;
    QStringList m_sql;
    QString m_tableName;
    QString m_tableDatabase;
    bool m_userStatements = true;
    bool m_active = false;
    bool m_keyset = false;
    bool m_allRead = false;
    QStringList m_keyColumns;
    TableIndexes m_indexes;
    QString m_filter;
    QString m_sortColumn;
    bool m_sortDescending = false;
    KeysetQuery m_query;
    QString m_engine;
    std::optional<qulonglong> m_rowEstimate;
    QString m_database;
    std::vector<FieldDef> m_defs;
    std::vector<std::unique_ptr<Field>> m_fields;
    std::deque<PackedRow> m_buffer;
    RowArena::Ptr m_arena;
    std::size_t m_pageSize = 100;
    bool m_consumed = false;
    std::unique_ptr<ResultStream> m_stream;
};

} // namespace norvane::db
