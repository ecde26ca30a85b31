#include "SqlEditor.h"

#include "dbaccess/SqlScript.h"

#include <Qsci/qscilexersql.h>

#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace norvane::app {

namespace {
// Reserved words and the common non-reserved ones of the MySQL/MariaDB dialect.
const char* const keywordText =
    "ACCESSIBLE ADD AFTER AGAINST AGGREGATE ALGORITHM ALL ALTER ANALYZE AND ANY AS ASC "
    "ASENSITIVE AUTO_INCREMENT AVG BEFORE BEGIN BETWEEN BIGINT BINARY BIT BLOB BOOL BOOLEAN "
    "BOTH BTREE BY CALL CASCADE CASE CHANGE CHAR CHARACTER CHARSET CHECK CHECKSUM COALESCE "
    "COLLATE COLUMN COLUMNS COMMENT COMMIT COMMITTED CONCAT CONDITION CONSTRAINT CONTINUE "
    "CONVERT COUNT CREATE CROSS CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP CURRENT_USER CURSOR "
    "DATABASE DATABASES DATE DATETIME DAY DEALLOCATE DEC DECIMAL DECLARE DEFAULT DEFINER DELAYED "
    "DELETE DELIMITER DESC DESCRIBE DETERMINISTIC DISTINCT DISTINCTROW DIV DO DOUBLE DROP "
    "DUPLICATE EACH ELSE ELSEIF ENCLOSED END ENGINE ENUM ESCAPED EVENT EXCEPT EXECUTE EXISTS "
    "EXIT EXPLAIN FALSE FETCH FIELDS FIRST FLOAT FLUSH FOR FORCE FOREIGN FROM FULL FULLTEXT "
    "FUNCTION GLOBAL GRANT GROUP GROUP_CONCAT HANDLER HASH HAVING HIGH_PRIORITY HOUR IF IFNULL "
    "IGNORE IN INDEX INFILE INNER INOUT INSENSITIVE INSERT INT INTEGER INTERSECT INTERVAL INTO "
    "INVOKER IS ISOLATION ITERATE JOIN JSON KEY KEYS KILL LANGUAGE LAST LEADING LEAVE LEFT "
    "LEVEL LIKE LIMIT LINES LOAD LOCAL LOCK LONGBLOB LONGTEXT LOOP LOW_PRIORITY MATCH MAX "
    "MEDIUMBLOB MEDIUMINT MEDIUMTEXT MERGE MIN MINUTE MOD MODIFY MONTH NAMES NATURAL NO NOT "
    "NOW NULL NULLIF NUMERIC OFFSET ON OPTIMIZE OR ORDER OUT OUTER OUTFILE OVER PARTITION "
    "PRECISION PREPARE PRIMARY PROCEDURE PROCESSLIST PURGE RANGE READ READS REAL RECURSIVE "
    "REFERENCES REGEXP RELEASE RENAME REPAIR REPEAT REPEATABLE REPLACE REQUIRE RESIGNAL "
    "RESTRICT RETURN RETURNS REVOKE RIGHT RLIKE ROLLBACK ROUTINE ROW ROWS SAVEPOINT SCHEMA "
    "SCHEMAS SECOND SECURITY SELECT SEPARATOR SEQUENCE SERIALIZABLE SESSION SET SHARE SHOW "
    "SIGNAL SMALLINT SOME SPATIAL SQL SQLEXCEPTION SQLSTATE SQLWARNING SQL_CALC_FOUND_ROWS "
    "STARTING START STATUS STRAIGHT_JOIN SUM TABLE TABLES TEMPORARY TEMPTABLE TERMINATED TEXT "
    "THEN TIME TIMESTAMP TINYBLOB TINYINT TINYTEXT TO TRAILING TRANSACTION TRIGGER TRUE "
    "TRUNCATE UNCOMMITTED UNDEFINED UNION UNIQUE UNLOCK UNSIGNED UNTIL UPDATE USAGE USE USING "
    "UTC_DATE UTC_TIMESTAMP VALUE VALUES VARBINARY VARCHAR VARIABLES VARYING VIEW WARNINGS WHEN "
    "WHERE WHILE WINDOW WITH WORK WRITE XOR YEAR ZEROFILL";

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// A name the completion inserts as it stands, or in backticks when it would not read as one
// identifier (blanks, punctuation, a leading digit that makes it a number).
QString insertableName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_$][A-Za-z0-9_$]*$"));
    if (plain.match(name).hasMatch())
        return name;
    QString quoted = name;
    quoted.replace(u'`', QLatin1String("``"));
    return u'`' + quoted + u'`';
}

/// The SQL lexer with the dialect's comments, backtick identifiers and keywords.
class MariaDbLexer : public QsciLexerSQL
{
public:
    explicit MariaDbLexer(QObject* parent) : QsciLexerSQL(parent)
    {
        setHashComments(true);
        setQuotedIdentifiers(true);
        setBackslashEscapes(true);
        m_keywords = QByteArray(keywordText).toLower();
    }
    // Scintilla's SQL lexer compares words in lower case.
    const char* keywords(int set) const override
    {
        return set == 1 ? m_keywords.constData() : QsciLexerSQL::keywords(set);
    }

private:
    QByteArray m_keywords;
};

QFont editorFont()
{
    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}
} // namespace

const QStringList& SqlEditor::keywordList()
{
    static const QStringList list = QString::fromLatin1(keywordText).split(u' ');
    return list;
}

SqlEditor::SqlEditor(QWidget* parent) : QsciScintilla(parent)
{
    setUtf8(true);
    auto* lexer = new MariaDbLexer(this);
    const QFont font = editorFont();
    lexer->setDefaultFont(font);
    lexer->setFont(font);
    QFont bold = font;
    bold.setBold(true);
    lexer->setFont(bold, QsciLexerSQL::Keyword);
    lexer->setColor(QColor(0x00, 0x00, 0xb0), QsciLexerSQL::Keyword);
    lexer->setColor(QColor(0xa0, 0x20, 0x20), QsciLexerSQL::SingleQuotedString);
    lexer->setColor(QColor(0xa0, 0x20, 0x20), QsciLexerSQL::DoubleQuotedString);
    lexer->setColor(QColor(0x80, 0x00, 0x80), QsciLexerSQL::QuotedIdentifier);
    lexer->setColor(QColor(0x00, 0x80, 0x80), QsciLexerSQL::Number);
    for (int style :
         {QsciLexerSQL::Comment, QsciLexerSQL::CommentLine, QsciLexerSQL::CommentLineHash})
        lexer->setColor(QColor(0x30, 0x80, 0x30), style);
    setLexer(lexer);

    setMarginsFont(font);
    setMarginLineNumbers(0, true);
    setMarginWidth(0, QStringLiteral("00000"));
    setBraceMatching(QsciScintilla::SloppyBraceMatch);
    setAutoIndent(true);
    setTabWidth(4);
    setIndentationsUseTabs(false);
    setWrapMode(QsciScintilla::WrapNone);
    // The horizontal scroll bar follows the longest line rather than a fixed 2000 pixels.
    SendScintilla(SCI_SETSCROLLWIDTH, 1UL);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1UL);

    // The list only ever holds what this editor offers: keywords and the caller's names.
    setAutoCompletionSource(QsciScintilla::AcsNone);
    SendScintilla(SCI_AUTOCSETIGNORECASE, 1UL);
    SendScintilla(SCI_AUTOCSETORDER, static_cast<unsigned long>(SC_ORDER_PERFORMSORT));
    SendScintilla(SCI_AUTOCSETMAXHEIGHT, 10UL);
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, &SqlEditor::charAdded);
    connect(this, &QsciScintilla::userListActivated, this, &SqlEditor::completionChosen);
}

SqlEditor::~SqlEditor() = default;

void SqlEditor::setPlainText(const QString& text)
{
    setText(text);
    setTextModified(false);
}

bool SqlEditor::textModified() const
{
    return m_forcedModified || isModified();
}

void SqlEditor::setTextModified(bool modified)
{
    // Scintilla can only clear its flag (a save point); a set flag is kept here.
    m_forcedModified = modified;
    if (!modified)
        setModified(false);
}

QByteArray SqlEditor::byteRange(int begin, int end) const
{
    // QScintilla hands the range over with the terminating NUL of the text range.
    QByteArray range = bytes(begin, end);
    range.truncate(end - begin);
    return range;
}

qsizetype SqlEditor::bytePosToOffset(int bytePos) const
{
    return QString::fromUtf8(byteRange(0, bytePos)).size();
}

int SqlEditor::offsetToBytePos(qsizetype offset) const
{
    return static_cast<int>(text().left(offset).toUtf8().size());
}

bool SqlEditor::selectedRange(qsizetype* begin, qsizetype* end) const
{
    if (!hasSelectedText())
        return false;
    *begin = bytePosToOffset(static_cast<int>(SendScintilla(SCI_GETSELECTIONSTART)));
    *end = bytePosToOffset(static_cast<int>(SendScintilla(SCI_GETSELECTIONEND)));
    return *end > *begin;
}

void SqlEditor::selectRange(qsizetype begin, qsizetype end)
{
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(offsetToBytePos(begin)),
                  static_cast<long>(offsetToBytePos(end)));
    SendScintilla(SCI_SCROLLCARET);
}

void SqlEditor::goToLine(int line)
{
    setCursorPosition(line, 0);
    ensureLineVisible(line);
}

qsizetype SqlEditor::cursorOffset() const
{
    return bytePosToOffset(static_cast<int>(SendScintilla(SCI_GETCURRENTPOS)));
}

QString SqlEditor::wordBeforeCursor(int* startBytePos) const
{
    const int pos = static_cast<int>(SendScintilla(SCI_GETCURRENTPOS));
    const int line = static_cast<int>(SendScintilla(SCI_LINEFROMPOSITION, pos));
    const int lineStart = static_cast<int>(SendScintilla(SCI_POSITIONFROMLINE, line));
    const QString before = QString::fromUtf8(byteRange(lineStart, pos));
    qsizetype i = before.size();
    while (i > 0 && isWordChar(before[i - 1]))
        --i;
    QString word = before.mid(i);
    *startBytePos = pos - static_cast<int>(word.toUtf8().size());
    return word;
}

void SqlEditor::charAdded(int ch)
{
    if (ch < 0x80 && !isWordChar(QChar(ch)))
        return;
    int start = 0;
    if (wordBeforeCursor(&start).size() >= completionThreshold)
        showCompletion(false);
}

void SqlEditor::showCompletion(bool forced)
{
    int start = 0;
    const QString prefix = wordBeforeCursor(&start);
    if (!forced && prefix.size() < completionThreshold)
        return;
    QStringList names = keywordList();
    if (m_completionSource) {
        // The statement around the cursor names the tables whose columns are offered.
        const qsizetype cursor = cursorOffset();
        const QString all = text();
        QString statement;
        for (const db::ScriptStatement& s : db::splitSqlScript(all).statements)
            if (s.begin <= cursor)
                statement = s.text;
        names += m_completionSource(statement);
    }
    QStringList list;
    QSet<QString> seen;
    for (const QString& name : names) {
        if (!name.startsWith(prefix, Qt::CaseInsensitive) ||
            name.compare(prefix, Qt::CaseInsensitive) == 0)
            continue;
        const QString entry = insertableName(name);
        if (!seen.contains(entry)) {
            seen.insert(entry);
            list << entry;
        }
    }
    std::sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    m_shownList = list;
    if (list.isEmpty()) {
        if (isListActive())
            cancelList();
        return;
    }
    showUserList(1, list);
}

void SqlEditor::completionChosen(int, const QString& chosen)
{
    int start = 0;
    wordBeforeCursor(&start);
    const int pos = static_cast<int>(SendScintilla(SCI_GETCURRENTPOS));
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), static_cast<long>(pos));
    replaceSelectedText(chosen);
    m_shownList.clear();
}

bool SqlEditor::find(const QString& what)
{
    m_lastSearch = what;
    return findNextMatch();
}

bool SqlEditor::findNextMatch()
{
    if (m_lastSearch.isEmpty())
        return false;
    return findFirst(m_lastSearch, false, false, false, true, true);
}

bool SqlEditor::event(QEvent* event)
{
    // Scintilla claims every key with text, Ctrl+Enter among them, and function keys; those
    // belong to the window's short-cuts (Execute). F3 has none and still reaches the editor.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrlEnter = (key->modifiers() & Qt::ControlModifier) &&
                               (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        const bool functionKey = key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F35;
        if (ctrlEnter || functionKey) {
            event->ignore();
            return true;
        }
    }
    return QsciScintilla::event(event);
}

void SqlEditor::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && event->key() == Qt::Key_Space) {
        showCompletion(true);
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        emit findRequested();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        findNextMatch();
        return;
    }
    QsciScintilla::keyPressEvent(event);
}

SqlFindBar::SqlFindBar(SqlEditor* editor, QWidget* parent)
    : QWidget(parent), m_editor(editor), m_edit(new QLineEdit(this))
{
    setObjectName(QStringLiteral("pnlFind"));
    m_edit->setObjectName(QStringLiteral("edFind"));
    auto* label = new QLabel(tr("Find:"), this);
    label->setBuddy(m_edit);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->addWidget(label);
    layout->addWidget(m_edit, 1);
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { m_editor->find(m_edit->text()); });
    connect(m_editor, &SqlEditor::findRequested, this, &SqlFindBar::open);
    hide();
}

void SqlFindBar::open()
{
    const QString selected = m_editor->selectedText();
    if (!selected.isEmpty() && !selected.contains(u'\n'))
        m_edit->setText(selected);
    else if (m_edit->text().isEmpty())
        m_edit->setText(m_editor->lastSearch());
    show();
    m_edit->setFocus();
    m_edit->selectAll();
}

void SqlFindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        m_editor->setFocus();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        m_editor->find(m_edit->text());
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace norvane::app
