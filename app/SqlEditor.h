#pragma once
/// The console's SQL editor: highlighting for the MySQL/MariaDB dialect, line numbers, brace
/// matching, find, and completion of keywords and of the names a caller supplies.

#include <Qsci/qsciscintilla.h>

#include <QStringList>

#include <functional>

class QLineEdit;

namespace norvane::app {

/// A QScintilla editor set up for SQL. The modified flag can be set as well as cleared (text
/// loaded from a file counts as new), and every position it takes or gives is an offset into
/// `text()` in UTF-16 units, the unit of the script splitter.
class SqlEditor : public QsciScintilla
{
    Q_OBJECT
public:
    /// Names worth completing in `statement` (the statement around the cursor): tables,
    /// views and the columns of the tables it names. Called on the GUI thread while typing,
    /// so it must answer from memory and must not throw.
    using CompletionSource = std::function<QStringList(const QString& statement)>;

    explicit SqlEditor(QWidget* parent = nullptr);
    ~SqlEditor() override;

    /// Replaces the text; the flag is cleared afterwards, as for a plain text box.
    void setPlainText(const QString& text);
    QString toPlainText() const { return text(); }
    bool isEmpty() const { return length() == 0; }
    bool textModified() const;
    void setTextModified(bool modified);

    /// The selected range as offsets; false (and nothing set) when nothing is selected.
    bool selectedRange(qsizetype* begin, qsizetype* end) const;
    /// Selects [begin, end) and scrolls it into view.
    void selectRange(qsizetype begin, qsizetype end);
    /// Puts the cursor at the start of the 0-based `line`.
    void goToLine(int line);
    /// The cursor as an offset.
    qsizetype cursorOffset() const;

    void setCompletionSource(CompletionSource source) { m_completionSource = std::move(source); }
    /// Shows the completion list for the word before the cursor; `forced` (Ctrl+Space) shows
    /// it even for fewer letters than typing needs.
    void showCompletion(bool forced);
    /// The entries of the completion list last shown (empty after it closed).
    QStringList completionList() const { return isListActive() ? m_shownList : QStringList(); }

    /// Searches forward from the cursor for `text`, ignoring case, wrapping at the end.
    bool find(const QString& text);
    /// Repeats the last search (F3).
    bool findNextMatch();
    QString lastSearch() const { return m_lastSearch; }

    /// Letters a word needs before completion offers itself while typing.
    static constexpr int completionThreshold = 3;
    /// The SQL keywords the editor highlights and completes (upper case).
    static const QStringList& keywordList();

signals:
    /// Ctrl+F: the owner shows its find bar.
    void findRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void charAdded(int ch);
    void completionChosen(int id, const QString& text);
    QByteArray byteRange(int begin, int end) const;
    qsizetype bytePosToOffset(int bytePos) const;
    int offsetToBytePos(qsizetype offset) const;
    /// The word (letters, digits, "_", "$") that ends at the cursor, and where it begins.
    QString wordBeforeCursor(int* startBytePos) const;

    CompletionSource m_completionSource;
    QStringList m_shownList;
    QString m_lastSearch;
    bool m_forcedModified = false;
};

/// The find bar under the editor: a line for the text, shown by Ctrl+F, closed by Escape.
class SqlFindBar : public QWidget
{
    Q_OBJECT
public:
    explicit SqlFindBar(SqlEditor* editor, QWidget* parent = nullptr);
    /// Shows the bar with the editor's selection (or the last search) ready to run.
    void open();
    QLineEdit* edit() const { return m_edit; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    SqlEditor* m_editor;
    QLineEdit* m_edit;
};

} // namespace norvane::app
