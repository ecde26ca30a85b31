#include "KeysetQuery.h"

#include "Connection.h"
#include "DbError.h"
#include "SqlLiterals.h"

#include <mysql.h>

#include <algorithm>
#include <array>

namespace norvane::db {

namespace {

QByteArray quoted(const QString& column)
{
    return Connection::quoteIdentifier(column).toUtf8();
}

enum class Flaw
{
    None,
    Control,
    Quote,
    Close,
    Open,
    Semicolon,
    Comment
};

/// The quoted token starting at `at`; returns the index of its closing quote, or -1.
qsizetype quoteEnd(const QString& text, qsizetype at, bool backslashEscapes)
{
    const QChar quote = text[at];
    for (qsizetype j = at + 1; j < text.size(); ++j) {
        if (backslashEscapes && text[j] == u'\\') {
            ++j;
            continue;
        }
        if (text[j] == quote) {
            if (j + 1 < text.size() && text[j + 1] == quote) {
                ++j;
                continue;
            }
            return j;
        }
    }
    return -1;
}

/// Scans a condition as the server's lexer does, with backslash escapes on or off in single
/// and double quotes (NO_BACKSLASH_ESCAPES turns both off; ANSI_QUOTES makes double quotes
/// identifiers, which never escape; backticks never do).
Flaw flawIn(const QString& text, bool singleEscapes, bool doubleEscapes)
{
    int depth = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < n ? text[i + 1] : QChar();
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return Flaw::Control;
        if (c == u'\'' || c == u'"' || c == u'`') {
            const bool escapes = c == u'\'' ? singleEscapes : c == u'"' && doubleEscapes;
            i = quoteEnd(text, i, escapes);
            if (i < 0)
                return Flaw::Quote;
            continue;
        }
        if (c == u'(')
            ++depth;
        else if (c == u')' && --depth < 0)
            return Flaw::Close;
        else if (c == u';')
            return Flaw::Semicolon;
        // "-- " needs a blank or control character after the dashes; "/*!" and "/*M!" are run
        // by the server, so no comment is allowed at all.
        else if (c == u'#' || (c == u'/' && next == u'*') ||
                 (c == u'-' && next == u'-' && (i + 2 == n || text[i + 2].unicode() <= 0x20)))
            return Flaw::Comment;
    }
    return depth > 0 ? Flaw::Open : Flaw::None;
}

QString flawMessage(Flaw flaw)
{
    switch (flaw) {
    case Flaw::Control:
        return QStringLiteral("The filter contains a control character.");
    case Flaw::Quote:
        return QStringLiteral("The filter has a quote that is not closed.");
    case Flaw::Close:
        return QStringLiteral("The filter has a \")\" without its \"(\".");
    case Flaw::Open:
        return QStringLiteral("The filter has a \"(\" that is not closed.");
    case Flaw::Semicolon:
        return QStringLiteral("The filter is one condition: \";\" is not allowed outside quotes.");
    case Flaw::Comment:
        return QStringLiteral("The filter cannot contain a comment (\"-- \", \"#\" or \"/*\").");
    case Flaw::None:
        break;
    }
    return {};
}

} // namespace

bool TableIndexes::leads(const QString& column) const
{
    return leading.contains(column, Qt::CaseInsensitive) ||
           leadingDescending.contains(column, Qt::CaseInsensitive);
}

bool TableIndexes::leadsOnlyDescending(const QString& column) const
{
    return !leading.contains(column, Qt::CaseInsensitive) &&
           leadingDescending.contains(column, Qt::CaseInsensitive);
}

TableIndexes indexesFrom(st_mysql_res* showKeys)
{
    TableIndexes out;
    if (!showKeys)
        return out;
    // Columns: Table, Non_unique, Key_name, Seq_in_index, Column_name, Collation,
    // Cardinality, Sub_part, Packed, Null, Index_type, ...
    struct Key
    {
        QString name;
        QStringList columns;
        bool usable = true;
    };
    std::vector<Key> candidates;
    while (MYSQL_ROW row = mysql_fetch_row(showKeys)) {
        const bool prefix = row[7] != nullptr;
        const bool btree = !row[10] || QByteArray(row[10]) == "BTREE";
        if (row[3] && QByteArray(row[3]) == "1" && row[4] && !prefix && btree)
            (row[5] && QByteArray(row[5]) == "D" ? out.leadingDescending : out.leading)
                .append(QString::fromUtf8(row[4]));
        if (!row[1] || QByteArray(row[1]) != "0")
            continue;
        const QString keyName = QString::fromUtf8(row[2]);
        if (candidates.empty() || candidates.back().name != keyName)
            candidates.push_back({keyName, {}, true});
        Key& k = candidates.back();
        k.columns.append(QString::fromUtf8(row[4] ? row[4] : ""));
        const bool nullable = row[9] && QByteArray(row[9]) == "YES";
        if (prefix || nullable || !btree || !row[4])
            k.usable = false;
    }
    auto pick = std::find_if(candidates.begin(), candidates.end(), [](const Key& k) {
        return k.usable && k.name == QLatin1String("PRIMARY");
    });
    if (pick == candidates.end())
        pick = std::find_if(candidates.begin(), candidates.end(),
                            [](const Key& k) { return k.usable; });
    if (pick != candidates.end())
        out.key = pick->columns;
    return out;
}

bool usableForRange(const FieldDef& def)
{
    // ENUM orders by member number but compares as text; floating point values do not compare
    // equal to their text; large objects have no full-length index.
    return !def.isEnumOrSet && !def.isBit && def.type != FieldType::ftFloat &&
           !def.isLargeObject() && def.type != FieldType::ftUnknown;
}

KeysetQuery::KeysetQuery(QByteArray table, QString filter, std::vector<OrderColumn> order)
    : m_table(std::move(table)), m_filter(std::move(filter)), m_order(std::move(order))
{
    checkCondition(m_filter);
}

void KeysetQuery::checkCondition(const QString& condition)
{
    for (const bool single : {true, false})
        for (const bool dbl : {true, false})
            if (const Flaw flaw = flawIn(condition, single, dbl); flaw != Flaw::None)
                throw DbError(flawMessage(flaw));
}

bool KeysetQuery::bind(const std::vector<FieldDef>& defs)
{
    m_fields.clear();
    m_defs.clear();
    m_last.clear();
    for (const OrderColumn& column : m_order) {
        const auto found = std::find_if(defs.begin(), defs.end(), [&](const FieldDef& d) {
            return d.originalName.compare(column.name, Qt::CaseInsensitive) == 0;
        });
        if (found == defs.end() || !usableForRange(*found)) {
            m_fields.clear();
            m_defs.clear();
            return false;
        }
        m_fields.push_back(static_cast<int>(found - defs.begin()));
        m_defs.push_back(*found);
    }
    return !m_fields.empty();
}

void KeysetQuery::rememberLast(const PackedRow& row)
{
    m_last.clear();
    for (int field : m_fields)
        m_last.push_back(row.value(field));
}

QByteArray KeysetQuery::rangeCondition() const
{
    if (m_last.empty() || m_last.size() != m_order.size())
        return {};
    // Expanded form: MariaDB scans the index from its start for a row comparison (a, b) > (x, y)
    // but makes ranges of "a > x OR (a = x AND b > y)". NULL sorts before every value, so it
    // comes first ascending and last descending, and only IS [NOT] NULL finds it.
    QByteArrayList terms;
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        const QByteArray col = quoted(m_order[i].name);
        const RawValue& last = m_last[i];
        QByteArray after;
        if (!last) {
            if (m_order[i].descending)
                continue; // nothing follows NULL descending
            after = col + " IS NOT NULL";
        } else {
            after = col + (m_order[i].descending ? " < " : " > ") + sqlLiteral(m_defs[i], *last);
            if (m_order[i].descending && !m_defs[i].notNull)
                after = '(' + after + " OR " + col + " IS NULL)";
        }
        QByteArrayList parts;
        for (std::size_t j = 0; j < i; ++j)
            parts.append(quoted(m_order[j].name) +
                         (m_last[j] ? " = " + sqlLiteral(m_defs[j], *m_last[j]) : " IS NULL"));
        parts.append(after);
        terms.append('(' + parts.join(" AND ") + ')');
    }
    return terms.isEmpty() ? QByteArray("FALSE") : terms.join(" OR ");
}

QByteArray KeysetQuery::whereClause(const QByteArray& range) const
{
    QByteArrayList parts;
    if (!m_filter.trimmed().isEmpty())
        parts.append('(' + m_filter.toUtf8() + ')');
    if (!range.isEmpty())
        parts.append('(' + range + ')');
    return parts.isEmpty() ? QByteArray() : " WHERE " + parts.join(" AND ");
}

QByteArray KeysetQuery::orderClause() const
{
    QByteArrayList columns;
    for (const OrderColumn& c : m_order)
        columns.append(quoted(c.name) + (c.descending ? " DESC" : ""));
    return columns.isEmpty() ? QByteArray() : " ORDER BY " + columns.join(", ");
}

QByteArray KeysetQuery::pageStatement(std::size_t limit) const
{
    return "SELECT * FROM " + m_table + whereClause(rangeCondition()) + orderClause() + " LIMIT " +
           QByteArray::number(qulonglong(limit));
}

QByteArray KeysetQuery::restStatement() const
{
    return "SELECT * FROM " + m_table + whereClause(rangeCondition()) + orderClause();
}

QByteArray KeysetQuery::wholeStatement() const
{
    return "SELECT * FROM " + m_table + whereClause({}) + orderClause();
}

QByteArray KeysetQuery::probeStatement() const
{
    return "SELECT 1 FROM " + m_table + whereClause({}) + " LIMIT 0";
}

} // namespace norvane::db
