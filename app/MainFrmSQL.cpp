#include "MainFrm.h"

#include "NVDataPub.h"
#include "SqlEditor.h"

#include "catalogue/NVMySQLObject.h"
#include "catalogue/NVQueryLib.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlScript.h"
#include "dbaccess/SqlSource.h"
#include "persist/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QSaveFile>
#include <QSet>
#include <QSplitter>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace norvane::app {

namespace {
widgets::FilePromptOptions sqlFileOptions(const QString& title)
{
    widgets::FilePromptOptions options;
    options.title = title;
    options.defaultSuffix = QStringLiteral("sql");
    options.nameFilters = {QStringLiteral("*.sql"), QStringLiteral("*.*")};
    options.confirmOverwrite = false;
    return options;
}

// The statement ran but returned no rows (UPDATE, DDL, SET, ...): the source reports it as a
// failure of its own, without a server error number.
bool isNoResultSet(const db::DbError& e)
{
    return e.code() == 0 && !e.connectionLost() &&
           e.message().endsWith(QLatin1String("Cursor not returned from Query"));
}

QString countText(std::uint64_t count, const char* one, const char* many)
{
    return count == 1 ? QString::fromLatin1(one)
                      : QString::fromLatin1(many).arg(static_cast<qulonglong>(count));
}

QString elapsedText(const QElapsedTimer& timer)
{
    return QStringLiteral("%1 ms").arg(timer.elapsed());
}

// The identifiers a statement mentions, in lower case: plain words and backtick names.
QSet<QString> mentionedNames(const QString& statement)
{
    QSet<QString> names;
    const qsizetype n = statement.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = statement[i];
        if (c == u'`') {
            QString name;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (statement[j] == u'`') {
                    if (j + 1 < n && statement[j + 1] == u'`') {
                        name += u'`';
                        ++j;
                        continue;
                    }
                    break;
                }
                name += statement[j];
            }
            names.insert(name.toLower());
            i = j + 1;
        } else if (c.isLetterOrNumber() || c == u'_' || c == u'$') {
            qsizetype j = i;
            while (j < n && (statement[j].isLetterOrNumber() || statement[j] == u'_' ||
                             statement[j] == u'$'))
                ++j;
            names.insert(statement.mid(i, j - i).toLower());
            i = j;
        } else {
            ++i;
        }
    }
    return names;
}

// Files are UTF-8; a file that is not (an older 8-bit one) is read as Latin-1 rather than
// losing its bytes to replacement characters.
QString decodeSqlFile(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    // Every saved line ends with a line break; the last one does not start another line.
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

[[noreturn]] void fileError(const char* format, const QString& path, const QString& reason)
{
    throw norvane::Error(QString::fromLatin1(format).arg(path, reason).toStdString());
}
} // namespace

QWidget* TMainForm::createSQLPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tshSQL"));

    moSQL = new SqlEditor;
    moSQL->setObjectName(QStringLiteral("moSQL"));
    moSQL->setCompletionSource(
        [this](const QString& statement) { return completionNames(statement); });
    auto* findBar = new SqlFindBar(moSQL);
    auto* editorPane = new QWidget;
    editorPane->setObjectName(QStringLiteral("pnlSQL"));
    auto* editorLayout = new QVBoxLayout(editorPane);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(0);
    editorLayout->addWidget(moSQL, 1);
    editorLayout->addWidget(findBar);
    // Ctrl+Enter (either Enter key) and F9 run the console wherever the focus is.
    acExecute->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return),
                             QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::Key_F9)});

    dsSQL = new widgets::DataSource(cdsSQL, this);
    dsSQL->setObjectName(QStringLiteral("dsSQL"));
    dsSQL->setErrorSink(
        [this](const QString& message) { widgets::prompts().showError(this, message); });

    dgdSQL = new widgets::DBGrid;
    dgdSQL->setObjectName(QStringLiteral("dgdSQL"));
    dgdSQL->setDataSource(dsSQL);
    dgdSQL->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dgdSQL->verticalHeader()->setVisible(false);
    dgdSQL->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    dgdSQL->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Splitter2 = new QSplitter(Qt::Vertical, page);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(3);
    Splitter2->addWidget(editorPane);
    Splitter2->addWidget(dgdSQL);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({200, 271});
    Splitter2->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter2);
    return page;
}

TMainForm::StatementOutcome TMainForm::runConsoleStatement(const QString& sql, bool keepGrid)
{
    // In a script a statement without rows leaves the grid on the last result: it runs on a
    // spare source, which takes over the grid only when it brings rows.
    if (keepGrid && !m_spareSQL) {
        m_spareSQL = new db::SqlSource(MainDataModule->SQLConnection, this);
        m_spareSQL->setObjectName(QStringLiteral("sqrySQLSpare"));
    }
    db::SqlSource* source = keepGrid ? m_spareSQL : sqrySQL;
    // The last result's rows are read to their end first (or the user stops that read): the
    // session takes one statement at a time.
    MainDataModule->SQLConnection->finishFetch();
    if (!keepGrid)
        cdsSQL->close();
    source->close();
    source->clearSql();
    for (const QString& line : sql.split(u'\n'))
        source->addSql(line);
    StatementOutcome outcome;
    try {
        source->open();
    } catch (const db::DbError& e) {
        if (!isNoResultSet(e))
            throw;
        outcome.affectedRows = MainDataModule->SQLConnection->affectedRows();
        return outcome;
    }
    if (source != sqrySQL) {
        cdsSQL->close();
        sqrySQL->close();
        dspSQL->setSource(source);
        std::swap(sqrySQL, m_spareSQL);
        m_spareSQL->setObjectName(QStringLiteral("sqrySQLSpare"));
        sqrySQL->setObjectName(QStringLiteral("sqrySQL"));
    }
    cdsSQL->open();
    // A large result is still being read: the grid has its first rows, the rest follows.
    outcome.hasRows = true;
    outcome.fetching = sqrySQL->isFetching();
    outcome.rows = static_cast<std::uint64_t>(cdsSQL->recordCount()) + sqrySQL->pendingRows();
    return outcome;
}

void TMainForm::acExecuteExecute()
{
    // With text selected only the selection runs; its offset places errors in the editor.
    qsizetype offset = 0;
    qsizetype selectionEnd = 0;
    const bool selection = moSQL->selectedRange(&offset, &selectionEnd);
    const QString all = moSQL->toPlainText();
    const QString text = selection ? all.mid(offset, selectionEnd - offset) : all;
    db::ScriptSplit split = db::splitSqlScript(text, backslashEscapes(text));
    // One statement (or none) goes to the server exactly as written, as it always did.
    const bool script = split.statements.size() > 1 || split.delimiterChanged;
    if (!script)
        split.statements = {{text, 0, text.size(), 0}};

    QElapsedTimer timer;
    timer.start();
    std::uint64_t affected = 0;
    bool tablesChanged = false;
    bool shownRows = false;
    StatementOutcome outcome;
    const int count = static_cast<int>(split.statements.size());
    for (int i = 0; i < count; ++i) {
        const db::ScriptStatement& statement = split.statements[static_cast<std::size_t>(i)];
        try {
            outcome = runConsoleStatement(statement.text, script);
            shownRows = shownRows || outcome.hasRows;
        } catch (const db::DbError& e) {
            failStatement(statement, offset, script ? i + 1 : 0, count, db::errorLine(e.message()));
            if (tablesChanged)
                reloadTablesAfterConsole();
            throw;
        } catch (...) {
            failStatement(statement, offset, script ? i + 1 : 0, count, 0);
            throw;
        }
        affected += outcome.affectedRows;
        tablesChanged = tablesChanged || db::changesTableList(statement.text);
    }

    // A script without any result set empties the grid, as one such statement does.
    if (script && !shownRows)
        cdsSQL->close();
    if (script)
        setPanelText(1, QStringLiteral("Execute complete: %1 statements, %2, %3")
                            .arg(count)
                            .arg(countText(affected, "1 row affected", "%1 rows affected"),
                                 elapsedText(timer)));
    else if (outcome.hasRows && outcome.fetching)
        setPanelText(1, QStringLiteral("Execute complete: first %1, %2; fetching the rest")
                            .arg(countText(outcome.rows, "1 row", "%1 rows"), elapsedText(timer)));
    else if (outcome.hasRows)
        setPanelText(1, QStringLiteral("Execute complete: %1, %2")
                            .arg(countText(outcome.rows, "1 row", "%1 rows"), elapsedText(timer)));
    else
        setPanelText(1, QStringLiteral("Execute complete: %1, %2")
                            .arg(countText(affected, "1 row affected", "%1 rows affected"),
                                 elapsedText(timer)));
    AddQueryToHistory(selection ? text : QString());
    if (tablesChanged)
        reloadTablesAfterConsole();
}

bool TMainForm::backslashEscapes(const QString& text)
{
    // Only a text with a backslash splits differently under NO_BACKSLASH_ESCAPES, which the
    // console itself may have set; the session is asked then, and never opened for it.
    db::Connection* connection = MainDataModule->SQLConnection;
    if (!text.contains(u'\\') || !connection->isConnected())
        return true;
    // Asked only when the answer matters, so that ROW_COUNT() and FOUND_ROWS() of the
    // user's last statement survive in all other cases.
    const auto bounds = [](const db::ScriptSplit& split) {
        std::vector<std::pair<qsizetype, qsizetype>> b;
        for (const db::ScriptStatement& s : split.statements)
            b.emplace_back(s.begin, s.end);
        return b;
    };
    if (bounds(db::splitSqlScript(text, true)) == bounds(db::splitSqlScript(text, false)))
        return true;
    db::SqlSource probe(connection);
    probe.setSql(QStringLiteral("SELECT @@SESSION.sql_mode"));
    probe.open();
    return !probe.field(0).asString().contains(QLatin1String("NO_BACKSLASH_ESCAPES"));
}

void TMainForm::failStatement(const db::ScriptStatement& statement, qsizetype offset, int number,
                              int count, int line)
{
    setPanelText(
        1, number > 0 ? QStringLiteral("Execute error in statement %1 of %2").arg(number).arg(count)
                      : QStringLiteral("Execute error"));
    const QString all = moSQL->toPlainText();
    const qsizetype begin = offset + statement.begin;
    const qsizetype end = offset + statement.end;
    if (line > 0) {
        // The server counts lines from the start of the text it was sent.
        const int first = static_cast<int>(all.left(begin).count(u'\n'));
        const int target = first + line - 1;
        qsizetype lineBegin = begin;
        for (int l = first; l < target && lineBegin < end; ++l) {
            const qsizetype nl = all.indexOf(u'\n', lineBegin);
            if (nl < 0 || nl >= end)
                break;
            lineBegin = nl + 1;
        }
        qsizetype lineEnd = all.indexOf(u'\n', lineBegin);
        if (lineEnd < 0 || lineEnd > end)
            lineEnd = end;
        moSQL->selectRange(lineBegin, lineEnd);
    } else if (number > 0) {
        moSQL->selectRange(begin, end);
    }
}

void TMainForm::reloadTablesAfterConsole()
{
    // A failure to list the tables must not hide what the console itself reported.
    try {
        ReloadTables();
    } catch (...) {
    }
}

QStringList TMainForm::completionNames(const QString& statement)
{
    QStringList names;
    if (!LogonDataBase)
        return names;
    db::Connection& connection = *MainDataModule->SQLConnection;
    // Columns are read once per table and logon; a new session may see other tables.
    if (connection.sessionNumber() != m_completionSession) {
        m_completionColumns.clear();
        m_completionSession = connection.sessionNumber();
    }
    const QSet<QString> mentioned = mentionedNames(statement);
    auto add = [&](catalogue::TCustomNVTable* entry) {
        if (!entry)
            return;
        const QString name = QString::fromStdString(entry->Name);
        names << name;
        if (mentioned.contains(name.toLower()))
            names += tableColumns(entry);
    };
    for (int i = 0; i < LogonDataBase->Tables->Count(); ++i)
        add(LogonDataBase->Tables->Items(i));
    for (int i = 0; i < LogonDataBase->Views->Count(); ++i)
        add(LogonDataBase->Views->Items(i));
    return names;
}

QStringList TMainForm::tableColumns(catalogue::TCustomNVTable* entry)
{
    const QString name = QString::fromStdString(entry->Name);
    if (auto it = m_completionColumns.constFind(name); it != m_completionColumns.cend())
        return *it;
    QStringList columns;
    // Typing never opens a session nor waits for a background read or a running statement; a
    // table that cannot be read offers no columns until the next logon rather than asking the
    // server again at every key.
    if (MainDataModule->SQLConnection->isFetching() || MainDataModule->SQLConnection->isBusy())
        return columns;
    if (MainDataModule->SQLConnection->isConnected()) {
        try {
            entry->LoadFieldDefs();
            for (int i = 0; i < entry->FieldDefs->Count(); ++i)
                if (const catalogue::TNVFieldDef* def = entry->FieldDefs->Items(i))
                    columns << QString::fromStdString(def->FName);
        } catch (...) {
            columns.clear();
        }
    }
    m_completionColumns.insert(name, columns);
    return columns;
}

void TMainForm::acExecuteUpdate()
{
    // Blanks and line breaks count as text: only an empty memo disables the console.
    const bool hasText = !moSQL->isEmpty();
    const catalogue::TNVQueryList* history = catalogue::QueryHistory.get();
    const int itemIndex = history ? history->ItemIndex : 0;
    const int count = history ? history->Count() : 0;
    // One statement at a time: the session is busy until the running one ends or is stopped.
    acExecute->setEnabled(hasText && !MainDataModule->SQLConnection->isBusy());
    acPreviousSQL->setEnabled(itemIndex > 0);
    acNextSQL->setEnabled(count - 1 > itemIndex);
    acSaveToFile->setEnabled(hasText);
}

void TMainForm::acPreviousSQLExecute()
{
    catalogue::TNVQueryList& history = *catalogue::QueryHistory;
    history.ItemIndex -= 1;
    // Recalled text is already in the history: running it unchanged records nothing.
    setMemoText(history.Queries(history.ItemIndex)->Lines().join(u'\n'), false);
}

void TMainForm::acNextSQLExecute()
{
    catalogue::TNVQueryList& history = *catalogue::QueryHistory;
    history.ItemIndex += 1;
    setMemoText(history.Queries(history.ItemIndex)->Lines().join(u'\n'), false);
}

void TMainForm::acLoadFromFileExecute()
{
    const QString path = widgets::prompts().openFileName(this, sqlFileOptions(tr("Open")));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fileError("Cannot open file \"%1\". %2", path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fileError("Cannot read file \"%1\". %2", path, file.errorString());
    // A loaded file is new text for the history once it runs.
    setMemoText(decodeSqlFile(bytes), true);
}

void TMainForm::acSaveToFileExecute()
{
    QString path = widgets::prompts().saveFileName(this, sqlFileOptions(tr("Save As")));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty() && !path.endsWith(u'.'))
        path += QLatin1String(".sql");
    // Written aside and renamed over the old file, so a failed write leaves it intact.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fileError("Cannot create file \"%1\". %2", path, file.errorString());
    QByteArray bytes;
    for (const QString& line : moSQL->toPlainText().split(u'\n'))
        bytes += line.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.commit())
        fileError("Cannot write file \"%1\". %2", path, file.errorString());
}

void TMainForm::AddQueryToHistory(const QString& ranSelection)
{
    // A selection that ran is recorded unless it is the entry the history shows; the memo's
    // own text has not run, so its flag stays.
    const bool selection = !ranSelection.isNull();
    const catalogue::TNVQueryList& history = *catalogue::QueryHistory;
    const bool record =
        selection ? !(history.ItemIndex >= 0 && history.ItemIndex < history.Count() &&
                      history.Queries(history.ItemIndex)->Lines().join(u'\n') == ranSelection)
                  : moSQL->textModified();
    if (record) {
        auto query = std::make_unique<catalogue::TNVQuery>();
        query->SetLines((selection ? ranSelection : moSQL->toPlainText()).split(u'\n'));
        catalogue::QueryHistory->AddObject({}, std::move(query));
    }
    if (!selection)
        moSQL->setTextModified(false);
}

void TMainForm::setMemoText(const QString& text, bool modified)
{
    moSQL->setPlainText(text);
    moSQL->setTextModified(modified);
}

} // namespace norvane::app
