#include "MainFrm.h"

#include "NVDataPub.h"

#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "persist/Error.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvane::app {

namespace {
[[noreturn]] void notAvailable(const char* what)
{
    throw norvane::Error(std::string(what) + " is not available in this build.");
}
} // namespace

QWidget* TMainForm::createDataPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tshData"));

    Panel1 = new QWidget(page);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(23);
    DBNavigator1 = new QWidget(Panel1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setFixedSize(240, 23);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(DBNavigator1);
    panelLayout->addStretch();

    dgdData = new QTableView(page);
    dgdData->setObjectName(QStringLiteral("dgdData"));
    dgdData->verticalHeader()->setVisible(false);
    dgdData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    dgdData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(dgdData);
    return page;
}

void TMainForm::acLoginExecute()
{
    notAvailable("Log on");
}

void TMainForm::acLogoutExecute()
{
    DoLogout();
}

void TMainForm::tvwTablesChange(QTreeWidgetItem*)
{
}

void TMainForm::acDelExecute()
{
    notAvailable("Deleting a record");
}

void TMainForm::acPostExecute()
{
    notAvailable("Posting a record");
}

void TMainForm::acCancelExecute()
{
    notAvailable("Cancelling an edit");
}

void TMainForm::acFirstExecute()
{
    notAvailable("Moving to the first record");
}

void TMainForm::acPreviousExecute()
{
    notAvailable("Moving to the previous record");
}

void TMainForm::acLastExecute()
{
    notAvailable("Moving to the last record");
}

void TMainForm::acNextExecute()
{
    notAvailable("Moving to the next record");
}

void TMainForm::acLoginUpdate()
{
    const bool connected = MainDataModule->SQLConnection->isConnected();
    acLogin->setEnabled(!connected);
    acLogout->setEnabled(connected);
}

void TMainForm::acDelUpdate()
{
    // A dataset that is closed or was never opened has both its flags set.
    const bool bof = cdsData->bof();
    const bool eof = cdsData->eof();
    const bool editing = cdsData->state() == db::DataSetState::Edit ||
                         cdsData->state() == db::DataSetState::Insert;
    acDel->setEnabled(!eof);
    acPost->setEnabled(editing);
    acCancel->setEnabled(editing);
    acFirst->setEnabled(!bof);
    acPrevious->setEnabled(!bof);
    acLast->setEnabled(!eof);
    acNext->setEnabled(!eof);
}

void TMainForm::FillTables()
{
}

void TMainForm::FillViews()
{
}

void TMainForm::DoLogout()
{
    tvwTables->clear();
}

} // namespace norvane::app
