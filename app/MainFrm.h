#pragma once
/// The main window: menu bar, tool bar, table tree, the Data, Columns and Execute SQL pages and
/// the status bar with its clock. One source per concern implements it: MainFrm.cpp (frame,
/// clock, page switch, About), MainFrmActions.cpp (actions, menus, tool bar, popups),
/// MainFrmBrowser.cpp (tree and Data page), MainFrmColumns.cpp, MainFrmSQL.cpp,
/// MainFrmExport.cpp and MainFrmHosts.cpp (known-hosts file).

#include "ImageList.h"

#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"

#include <QHash>
#include <QMainWindow>

#include <cstdint>
#include <memory>

class QAbstractItemView;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace norvane::catalogue {
class TCustomNVTable;
class TNVDataBase;
class TNVHost;
} // namespace norvane::catalogue

namespace norvane::db {
class ClientDataSet;
class Connection;
class Provider;
class SqlSource;
struct ReconcileInfo;
struct ScriptStatement;
} // namespace norvane::db

namespace norvane::app {

class ActionManager;
class SqlEditor;
class TAboutWnd;
class TMainDataModule;

/// The application's one window. All behaviour sits in handlers bound to its components; each
/// handler runs inside the error guard.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    /// The grid the export actions write: `dgdData` or `dgdSQL`.
    QAbstractItemView* currentGrid() const { return CurrentGrid; }
    /// The About window; null until About was first chosen.
    TAboutWnd* aboutWindow() const { return AboutWnd.get(); }
    ActionManager& actionManager() const { return *ActionManager1; }
    const ImageList& imageList() const { return ImageList1; }

    /// The session panel: user@host:port, database, TLS and server version; empty when
    /// logged off.
    QString sessionPanelText() const;
    /// Writes the known hosts after a logon; a failure is reported once in the status bar
    /// (again only after a later save succeeded).
    void saveKnownHostsAfterLogon();
    /// Text of status panel 0 (clock) or 1 (console result).
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Frame (MainFrm.cpp)
    void buildLayout();
    void createDataChains();
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    void pctMainChange(int index);
    void acExitExecute();
    void acHomeExecute();
    void acAboutExecute();

    // Actions, menus, tool bar and popups (MainFrmActions.cpp)
    void createActions();
    void createMenus();
    void createToolBar();
    void createPopupMenus();
    void showPopup(QMenu* menu, QWidget* owner, const QPoint& pos);
    /// Delete record: asks "Delete record?" first, then deletes the Data page's current row.
    void acDelAskExecute();

    // Tree and Data page (MainFrmBrowser.cpp)
    QWidget* createDataPage();
    /// The catalogue entry a tree node stands for (not owned by the node); null for none.
    catalogue::TCustomNVTable* nodeTable(const QTreeWidgetItem* node) const;
    void connectTreeChange();
    void acLoginExecute();
    void acLogoutExecute();
    void tvwTablesChange(QTreeWidgetItem* node);
    void acDelExecute();
    void acPostExecute();
    /// Shows the current row as the server holds it, forgetting its unsaved change.
    void acRevertRowExecute();
    /// Posts what is being typed on the Data page and settles changes the server has not
    /// saved (asking the user); false when the user stays.
    bool settleDataChanges();
    /// Selects the tree node of `table` again without running the change handler.
    void reselectNode(const catalogue::TCustomNVTable* table);
    void acCancelExecute();
    void acFirstExecute();
    void acPreviousExecute();
    void acLastExecute();
    void acNextExecute();
    void acLoginUpdate();
    void acDelUpdate();
    void FillTables();
    void FillViews();
    /// The F5 action on the tree (`acRefresh`): lists the tables again.
    void createTreeRefresh();
    /// Lists the database's tables again, keeping the chosen node when its table remains.
    void ReloadTables();
    void DoLogout();
    /// How the Data page reads a table: a filter (what follows WHERE) and an order by one column.
    struct DataOrder
    {
        QString filter;
        QString sortColumn; ///< empty: key order
        bool descending = false;
    };
    /// Enter in `edFilter`: reads the table again under the box's condition (none when empty).
    void edFilterApply();
    /// Esc in `edFilter`: empties the box and reads the table without a filter.
    void edFilterClear();
    /// A header click on the Data page: orders by the field's column, or key order for -1.
    void dgdDataSortRequested(int field, Qt::SortOrder order);
    /// Reads the current table again under `order`, kept for the table until log off. Unsaved
    /// changes are settled first; a condition the server refuses leaves the rows as they were.
    void reopenData(const DataOrder& order);
    /// The order the Data page's source reads with now.
    DataOrder dataOrder() const;
    void setDataOrder(const DataOrder& order);
    /// The filter box and the header's sort indicator as the source reads.
    void showDataOrder();
    /// The key `m_dataOrders` keeps the current table's order under.
    QString dataOrderKey() const;
    /// The Data page's status: rows held, and the server's estimate of the table's rows.
    void updateDataStatus();
    /// Applies every pending change of `cdsData` at once, tolerating no error.
    void cdsDataAfterPost(db::ClientDataSet& dataSet);
    /// Raises the failed change's message; the change stays pending with the user's values.
    void cdsDataReconcileError(db::ClientDataSet& dataSet, const db::ReconcileInfo& info);

    // Columns page (MainFrmColumns.cpp)
    QWidget* createColumnsPage();
    void ShowColumns();

    // Execute SQL page (MainFrmSQL.cpp)
    QWidget* createSQLPage();
    void acExecuteExecute();
    void acExecuteUpdate();
    void acPreviousSQLExecute();
    void acNextSQLExecute();
    void acLoadFromFileExecute();
    void acSaveToFileExecute();
    /// What one console statement did.
    struct StatementOutcome
    {
        bool hasRows = false;
        std::uint64_t rows = 0;
        std::uint64_t affectedRows = 0;
        bool fetching = false; ///< the rest of the rows is still being read
    };
    /// Runs one statement of the console into `cdsSQL`; the one place that talks to the server.
    /// With `keepGrid` a statement without rows leaves the grid on the result shown before.
    StatementOutcome runConsoleStatement(const QString& sql, bool keepGrid);
    /// Reports a failed statement: the status text, and in the memo the statement (the
    /// `number`th of `count` in a script, 0 alone) or the `line` of it the server named.
    void failStatement(const db::ScriptStatement& statement, qsizetype offset, int number,
                       int count, int line);
    void reloadTablesAfterConsole();
    /// Whether a backslash escapes the next character in the session's string literals.
    bool backslashEscapes(const QString& text);
    /// Tables and views of the database, and the columns of those `statement` names.
    QStringList completionNames(const QString& statement);
    QStringList tableColumns(catalogue::TCustomNVTable* entry);
    /// Records what ran: the memo's text when modified, or the selection that ran.
    void AddQueryToHistory(const QString& ranSelection = QString());
    /// Puts text into the memo on the user's behalf; `modified` is the memo's flag afterwards.
    void setMemoText(const QString& text, bool modified);

    // Export (MainFrmExport.cpp)
    void acSlkExecute();
    void acCsvExecute();
    void acTxtExecute();
    void acHtmlExecute();
    void acSlkUpdate();

    // Known-hosts file (MainFrmHosts.cpp)
    void setupSessionPanel(QStatusBar* bar);
    void loadKnownHosts();
    /// At exit: silent about every failure.
    void saveKnownHosts();
    /// Writes the known hosts; the error's message, or empty on success.
    QString writeKnownHosts();
    /// A failed save of the known hosts is reported once in the status bar.
    void reportHostsSave(const QString& failure);

    ImageList ImageList1;
    ActionManager* ActionManager1 = nullptr;

    QAction* acLogin = nullptr;
    QAction* acLogout = nullptr;
    QAction* acExit = nullptr;
    QAction* acSlk = nullptr;
    QAction* acCsv = nullptr;
    QAction* acTxt = nullptr;
    QAction* acHtml = nullptr;
    QAction* acDel = nullptr;
    QAction* acPost = nullptr;
    QAction* acCancel = nullptr;
    QAction* acRevertRow = nullptr;
    QAction* acFirst = nullptr;
    QAction* acPrevious = nullptr;
    QAction* acLast = nullptr;
    QAction* acNext = nullptr;
    QAction* acExecute = nullptr;
    QAction* acPreviousSQL = nullptr;
    QAction* acNextSQL = nullptr;
    QAction* acLoadFromFile = nullptr;
    QAction* acSaveToFile = nullptr;
    QAction* acHome = nullptr;
    QAction* acAbout = nullptr;

    QToolBar* ToolBar1 = nullptr;
    QGroupBox* gbxTables = nullptr;
    QTreeWidget* tvwTables = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* pctMain = nullptr;
    QWidget* tshData = nullptr;
    QWidget* tshColumn = nullptr;
    QWidget* tshSQL = nullptr;
    QWidget* Panel1 = nullptr;
    widgets::DBNavigator* DBNavigator1 = nullptr;
    widgets::DBGrid* dgdData = nullptr;
    QLineEdit* edFilter = nullptr;
    QLabel* lbDataStatus = nullptr;
    /// Filter and order per table ("database.table") until log off.
    QHash<QString, DataOrder> m_dataOrders;
    QTableWidget* sgdColumns = nullptr;
    SqlEditor* moSQL = nullptr;
    QSplitter* Splitter2 = nullptr;
    widgets::DBGrid* dgdSQL = nullptr;
    QLabel* m_panels[2] = {nullptr, nullptr};
    QLabel* lbSession = nullptr;
    bool m_hostsSaveReported = false;
    QTimer* Timer1 = nullptr;
    QMenu* pmData = nullptr;
    QMenu* pmSQL = nullptr;
    QMetaObject::Connection m_treeChange;
    QAction* acRefresh = nullptr;
    /// Column names for completion by table, read once per session (`m_completionSession`).
    QHash<QString, QStringList> m_completionColumns;
    std::uint64_t m_completionSession = 0;

    /// A data module made for a window built without one (tests); main() builds its own first.
    std::unique_ptr<TMainDataModule> m_ownDataModule;

    // Data of the Data page and of the console, on MainDataModule's connection.
    db::SqlSource* sqryData = nullptr;
    db::Provider* dspData = nullptr;
    db::ClientDataSet* cdsData = nullptr;
    db::SqlSource* sqrySQL = nullptr;
    db::Provider* dspSQL = nullptr;
    db::ClientDataSet* cdsSQL = nullptr;
    /// The console's second source: a script's statements run on it, and it changes places
    /// with `sqrySQL` when it brings rows.
    db::SqlSource* m_spareSQL = nullptr;
    widgets::DataSource* dsData = nullptr;
    widgets::DataSource* dsSQL = nullptr;

    std::unique_ptr<TAboutWnd> AboutWnd;
    QAbstractItemView* CurrentGrid = nullptr;
    std::unique_ptr<catalogue::TNVHost> LogonHost;
    std::unique_ptr<catalogue::TNVDataBase> LogonDataBase;
    /// The catalogue entry of the node last chosen (owned by `LogonDataBase`), or none.
    catalogue::TCustomNVTable* CurrentTable = nullptr;
};

/// The one main window, set while it exists.
extern TMainForm* MainForm;

/// The session of `connection` as one line: "user@host:port, database, TLS 1.3 (or "not
/// encrypted"), MariaDB 10.11.6"; empty while it is closed.
QString sessionText(const db::Connection& connection);

/// Where the known hosts are read from and written to.
struct HostsFiles
{
    QString load;
    QString save;
};
/// `hosts.lst` beside the executable when its folder is writable; otherwise in `configDir`,
/// read from beside the executable until the per-user file exists.
HostsFiles hostsFilesFor(const QString& exeDir, bool exeDirWritable, const QString& configDir);
/// True when a file can be created in `dir` (tried, not judged from permission bits).
bool isWritableDirectory(const QString& dir);

/// Where the known hosts are kept: `hosts.lst` in the executable's directory.
QString knownHostsPath();

/// Short date, a blank and the long time of `moment` in `locale`; the time is left out at
/// exactly midnight. The long time drops a time-zone name, which the panel has no room for.
QString clockText(const QDateTime& moment, const QLocale& locale);

} // namespace norvane::app
