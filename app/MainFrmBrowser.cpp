#include "MainFrm.h"

#include "ActionManager.h"
#include "Guard.h"
#include "LoginDlg.h"
#include "NVDataPub.h"

#include "catalogue/NVMySQLObject.h"

#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/DbError.h"
#include "dbaccess/SqlSource.h"
#include "persist/Error.h"
#include "widgets/Prompts.h"
#include "widgets/UnsavedChanges.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
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

    acRevertRow = ActionManager1->add(QStringLiteral("acRevertRow"),
                                      QStringLiteral("&Revert row to the server's values"),
                                      [this] { acRevertRowExecute(); });
    addAction(acRevertRow);
    acRevertRow->setEnabled(false);

    Panel1 = new QWidget(page);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(23);
    DBNavigator1 = new widgets::DBNavigator(Panel1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setFixedSize(240, 23);
    DBNavigator1->setDataSource(dsData);
    edFilter = new QLineEdit(Panel1);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setPlaceholderText(
        tr("Filter: a condition in SQL, e.g. city = 'Paris' (Enter applies, Esc removes)"));
    edFilter->setEnabled(false);
    connect(edFilter, &QLineEdit::returnPressed, this,
            [this] { runGuarded(this, [this] { edFilterApply(); }); });
    auto* clearFilter = new QAction(edFilter);
    clearFilter->setObjectName(QStringLiteral("acClearFilter"));
    clearFilter->setShortcut(QKeySequence(Qt::Key_Escape));
    clearFilter->setShortcutContext(Qt::WidgetShortcut);
    edFilter->addAction(clearFilter);
    connect(clearFilter, &QAction::triggered, this,
            [this] { runGuarded(this, [this] { edFilterClear(); }); });
    lbDataStatus = new QLabel(Panel1);
    lbDataStatus->setObjectName(QStringLiteral("lbDataStatus"));
    // A longer count must not widen the window: the text is cut instead.
    lbDataStatus->setMinimumWidth(1);
    edFilter->setMinimumWidth(120);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 4, 0);
    panelLayout->addWidget(DBNavigator1);
    panelLayout->addWidget(edFilter, 1);
    panelLayout->addWidget(lbDataStatus);

    dgdData = new widgets::DBGrid(page);
    dgdData->setObjectName(QStringLiteral("dgdData"));
    dgdData->setDataSource(dsData);
    // The row header carries the record indicator and the marks of unsaved rows.
    dgdData->verticalHeader()->setMinimumWidth(18);
    dgdData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    dgdData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    dgdData->setHeaderSorting(true);
    connect(dgdData, &widgets::DBGrid::sortRequested, this, [this](int field, Qt::SortOrder order) {
        runGuarded(this, [this, field, order] { dgdDataSortRequested(field, order); });
    });
    connect(cdsData, &db::ClientDataSet::rowsInserted, this, &TMainForm::updateDataStatus);
    connect(cdsData, &db::ClientDataSet::rowsRemoved, this, &TMainForm::updateDataStatus);
    connect(cdsData, &db::ClientDataSet::layoutReset, this, &TMainForm::updateDataStatus);

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
    // A new logon may reach another server or database: the open table's changes are settled
    // first, and its rows stay visible read-only until a table is chosen again.
    if (!settleDataChanges())
        return;
    const db::ConnectionParams before = MainDataModule->SQLConnection->params();
    const bool accepted = ShowLoginForm(LogonHost.get(), LogonDataBase.get());
    const db::ConnectionParams& after = MainDataModule->SQLConnection->params();
    if (accepted || before.host != after.host || before.user != after.user ||
        before.database != after.database)
        sqryData->close();
    if (!accepted)
        return;
    m_dataOrders.clear();
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
    // A row still being edited goes to the server before its table is closed, and changes the
    // server has not saved are settled with the user; a refusal or the user's "stay" keeps
    // the table and its node. A tree emptied by log off closes nothing.
    if (nodeTable(node)) {
        const catalogue::TCustomNVTable* shown = CurrentTable;
        bool settled = false;
        try {
            settled = settleDataChanges();
        } catch (...) {
            reselectNode(shown);
            throw;
        }
        if (!settled) {
            reselectNode(shown);
            return;
        }
    }
    CurrentTable = nullptr;
    if (!node)
        return;
    CurrentTable = nodeTable(node);
    if (!CurrentTable)
        return;
    // The table left behind may still be read in the background: that read ends first.
    sqryData->stopFetch();
    ShowColumns();
    cdsData->close();
    sqryData->close();
    // The database the tree was loaded from: a USE in the console must not open another's.
    sqryData->setTableName(QString::fromStdString(CurrentTable->Name),
                           CurrentTable->DataBase
                               ? QString::fromStdString(CurrentTable->DataBase->FDataBase)
                               : QString());
    const DataOrder kept = m_dataOrders.value(dataOrderKey());
    setDataOrder(kept);
    try {
        sqryData->open();
        cdsData->open();
    } catch (const db::DbError& e) {
        // A kept filter the table no longer accepts (a column dropped meanwhile) goes; the table
        // opens without it and the user learns why.
        if (e.connectionLost() || (kept.filter.isEmpty() && kept.sortColumn.isEmpty()))
            throw;
        m_dataOrders.remove(dataOrderKey());
        setDataOrder({});
        sqryData->open();
        cdsData->open();
        showDataOrder();
        throw;
    }
    showDataOrder();
}

QString TMainForm::dataOrderKey() const
{
    if (!CurrentTable)
        return {};
    const QString database = CurrentTable->DataBase
                                 ? QString::fromStdString(CurrentTable->DataBase->FDataBase)
                                 : QString();
    return database + u'.' + QString::fromStdString(CurrentTable->Name);
}

TMainForm::DataOrder TMainForm::dataOrder() const
{
    return {sqryData->filter(), sqryData->sortColumn(), sqryData->sortDescending()};
}

void TMainForm::setDataOrder(const DataOrder& order)
{
    sqryData->setFilter(order.filter);
    sqryData->setSortColumn(order.sortColumn, order.descending);
}

void TMainForm::showDataOrder()
{
    edFilter->setText(sqryData->filter());
    int field = -1;
    const QString column = sqryData->sortColumn();
    for (int i = 0; !column.isEmpty() && cdsData->active() && i < cdsData->fieldCount(); ++i)
        if (cdsData->field(i).def().originalName.compare(column, Qt::CaseInsensitive) == 0)
            field = i;
    dgdData->showSortOrder(field,
                           sqryData->sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TMainForm::edFilterApply()
{
    DataOrder order = dataOrder();
    order.filter = edFilter->text().trimmed();
    reopenData(order);
}

void TMainForm::edFilterClear()
{
    edFilter->clear();
    if (!sqryData->filter().isEmpty())
        edFilterApply();
}

void TMainForm::dgdDataSortRequested(int field, Qt::SortOrder order)
{
    if (!sqryData->isActive() || field >= static_cast<int>(sqryData->fieldDefs().size()))
        return;
    DataOrder next = dataOrder();
    // What the box holds counts, as if Enter had been pressed.
    next.filter = edFilter->text().trimmed();
    next.sortColumn =
        field < 0 ? QString() : sqryData->fieldDefs()[static_cast<std::size_t>(field)].originalName;
    next.descending = field >= 0 && order == Qt::DescendingOrder;
    reopenData(next);
}

void TMainForm::reopenData(const DataOrder& order)
{
    if (!CurrentTable || !sqryData->isActive() || !sqryData->isTableMode())
        return;
    if (!settleDataChanges())
        return;
    // Judged before anything closes: a refused condition leaves the rows where they are.
    sqryData->checkFilter(order.filter);
    const DataOrder before = dataOrder();
    cdsData->close();
    setDataOrder(order);
    try {
        sqryData->open();
        cdsData->open();
    } catch (...) {
        // A failure only the reading showed: the table reads as it did before.
        cdsData->close();
        setDataOrder(before);
        try {
            sqryData->open();
            cdsData->open();
        } catch (...) {
            // The first error is the one the user needs to see.
        }
        showDataOrder();
        throw;
    }
    m_dataOrders.insert(dataOrderKey(), order);
    showDataOrder();
}

void TMainForm::updateDataStatus()
{
    if (!cdsData->active()) {
        lbDataStatus->clear();
        return;
    }
    const QLocale locale;
    const int held = cdsData->recordCount();
    const bool filtered = !sqryData->filter().isEmpty();
    QString text;
    if (held == 1)
        text = filtered ? tr("1 matching row held") : tr("1 row held");
    else if (cdsData->allFetched())
        text = (filtered ? tr("All %1 matching rows held") : tr("All %1 rows held"))
                   .arg(locale.toString(held));
    else
        text = (filtered ? tr("%1 matching rows held") : tr("%1 rows held"))
                   .arg(locale.toString(held));
    const std::optional<qulonglong> estimate = sqryData->rowEstimate();
    if (estimate && !cdsData->allFetched())
        text += (filtered ? tr(" of about %1 in the table") : tr(" of about %1"))
                    .arg(locale.toString(*estimate));
    if (lbDataStatus->text() != text)
        lbDataStatus->setText(text);
}

void TMainForm::acDelExecute()
{
    cdsData->deleteRecord();
}

bool TMainForm::settleDataChanges()
{
    if (dgdData->isEditingCell())
        dgdData->commitPendingEdit();
    return widgets::settleUnsavedChanges(this, *cdsData);
}

void TMainForm::reselectNode(const catalogue::TCustomNVTable* table)
{
    const QSignalBlocker block(tvwTables);
    for (int i = 0; i < tvwTables->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tvwTables->topLevelItem(i);
        if (table && nodeTable(item) == table) {
            tvwTables->setCurrentItem(item);
            return;
        }
    }
    tvwTables->setCurrentItem(nullptr);
}

void TMainForm::acRevertRowExecute()
{
    if (dgdData->isEditingCell())
        dgdData->discardPendingEdit();
    cdsData->revertRow();
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
    // After log off the rows stay visible, but nothing can change them.
    const bool writable = cdsData->canModify();
    const db::RowStatus status = cdsData->rowStatus(cdsData->currentRow());
    acDel->setEnabled(!eof && writable);
    // Post also sends a refused row's change again.
    acPost->setEnabled(writable && (editing || status == db::RowStatus::Refused));
    acCancel->setEnabled(editing);
    acRevertRow->setEnabled(writable &&
                            (status == db::RowStatus::Refused || status == db::RowStatus::Pending));
    acFirst->setEnabled(!bof);
    acPrevious->setEnabled(!bof);
    acLast->setEnabled(!eof);
    acNext->setEnabled(!eof);
    edFilter->setEnabled(sqryData->isActive() && sqryData->isTableMode());
    // A last empty packet ends the rows without a signal.
    updateDataStatus();
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

void TMainForm::createTreeRefresh()
{
    acRefresh = new QAction(tr("&Refresh"), tvwTables);
    acRefresh->setObjectName(QStringLiteral("acRefresh"));
    acRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    acRefresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tvwTables->addAction(acRefresh);
    connect(acRefresh, &QAction::triggered, this,
            [this] { runGuarded(this, [this] { ReloadTables(); }); });
}

void TMainForm::ReloadTables()
{
    if (!LogonDataBase || !MainDataModule->SQLConnection->isConnected())
        return;
    const QTreeWidgetItem* chosen = tvwTables->currentItem();
    const QString chosenName = chosen ? chosen->text(0) : QString();
    LogonDataBase->LoadTables();
    m_completionColumns.clear();
    // The Data page keeps its rows: only the node and the entry behind it are exchanged.
    disconnect(m_treeChange);
    tvwTables->clear();
    CurrentTable = nullptr;
    FillTables();
    FillViews();
    for (int i = 0; i < tvwTables->topLevelItemCount() && !chosenName.isEmpty(); ++i) {
        QTreeWidgetItem* node = tvwTables->topLevelItem(i);
        if (node->text(0) == chosenName) {
            tvwTables->setCurrentItem(node);
            CurrentTable = nodeTable(node);
            break;
        }
    }
    connectTreeChange();
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
    // What the user typed is posted and unsaved changes settled before the session goes; the
    // cached datasets stay open: both grids keep the rows already fetched, read-only once
    // their sources are closed.
    if (!settleDataChanges())
        return;
    sqryData->close();
    sqrySQL->close();
    m_dataOrders.clear();
    LogonDataBase->Disconnect();
    tvwTables->clear();
}

} // namespace norvane::app
