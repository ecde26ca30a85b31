#include "MainFrm.h"

#include "BusyIndicator.h"

#include "AboutX.h"
#include "ActionManager.h"
#include "Guard.h"
#include "NVDataPub.h"
#include "Shell.h"

#include "catalogue/NVMySQLObject.h"
#include "catalogue/NVQueryLib.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/Field.h"
#include "dbaccess/Provider.h"
#include "dbaccess/SqlSource.h"

#include "widgets/Prompts.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace norvane::app {

TMainForm* MainForm = nullptr;

namespace {
constexpr int kPanelWidths[2] = {140, 400};

} // namespace

QString clockText(const QDateTime& moment, const QLocale& locale)
{
    QString text = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time() != QTime(0, 0))
        text += u' ' + locale.toString(moment.time(), db::localTimePattern(locale));
    return text;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    MainForm = this;
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Norvane"));
    setWindowIcon(ImageList::appIcon());
    setFont(QFont(QStringLiteral("Courier New"), 8));

    if (!MainDataModule)
        m_ownDataModule = std::make_unique<TMainDataModule>();
    createDataChains();

    ActionManager1 = new ActionManager(this, this);
    ActionManager1->setObjectName(QStringLiteral("ActionManager1"));
    createActions();
    buildLayout();
    createMenus();
    createToolBar();
    createPopupMenus();

    runGuarded(this, [this] { FormCreate(); });
    ActionManager1->updateActions();
}

TMainForm::~TMainForm()
{
    // Datasets read through their providers, providers through their sources.
    for (QObject* o :
         std::initializer_list<QObject*>{cdsData, dspData, sqryData, cdsSQL, dspSQL, sqrySQL})
        delete o;
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::createDataChains()
{
    auto chain = [this](const char* suffix, db::SqlSource*& source, db::Provider*& provider,
                        db::ClientDataSet*& dataset) {
        const QString name = QLatin1String(suffix);
        source = new db::SqlSource(MainDataModule->SQLConnection, this);
        source->setObjectName(QLatin1String("sqry") + name);
        provider = new db::Provider(source, this);
        provider->setObjectName(QLatin1String("dsp") + name);
        dataset = new db::ClientDataSet(this);
        dataset->setObjectName(QLatin1String("cds") + name);
        dataset->setProvider(provider);
        dataset->setPacketRecords(100);
    };
    chain("Data", sqryData, dspData, cdsData);
    chain("SQL", sqrySQL, dspSQL, cdsSQL);
    cdsSQL->setReadOnly(true);
}

void TMainForm::buildLayout()
{
    gbxTables = new QGroupBox(QStringLiteral("Select Table"));
    gbxTables->setObjectName(QStringLiteral("gbxTables"));
    tvwTables = new QTreeWidget(gbxTables);
    tvwTables->setObjectName(QStringLiteral("tvwTables"));
    tvwTables->setHeaderHidden(true);
    tvwTables->setIndentation(19);
    tvwTables->setRootIsDecorated(false);
    tvwTables->setIconSize(QSize(16, 16));
    connectTreeChange();
    createTreeRefresh();
    auto* treeLayout = new QVBoxLayout(gbxTables);
    treeLayout->setContentsMargins(2, 2, 2, 2);
    treeLayout->addWidget(tvwTables);

    pctMain = new QTabWidget;
    pctMain->setObjectName(QStringLiteral("pctMain"));
    tshData = createDataPage();
    tshColumn = createColumnsPage();
    tshSQL = createSQLPage();
    pctMain->addTab(tshData, QStringLiteral("Data"));
    pctMain->addTab(tshColumn, QStringLiteral("Columns"));
    pctMain->addTab(tshSQL, QStringLiteral("Execute SQL"));
    connect(pctMain, &QTabWidget::currentChanged, this,
            [this](int index) { runGuarded(this, [this, index] { pctMainChange(index); }); });

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->addWidget(gbxTables);
    Splitter1->addWidget(pctMain);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({185, 541});
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    auto* bar = new QStatusBar;
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel;
        m_panels[i]->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
        m_panels[i]->setFixedWidth(kPanelWidths[i]);
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(m_panels[i]);
    }
    setupSessionPanel(bar);
    // Logon and the console's statements run in the background; the status bar tells and stops.
    MainDataModule->SQLConnection->setBackgroundWork(true);
    auto* busy = new BusyIndicator(MainDataModule->SQLConnection, bar);
    bar->addWidget(busy);
    busy->hide(); // adding shows it; it appears only while work runs
    // Commands the busy session disabled come back the moment it is free, not at the next idle.
    connect(MainDataModule->SQLConnection, &db::Connection::busyChanged, this,
            [this] { actionManager().updateActions(); });

    setStatusBar(bar);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this,
            [this] { runGuarded(this, [this] { Timer1Timer(); }); });
    Timer1->start();

    resize(726, 520);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMainForm::FormCreate()
{
    CurrentGrid = dgdData;
    catalogue::QueryHistory = std::make_unique<catalogue::TNVQueryList>();
    LogonHost = std::make_unique<catalogue::TNVHost>();
    LogonDataBase = std::make_unique<catalogue::TNVDataBase>();
    loadKnownHosts();
    setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::FormClose()
{
    saveKnownHosts();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // The window waits inside the running statement's handler: that statement is stopped
    // first, and the window closes once it has ended.
    db::Connection* connection = MainDataModule->SQLConnection;
    if (connection->isBusy()) {
        event->ignore();
        runGuarded(this, [connection] { connection->stop(); });
        QMetaObject::Connection* once = new QMetaObject::Connection;
        *once = connect(connection, &db::Connection::busyChanged, this, [this, once](bool busy) {
            if (busy)
                return;
            disconnect(*once);
            delete once;
            QTimer::singleShot(0, this, &QWidget::close);
        });
        return;
    }
    // A background read is stopped before anything else needs the session; its rows stay.
    if (connection->isFetching())
        runGuarded(this, [connection] {
            connection->stop();
            connection->finishFetch();
        });
    // Rows whose changes the server has not saved are settled with the user first; a refused
    // post or the user's "stay" keeps the window open.
    bool leave = false;
    runGuarded(this, [this, &leave] { leave = settleDataChanges(); });
    if (!leave) {
        event->ignore();
        return;
    }
    runGuarded(this, [this] { FormClose(); });
    event->accept();
}

void TMainForm::Timer1Timer()
{
    setPanelText(0, clockText(QDateTime::currentDateTime(), QLocale()));
}

void TMainForm::pctMainChange(int index)
{
    // The Columns page has no grid to export: the page shown before it keeps its grid.
    if (index == 0)
        CurrentGrid = dgdData;
    else if (index == 2)
        CurrentGrid = dgdSQL;
}

void TMainForm::acExitExecute()
{
    close();
}

void TMainForm::acHomeExecute()
{
    openHomePage();
}

void TMainForm::acAboutExecute()
{
    if (!AboutWnd)
        AboutWnd = std::make_unique<TAboutWnd>();
    AboutWnd->setSessionText(sessionText(*MainDataModule->SQLConnection));
    widgets::prompts().execDialog(*AboutWnd);
}

QString TMainForm::panelText(int panel) const
{
    return panel >= 0 && panel < 2 ? m_panels[panel]->text() : QString();
}

void TMainForm::setPanelText(int panel, const QString& text)
{
    if (panel >= 0 && panel < 2)
        m_panels[panel]->setText(text);
}

} // namespace norvane::app
