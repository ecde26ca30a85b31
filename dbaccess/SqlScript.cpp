#include "SqlScript.h"

#include <QRegularExpression>
#include <QStringList>

namespace norvane::db {

namespace {
bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

class Splitter
{
public:
    Splitter(const QString& script, bool backslashEscapes)
        : s(script), n(script.size()), m_backslash(backslashEscapes)
    {
    }

    ScriptSplit run()
    {
        qsizetype i = 0;
        while (i < n) {
            if (m_begin < 0 && atLineStart(i) && delimiterCommand(i))
                continue;
            const QChar c = s[i];
            if (m_begin < 0 && c.isSpace()) {
                ++i;
                continue;
            }
            if (s.mid(i, m_delimiter.size()).compare(m_delimiter, Qt::CaseInsensitive) == 0) {
                finish();
                i += m_delimiter.size();
                continue;
            }
            if (qsizetype next = skipComment(i); next > i) {
                i = next;
                continue;
            }
            if (m_begin < 0)
                m_begin = i;
            i = skipToken(i);
            if (!c.isSpace())
                m_contentEnd = i;
        }
        finish();
        return std::move(m_out);
    }

private:
    bool atLineStart(qsizetype i) const { return i == 0 || s[i - 1] == u'\n'; }

    qsizetype lineEnd(qsizetype i) const
    {
        const qsizetype nl = s.indexOf(u'\n', i);
        return nl < 0 ? n : nl;
    }

    // A "DELIMITER x" line between statements sets the delimiter to its first word. Moves `i`
    // past the line when it is one.
    bool delimiterCommand(qsizetype& i)
    {
        static const QRegularExpression re(QStringLiteral("^[ \\t]*delimiter[ \\t]+(\\S+)"),
                                           QRegularExpression::CaseInsensitiveOption);
        const qsizetype end = lineEnd(i);
        const auto match = re.match(QStringView(s).mid(i, end - i));
        if (!match.hasMatch())
            return false;
        m_delimiter = match.captured(1);
        m_out.delimiterChanged = true;
        i = end;
        return true;
    }

    // Past the comment starting at `i`; `i` itself when none starts there. "-- " needs a blank
    // or control character after the dashes; "/*!" and "/*M!" hold text the server runs.
    qsizetype skipComment(qsizetype i) const
    {
        const QChar c = s[i];
        const QChar next = i + 1 < n ? s[i + 1] : QChar();
        if (c == u'#')
            return lineEnd(i);
        if (c == u'-' && next == u'-' && (i + 2 == n || s[i + 2].unicode() <= 0x20))
            return lineEnd(i);
        if (c == u'/' && next == u'*' && !executableComment(i)) {
            const qsizetype close = s.indexOf(QLatin1String("*/"), i + 2);
            return close < 0 ? n : close + 2;
        }
        return i;
    }

    bool executableComment(qsizetype i) const
    {
        return s.mid(i, 3) == QLatin1String("/*!") || s.mid(i, 4) == QLatin1String("/*M!");
    }

    // Past one piece of statement text: a whole quoted string, backtick identifier or
    // executable comment, or a single character.
    qsizetype skipToken(qsizetype i) const
    {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            const bool escapes = m_backslash && c != u'`';
            for (qsizetype j = i + 1; j < n; ++j) {
                if (escapes && s[j] == u'\\') {
                    ++j;
                } else if (s[j] == c) {
                    if (j + 1 < n && s[j + 1] == c)
                        ++j;
                    else
                        return j + 1;
                }
            }
            return n;
        }
        if (c == u'/' && executableComment(i)) {
            const qsizetype close = s.indexOf(QLatin1String("*/"), i + 2);
            return close < 0 ? n : close + 2;
        }
        return i + 1;
    }

    void finish()
    {
        if (m_begin < 0)
            return;
        for (; m_countedTo < m_begin; ++m_countedTo)
            if (s[m_countedTo] == u'\n')
                ++m_lines;
        m_out.statements.push_back(
            {s.mid(m_begin, m_contentEnd - m_begin), m_begin, m_contentEnd, m_lines});
        m_begin = -1;
    }

    const QString& s;
    const qsizetype n;
    const bool m_backslash;
    QString m_delimiter = QStringLiteral(";");
    qsizetype m_begin = -1;
    qsizetype m_contentEnd = 0;
    qsizetype m_countedTo = 0;
    int m_lines = 0;
    ScriptSplit m_out;
};

// The leading words of a statement in capitals, up to the first "(" (comments skipped, a
// quoted name counts as the word "`").
QStringList leadingWords(const QString& statement, int limit)
{
    QStringList words;
    const qsizetype n = statement.size();
    qsizetype i = 0;
    while (i < n && words.size() < limit) {
        const QChar c = statement[i];
        if (c == u'(')
            break;
        if (c == u'#' || (c == u'-' && statement.mid(i, 3).trimmed() == QLatin1String("--"))) {
            const qsizetype nl = statement.indexOf(u'\n', i);
            i = nl < 0 ? n : nl + 1;
        } else if (statement.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype close = statement.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? n : close + 2;
        } else if (c == u'`' || c == u'\'' || c == u'"') {
            const qsizetype close = statement.indexOf(c, i + 1);
            i = close < 0 ? n : close + 1;
            words << QStringLiteral("`");
        } else if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(statement[j]))
                ++j;
            words << statement.mid(i, j - i).toUpper();
            i = j;
        } else {
            ++i;
        }
    }
    return words;
}
} // namespace

ScriptSplit splitSqlScript(const QString& script, bool backslashEscapes)
{
    return Splitter(script, backslashEscapes).run();
}

bool changesTableList(const QString& statement)
{
    const QStringList words = leadingWords(statement, 64);
    if (words.isEmpty())
        return false;
    const QString& verb = words.first();
    const QStringList head = words.mid(0, 12);
    const bool namesTable = head.contains(QLatin1String("TABLE"));
    if (verb == QLatin1String("CREATE") || verb == QLatin1String("DROP"))
        return namesTable || head.contains(QLatin1String("VIEW"));
    if (verb == QLatin1String("RENAME"))
        return namesTable;
    if (verb == QLatin1String("ALTER") && namesTable) {
        // ALTER TABLE ... RENAME [TO|AS] renames the table; RENAME COLUMN/INDEX/KEY do not.
        static const QStringList notTable = {QStringLiteral("COLUMN"), QStringLiteral("INDEX"),
                                             QStringLiteral("KEY")};
        for (qsizetype i = 0; i < words.size(); ++i)
            if (words[i] == QLatin1String("RENAME") &&
                (i + 1 == words.size() || !notTable.contains(words[i + 1])))
                return true;
    }
    return false;
}

int errorLine(const QString& message)
{
    // The server puts the line last; the same words inside a quoted value earlier in the
    // message are data, not a place.
    static const QRegularExpression re(QStringLiteral("\\bat line (\\d+)\\s*$"));
    const auto match = re.match(message);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace norvane::db
