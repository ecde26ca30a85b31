#include "MainFrm.h"

#include "Guard.h"
#include "LoginDlg.h"
#include "NVDataPub.h"

#include "catalogue/NVMySQLObject.h"

#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "persist/Error.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvane::app {

QWidget* TMainForm::createDataPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tshData"));

    dsData = new widgets::DataSource(cdsData, this);
    dsData->setObjectName(QStringLiteral("dsData"));
    dsData->setErrorSink(
        [this](const QString& message) { widgets::prompts().showError(this, message); });
    cdsData->afterPost = [this](db::ClientDataSet& ds) { cdsDataAfterPost(ds); };
    cdsData->afterDelete = [this](db::ClientDataSet& ds) { cdsDataAfterPost(ds); };
    cdsData->onReconcileError = [this](db::ClientDataSet& ds, const db::ReconcileInfo& info) {
        cdsDataReconcileError(ds, info);
    };

    Panel1 = new QWidget(page);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(23);
    DBNavigator1 = new widgets::DBNavigator(Panel1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setFixedSize(240, 23);
    DBNavigator1->setDataSource(dsData);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(DBNavigator1);
    panelLayout->addStretch();

    dgdData = new widgets::DBGrid(page);
    dgdData->setObjectName(QStringLiteral("dgdData"));
    dgdData->setDataSource(dsData);
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

namespace {
/// The entry of `list` under exactly `name` (table names may differ in case only), or null.
catalogue::TCustomNVTable* entryNamed(const persist::TStoredStrList& list, const std::string& name)
{
    for (int i = 0; i < list.Count(); ++i) {
        auto* entry = dynamic_cast<catalogue::TCustomNVTable*>(list.GetItem(i));
        if (entry && entry->Name == name)
            return entry;
    }
    return nullptr;
}
} // namespace

catalogue::TCustomNVTable* TMainForm::nodeTable(const QTreeWidgetItem* node) const
{
    // A node carries its entry's name, never a pointer: the lists may be re-read meanwhile.
    if (!node || !LogonDataBase)
        return nullptr;
    const std::string name = node->data(0, Qt::UserRole).toString().toStdString();
    catalogue::TCustomNVTable* entry = entryNamed(*LogonDataBase->Tables, name);
    return entry ? entry : entryNamed(*LogonDataBase->Views, name);
}

void TMainForm::connectTreeChange()
{
    m_treeChange =
        connect(tvwTables, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
            runGuarded(this, [this, node] { tvwTablesChange(node); });
        });
}

void TMainForm::acLoginExecute()
{
    if (!ShowLoginForm(LogonHost.get(), LogonDataBase.get()))
        return;
    LogonDataBase->LoadTables();
    disconnect(m_treeChange);
    tvwTables->clear();
    FillTables();
    FillViews();
    connectTreeChange();
}

void TMainForm::acLogoutExecute()
{
    DoLogout();
}

void TMainForm::tvwTablesChange(QTreeWidgetItem* node)
{
    // A row still being edited goes to the server before its table is closed; if it is
    // refused, the error stops the switch and the user's values stay on screen. A tree
    // emptied by log off closes nothing, so nothing is posted then.
    if (nodeTable(node)) {
        if (dgdData->isEditingCell())
            dgdData->commitPendingEdit();
        if (cdsData->active())
            cdsData->checkBrowseMode();
    }
    CurrentTable = nullptr;
    if (!node)
        return;
    CurrentTable = nodeTable(node);
    if (!CurrentTable)
        return;
    ShowColumns();
    cdsData->close();
    sqryData->close();
    sqryData->setTableName(QString::fromStdString(CurrentTable->Name));
    sqryData->open();
    cdsData->open();
}

void TMainForm::acDelExecute()
{
    cdsData->deleteRecord();
}

void TMainForm::acPostExecute()
{
    // Ctrl+S reaches the window while a cell editor still holds the user's text.
    if (dgdData->isEditingCell())
        dgdData->commitPendingEdit();
    cdsData->post();
}

void TMainForm::acCancelExecute()
{
    if (dgdData->isEditingCell())
        dgdData->discardPendingEdit();
    cdsData->cancel();
}

void TMainForm::acFirstExecute()
{
    cdsData->first();
}

void TMainForm::acPreviousExecute()
{
    cdsData->prior();
}

void TMainForm::acLastExecute()
{
    cdsData->last();
}

void TMainForm::acNextExecute()
{
    cdsData->next();
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
    const bool editing =
        cdsData->state() == db::DataSetState::Edit || cdsData->state() == db::DataSetState::Insert;
    acDel->setEnabled(!eof);
    acPost->setEnabled(editing);
    acCancel->setEnabled(editing);
    acFirst->setEnabled(!bof);
    acPrevious->setEnabled(!bof);
    acLast->setEnabled(!eof);
    acNext->setEnabled(!eof);
}

namespace {
void addNode(QTreeWidget* tree, catalogue::TCustomNVTable* entry, const QIcon& icon)
{
    auto* node = new QTreeWidgetItem(tree, {QString::fromStdString(entry->Name)});
    node->setData(0, Qt::UserRole, QString::fromStdString(entry->Name));
    node->setIcon(0, icon);
}
} // namespace

void TMainForm::FillTables()
{
    const catalogue::TNVTables& tables = *LogonDataBase->Tables;
    for (int i = 0; i < tables.Count(); ++i)
        if (catalogue::TNVTable* table = tables.Items(i))
            addNode(tvwTables, table, ImageList1.icon(8));
}

void TMainForm::FillViews()
{
    const catalogue::TNVViews& views = *LogonDataBase->Views;
    for (int i = 0; i < views.Count(); ++i)
        if (catalogue::TNVView* view = views.Items(i))
            addNode(tvwTables, view, ImageList1.icon(1));
}

void TMainForm::cdsDataAfterPost(db::ClientDataSet& dataSet)
{
    if (dataSet.changeCount() > 0)
        dataSet.applyUpdates(0);
}

void TMainForm::cdsDataReconcileError(db::ClientDataSet&, const db::ReconcileInfo& info)
{
    throw norvane::Error(info.message.toStdString());
}

void TMainForm::DoLogout()
{
    // The cached datasets stay open: both grids keep the rows already fetched.
    sqryData->close();
    sqrySQL->close();
    LogonDataBase->Disconnect();
    tvwTables->clear();
}

} // namespace norvane::app
