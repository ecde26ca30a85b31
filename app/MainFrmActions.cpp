#include "MainFrm.h"

#include "ActionManager.h"
#include "Guard.h"

#include "widgets/DBGrid.h"
#include "widgets/Prompts.h"

#include "SqlEditor.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace norvane::app {

namespace {
// Tool bar gaps are 10 pixels wide with a thin etched line in the middle.
QWidget* toolBarGap()
{
    auto* gap = new QWidget;
    gap->setFixedWidth(10);
    auto* line = new QFrame(gap);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* layout = new QHBoxLayout(gap);
    layout->setContentsMargins(0, 3, 0, 3);
    layout->addWidget(line, 0, Qt::AlignHCenter);
    return gap;
}
} // namespace

void TMainForm::createActions()
{
    ActionManager& am = *ActionManager1;
    auto add = [&](const char* name, const char* caption, void (TMainForm::*handler)(),
                   int image = -1, const QKeySequence& shortcut = {}) {
        QAction* action = am.add(
            QLatin1String(name), QString::fromUtf8(caption),
            [this, handler] { (this->*handler)(); }, shortcut);
        if (image >= 0)
            action->setIcon(ImageList1.icon(image));
        addAction(action); // short-cuts work wherever the focus is in the window
        return action;
    };

    acLogin = add("acLogin", "&Log on", &TMainForm::acLoginExecute, 0);
    acLogout = add("acLogout", "Log &off", &TMainForm::acLogoutExecute, 1);
    acExit = add("acExit", "E&xit", &TMainForm::acExitExecute, 5);
    acSlk = add("acSlk", "&Slk", &TMainForm::acSlkExecute);
    acCsv = add("acCsv", "&Csv", &TMainForm::acCsvExecute);
    acTxt = add("acTxt", "&Text", &TMainForm::acTxtExecute);
    acHtml = add("acHtml", "&Html", &TMainForm::acHtmlExecute);
    acDel = add("acDel", "&Delete record", &TMainForm::acDelAskExecute, -1,
                QKeySequence(Qt::CTRL | Qt::Key_Delete));
    acPost =
        add("acPost", "&Post", &TMainForm::acPostExecute, -1, QKeySequence(Qt::CTRL | Qt::Key_S));
    acCancel = add("acCancel", "&Cancel", &TMainForm::acCancelExecute);
    acFirst = add("acFirst", "&First", &TMainForm::acFirstExecute);
    acPrevious = add("acPrevious", "&Previous", &TMainForm::acPreviousExecute);
    acLast = add("acLast", "&Last", &TMainForm::acLastExecute);
    acNext = add("acNext", "&Next", &TMainForm::acNextExecute);
    acExecute = add("acExecute", "&Execute", &TMainForm::acExecuteExecute, 2);
    acPreviousSQL = add("acPreviousSQL", "&Previous SQL", &TMainForm::acPreviousSQLExecute, 4);
    acNextSQL = add("acNextSQL", "&Next SQL", &TMainForm::acNextSQLExecute, 3);
    acLoadFromFile = add("acLoadFromFile", "&Load from file", &TMainForm::acLoadFromFileExecute, 6);
    acSaveToFile = add("acSaveToFile", "&Save to file", &TMainForm::acSaveToFileExecute, 7);
    acHome = add("acHome", "Go &home page", &TMainForm::acHomeExecute);
    acAbout = add("acAbout", "&About...", &TMainForm::acAboutExecute);

    // Every action starts disabled until its rule has run; those without a rule stay enabled.
    for (QAction* a :
         {acLogin, acLogout, acSlk, acCsv, acTxt, acHtml, acDel, acPost, acCancel, acFirst,
          acPrevious, acLast, acNext, acExecute, acPreviousSQL, acNextSQL, acSaveToFile})
        a->setEnabled(false);

    am.addUpdateHandler([this] { acLoginUpdate(); });
    am.addUpdateHandler([this] { acDelUpdate(); });
    am.addUpdateHandler([this] { acExecuteUpdate(); });
    am.addUpdateHandler([this] { acSlkUpdate(); });
}

void TMainForm::createMenus()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setFont(QFont(QStringLiteral("Tahoma"), 8));
    setMenuBar(bar);

    auto menu = [&](const char* name, const char* caption) {
        QMenu* m = bar->addMenu(QString::fromUtf8(caption));
        m->setObjectName(QLatin1String(name));
        // Menus show the rules' latest verdict when they open.
        connect(m, &QMenu::aboutToShow, ActionManager1, &ActionManager::updateActions);
        return m;
    };

    QMenu* file = menu("miFile", "&File");
    file->addActions({acLogin, acLogout});
    file->addSeparator();
    QMenu* exportMenu = file->addMenu(QStringLiteral("&Export"));
    exportMenu->setObjectName(QStringLiteral("miFileExport"));
    exportMenu->addActions({acSlk, acCsv, acTxt, acHtml});
    file->addSeparator();
    file->addAction(acExit);

    QMenu* edit = menu("miEdit", "&Edit");
    edit->addActions({acDel, acPost, acCancel, acRevertRow});
    edit->addSeparator();
    edit->addAction(acFirst);
    edit->addAction(ActionManager1->addAlias(acPrevious, QStringLiteral("miEditPrevious"),
                                             QStringLiteral("P&revious")));
    edit->addActions({acLast, acNext});

    QMenu* sql = menu("miSQL", "&SQL");
    sql->addAction(acExecute);
    sql->addSeparator();
    sql->addActions({acPreviousSQL, acNextSQL});
    sql->addSeparator();
    sql->addActions({acLoadFromFile, acSaveToFile});

    QMenu* help = menu("miHelp", "&Help");
    help->addAction(acHome);
    help->addSeparator();
    help->addAction(acAbout);
}

void TMainForm::createToolBar()
{
    ToolBar1 = new QToolBar(QStringLiteral("Tool bar"), this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);

    auto button = [this](QAction* action) {
        ToolBar1->addAction(action);
        if (auto* b = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action))) {
            b->setFixedSize(26, 25);
            b->setAutoRaise(true);
            b->setToolTip(action->text().remove(u'&'));
        }
    };
    button(acLogin);
    button(acLogout);
    ToolBar1->addWidget(toolBarGap());
    button(acLoadFromFile);
    button(acSaveToFile);
    button(acPreviousSQL);
    button(acNextSQL);
    button(acExecute);
    ToolBar1->addWidget(toolBarGap());
    button(acExit);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
}

void TMainForm::createPopupMenus()
{
    pmData = new QMenu(this);
    pmData->setObjectName(QStringLiteral("pmData"));
    QMenu* exportMenu = pmData->addMenu(QStringLiteral("&Export"));
    exportMenu->setObjectName(QStringLiteral("pmDataExport"));
    exportMenu->addActions({acSlk, acCsv, acTxt});
    pmData->addAction(acRevertRow);

    pmSQL = new QMenu(this);
    pmSQL->setObjectName(QStringLiteral("pmSQL"));
    pmSQL->addAction(acExecute);
    pmSQL->addSeparator();
    pmSQL->addActions({acNextSQL, acPreviousSQL});
    pmSQL->addSeparator();
    pmSQL->addActions({acLoadFromFile, acSaveToFile});

    for (QMenu* m : {pmData, pmSQL})
        connect(m, &QMenu::aboutToShow, ActionManager1, &ActionManager::updateActions);

    // The grids put their own "Set to NULL" below the entries of pmData.
    dgdData->setPopupMenu(pmData);
    dgdSQL->setPopupMenu(pmData);
    moSQL->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(moSQL, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { showPopup(pmSQL, moSQL->viewport(), pos); });
}

void TMainForm::acDelAskExecute()
{
    // The same question as the navigator's delete, from the menu and from Ctrl+Del alike.
    if (widgets::prompts().ask(this, QApplication::applicationDisplayName(), tr("Delete record?"),
                               QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Ok) != QMessageBox::Ok)
        return;
    // The row goes, so whatever its cell editor still holds goes with it.
    if (dgdData->isEditingCell())
        dgdData->discardPendingEdit();
    acDelExecute();
}

void TMainForm::showPopup(QMenu* menu, QWidget* owner, const QPoint& pos)
{
    runGuarded(this, [&] { menu->popup(owner->mapToGlobal(pos)); });
}

} // namespace norvane::app
