#include "MainFrm.h"

#include "catalogue/NVQueryLib.h"
#include "persist/Error.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QVBoxLayout>

namespace norvane::app {

namespace {
[[noreturn]] void notAvailable(const char* what)
{
    throw norvane::Error(std::string(what) + " is not available in this build.");
}
} // namespace

QWidget* TMainForm::createSQLPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tshSQL"));

    moSQL = new QPlainTextEdit;
    moSQL->setObjectName(QStringLiteral("moSQL"));
    moSQL->setLineWrapMode(QPlainTextEdit::NoWrap);

    dgdSQL = new widgets::DBGrid;
    dgdSQL->setObjectName(QStringLiteral("dgdSQL"));
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
    notAvailable("Running SQL");
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
    notAvailable("The SQL history");
}

void TMainForm::acNextSQLExecute()
{
    notAvailable("The SQL history");
}

void TMainForm::acLoadFromFileExecute()
{
    notAvailable("Loading SQL from a file");
}

void TMainForm::acSaveToFileExecute()
{
    notAvailable("Saving SQL to a file");
}

void TMainForm::AddQueryToHistory()
{
}

} // namespace norvane::app
