#include "MainFrm.h"

#include "NVDataPub.h"

#include "catalogue/NVQueryLib.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "persist/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSaveFile>
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

QString affectedText(std::uint64_t rows)
{
    return rows == 1 ? QStringLiteral("Execute complete: 1 row affected")
                     : QStringLiteral("Execute complete: %1 rows affected").arg(rows);
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

    moSQL = new QPlainTextEdit;
    moSQL->setObjectName(QStringLiteral("moSQL"));
    moSQL->setLineWrapMode(QPlainTextEdit::NoWrap);

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
    Splitter2->addWidget(moSQL);
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

void TMainForm::acExecuteExecute()
{
    cdsSQL->close();
    sqrySQL->close();
    sqrySQL->clearSql();
    for (const QString& line : moSQL->toPlainText().split(u'\n'))
        sqrySQL->addSql(line);
    try {
        cdsSQL->open();
        setPanelText(1, QStringLiteral("Execute complete"));
    } catch (const db::DbError& e) {
        if (!isNoResultSet(e)) {
            setPanelText(1, QStringLiteral("Execute error"));
            throw;
        }
        setPanelText(1, affectedText(MainDataModule->SQLConnection->affectedRows()));
    } catch (...) {
        setPanelText(1, QStringLiteral("Execute error"));
        throw;
    }
    AddQueryToHistory();
}

void TMainForm::acExecuteUpdate()
{
    // Blanks and line breaks count as text: only an empty memo disables the console.
    const bool hasText = !moSQL->document()->isEmpty();
    const catalogue::TNVQueryList* history = catalogue::QueryHistory.get();
    const int itemIndex = history ? history->ItemIndex : 0;
    const int count = history ? history->Count() : 0;
    acExecute->setEnabled(hasText);
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

void TMainForm::AddQueryToHistory()
{
    if (moSQL->document()->isModified()) {
        auto query = std::make_unique<catalogue::TNVQuery>();
        query->SetLines(moSQL->toPlainText().split(u'\n'));
        catalogue::QueryHistory->AddObject({}, std::move(query));
    }
    moSQL->document()->setModified(false);
}

void TMainForm::setMemoText(const QString& text, bool modified)
{
    moSQL->setPlainText(text);
    moSQL->document()->setModified(modified);
}

} // namespace norvane::app
