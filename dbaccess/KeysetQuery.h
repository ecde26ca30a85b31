#pragma once
/// The statements that read a table page by page in a total order, under a user's condition.

#include "Field.h"
#include "PackedRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

struct st_mysql_res;

namespace norvane::db {

/// One column of a page order.
struct OrderColumn
{
    QString name;
    bool descending = false;
};

/// What SHOW KEYS tells about paging a table.
struct TableIndexes
{
    /// The primary key, else the first unique key over whole non-null values; empty if none.
    QStringList key;
    /// The first column of every B-tree index over whole values (no prefix index), by the
    /// direction the index stores it in.
    QStringList leading;
    QStringList leadingDescending;
    /// True when an index can hand out rows in the order of `column`.
    bool leads(const QString& column) const;
    /// True when every index that leads with `column` stores it descending.
    bool leadsOnlyDescending(const QString& column) const;
};

/// Reads the result of `SHOW KEYS FROM t`.
TableIndexes indexesFrom(st_mysql_res* showKeys);

/// True when a column's values compare in SQL exactly as the server orders them, so that a
/// page can start after a value.
bool usableForRange(const FieldDef& def);

/// Builds `SELECT * FROM t WHERE (<filter>) AND (<after the last row>) ORDER BY ... LIMIT n`.
/// The order's columns end with a unique key, so each row comes exactly once and in order
/// whatever the filter holds; the filter itself can never reach past its parentheses
/// (`checkCondition`).
class KeysetQuery
{
public:
    KeysetQuery() = default;
    KeysetQuery(QByteArray table, QString filter, std::vector<OrderColumn> order);

    const QString& filter() const { return m_filter; }
    const std::vector<OrderColumn>& order() const { return m_order; }

    /// Finds the order's columns among a result's fields; false when one is missing or cannot
    /// start a page (`usableForRange`).
    bool bind(const std::vector<FieldDef>& defs);
    bool isBound() const { return !m_fields.empty(); }
    /// Remembers the order's values of the last row read; the next page starts after it.
    void rememberLast(const PackedRow& row);

    /// The statement of the next page of at most `limit` rows.
    QByteArray pageStatement(std::size_t limit) const;
    /// The rows after the last one remembered in the order's terms; empty before the first.
    QByteArray rangeCondition() const;
    /// The rows after the last one remembered, in one statement without a limit.
    QByteArray restStatement() const;
    /// Every row in one statement, in the order (for orders no index serves).
    QByteArray wholeStatement() const;
    /// A statement that has the server judge the filter without reading a row.
    QByteArray probeStatement() const;

    /// Throws `DbError` when a condition could end early, swallow the text after it or end the
    /// statement: a ")" without its "(", an unclosed "(" or quote, ";", a comment. The check
    /// holds whether or not backslashes escape in quotes (the server's sql_mode decides).
    static void checkCondition(const QString& condition);

private:
    QByteArray whereClause(const QByteArray& range) const;
    QByteArray orderClause() const;

    QByteArray m_table;
    QString m_filter;
    std::vector<OrderColumn> m_order;
    std::vector<int> m_fields;    ///< result field of each order column once bound
    std::vector<FieldDef> m_defs; ///< its definition, for literals
    std::vector<RawValue> m_last; ///< its value in the last row read
};

} // namespace norvane::db
