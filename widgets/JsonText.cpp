#include "JsonText.h"

#include <QCoreApplication>

#include <vector>

namespace norvane::widgets {

namespace {

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

/// What the reader may see next.
enum class Want
{
    Value,
    FirstMember,  ///< after '{': a name or '}'
    Member,       ///< after ',' in an object: a name
    Colon,        ///< after a member name
    FirstElement, ///< after '[': a value or ']'
    Next,         ///< after a value inside a container: ',' or the closing bracket
};

class Reader
{
public:
    explicit Reader(QStringView text) : m_text(text), m_limit(4 * text.size() + 65536)
    {
        m_out.reserve(text.size() + 64);
    }

    JsonCheck run()
    {
        for (;;) {
            skipSpace();
            if (m_at == m_text.size()) {
                if (m_done)
                    break;
                return fail(tr("unexpected end of text"));
            }
            if (m_done)
                return fail(tr("text after the end of the value"));
            if (!step())
                return m_result;
        }
        m_result.valid = true;
        m_result.indented = m_plain ? m_text.toString() : std::move(m_out);
        return m_result;
    }

private:
    static QString tr(const char* text) { return QCoreApplication::translate("JsonText", text); }

    void skipSpace()
    {
        while (m_at < m_text.size()) {
            const QChar c = m_text[m_at];
            if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
                return;
            ++m_at;
        }
    }

    // Deep nesting would indent each line further: past a few times the text's own size the
    // reader stops indenting and only checks, and the text is shown as it is.
    void put(QStringView text)
    {
        if (m_plain)
            return;
        m_out += text;
        if (m_out.size() > m_limit) {
            m_plain = true;
            m_out = QString();
        }
    }
    void put(QChar c) { put(QStringView(&c, 1)); }

    void newLine()
    {
        put(u'\n');
        if (!m_plain)
            put(QString(static_cast<qsizetype>(m_stack.size()) * 4, u' '));
    }

    void afterValue()
    {
        if (m_stack.empty())
            m_done = true;
        else
            m_want = Want::Next;
    }

    bool close(QChar bracket)
    {
        m_stack.pop_back();
        if (m_want == Want::Next)
            newLine();
        put(bracket);
        ++m_at;
        afterValue();
        return true;
    }

    bool step()
    {
        const QChar c = m_text[m_at];
        switch (m_want) {
        case Want::FirstMember:
            if (c == u'}')
                return close(c);
            [[fallthrough]];
        case Want::Member:
            if (c != u'"')
                return failed(tr("a member name in double quotes expected"));
            newLine();
            if (!string())
                return false;
            m_want = Want::Colon;
            return true;
        case Want::Colon:
            if (c != u':')
                return failed(tr("':' expected"));
            put(u": ");
            ++m_at;
            m_want = Want::Value;
            return true;
        case Want::FirstElement:
            if (c == u']')
                return close(c);
            newLine();
            [[fallthrough]];
        case Want::Value:
            return value(c);
        case Want::Next:
            if (c == u',') {
                put(u',');
                ++m_at;
                if (m_stack.back() == u'{') {
                    m_want = Want::Member;
                } else {
                    newLine();
                    m_want = Want::Value;
                }
                return true;
            }
            if ((c == u'}' && m_stack.back() == u'{') || (c == u']' && m_stack.back() == u'['))
                return close(c);
            return failed(tr("',' or a closing bracket expected"));
        }
        return false;
    }

    bool value(QChar c)
    {
        if (c == u'{' || c == u'[') {
            put(c);
            m_stack.push_back(c.unicode());
            ++m_at;
            m_want = c == u'{' ? Want::FirstMember : Want::FirstElement;
            return true;
        }
        if (c == u'"') {
            if (!string())
                return false;
        } else if (c == u'-' || isDigit(c)) {
            if (!number())
                return false;
        } else if (!literal()) {
            return false;
        }
        afterValue();
        return true;
    }

    bool string()
    {
        const qsizetype start = m_at;
        qsizetype i = m_at + 1;
        for (;;) {
            if (i >= m_text.size())
                return failed(tr("unterminated string"));
            const QChar c = m_text[i];
            if (c == u'"')
                break;
            if (c == u'\\') {
                if (i + 1 >= m_text.size())
                    return failed(tr("unterminated string"));
                const QChar e = m_text[i + 1];
                if (e == u'u') {
                    for (int k = 2; k < 6; ++k)
                        if (i + k >= m_text.size() || !isHex(m_text[i + k])) {
                            m_at = i;
                            return failed(tr("invalid \\u escape"));
                        }
                    i += 6;
                    continue;
                }
                if (!QStringView(u"\"\\/bfnrt").contains(e)) {
                    m_at = i;
                    return failed(tr("invalid escape"));
                }
                i += 2;
                continue;
            }
            if (c.unicode() < 0x20) {
                m_at = i;
                return failed(tr("control character in a string"));
            }
            ++i;
        }
        put(m_text.mid(start, i + 1 - start));
        m_at = i + 1;
        return true;
    }

    bool number()
    {
        const qsizetype start = m_at;
        qsizetype i = m_at;
        auto digits = [&] {
            const qsizetype from = i;
            while (i < m_text.size() && isDigit(m_text[i]))
                ++i;
            return i > from;
        };
        if (m_text[i] == u'-')
            ++i;
        if (i < m_text.size() && m_text[i] == u'0')
            ++i;
        else if (!digits())
            return failed(tr("invalid number"));
        if (i < m_text.size() && m_text[i] == u'.') {
            ++i;
            if (!digits())
                return failed(tr("invalid number"));
        }
        if (i < m_text.size() && (m_text[i] == u'e' || m_text[i] == u'E')) {
            ++i;
            if (i < m_text.size() && (m_text[i] == u'+' || m_text[i] == u'-'))
                ++i;
            if (!digits())
                return failed(tr("invalid number"));
        }
        put(m_text.mid(start, i - start));
        m_at = i;
        return true;
    }

    bool literal()
    {
        for (const char16_t* word : {u"true", u"false", u"null"}) {
            const QStringView w(word);
            if (m_text.mid(m_at).startsWith(w)) {
                put(w);
                m_at += w.size();
                return true;
            }
        }
        return failed(tr("unexpected character '%1'").arg(m_text[m_at]));
    }

    JsonCheck fail(const QString& what)
    {
        failed(what);
        return m_result;
    }

    bool failed(const QString& what)
    {
        const QStringView before = m_text.left(m_at);
        const qsizetype line = before.count(u'\n') + 1;
        const qsizetype column = m_at - (before.lastIndexOf(u'\n') + 1) + 1;
        m_result.valid = false;
        m_result.error =
            tr("Not valid JSON: %1 at line %2, column %3.").arg(what).arg(line).arg(column);
        return false;
    }

    QStringView m_text;
    qsizetype m_at = 0;
    QString m_out;
    qsizetype m_limit;
    bool m_plain = false;
    std::vector<char16_t> m_stack;
    Want m_want = Want::Value;
    bool m_done = false;
    JsonCheck m_result;
};

} // namespace

JsonCheck checkJson(QStringView text)
{
    return Reader(text).run();
}

} // namespace norvane::widgets
