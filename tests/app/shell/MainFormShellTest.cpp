// The main window's frame: actions and their rules, menus, tool bar, pages, clock, About,
// home page and the error guard. Widgets and actions are found by objectName.

#include "AppTestSupport.h"
#include "RecordingPrompts.h"

#include "app/AboutX.h"
#include "app/ActionManager.h"
#include "app/Guard.h"
#include "app/MainFrm.h"
#include "app/Shell.h"
#include "app/SqlEditor.h"
#include "catalogue/NVQueryLib.h"
#include "persist/Error.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <stdexcept>

using norvane::app::TMainForm;

namespace {

QString itemList(const QList<QAction*>& actions)
{
    QStringList items;
    for (QAction* a : actions) {
        if (a->isSeparator())
            items << QStringLiteral("-");
        else if (a->menu())
            items << a->text() + QLatin1String(">[") + itemList(a->menu()->actions()) +
                         QLatin1Char(']');
        else
            items << a->text();
    }
    return items.join(QLatin1Char('|'));
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage();
}

} // namespace

class MainFormShellTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_prompts = std::make_unique<RecordingPrompts>();
        m_form = std::make_unique<TMainForm>();
    }
    void cleanup()
    {
        m_form.reset();
        m_prompts.reset();
    }

    void actionsHaveTheirCaptionShortCutAndImage_data();
    void actionsHaveTheirCaptionShortCutAndImage();
    void startUpStateOfEveryAction_data();
    void startUpStateOfEveryAction();
    void memoTextEnablesExecuteAndSave_data();
    void memoTextEnablesExecuteAndSave();
    void historyCursorEnablesPreviousAndNextSql_data();
    void historyCursorEnablesPreviousAndNextSql();
    void menusToolBarAndPopupsListTheirItemsInOrder();
    void windowOpensMaximizedWithItsLayout();
    void currentGridFollowsDataAndSqlPagesButNotColumns();
    void clockPanelIsEmptyUntilTheFirstTickThenChanges();
    void clockTextLeavesOutTimeAtMidnightAndTheZone_data();
    void clockTextLeavesOutTimeAtMidnightAndTheZone();
    void aboutWindowIsCreatedOnceAndReused();
    void aboutWindowClosesOnNameAndPictureButNotOnAddress();
    void homePageGoesThroughTheShellSeam();
    void guardShowsTheErrorTextAndTheApplicationGoesOn_data();
    void guardShowsTheErrorTextAndTheApplicationGoesOn();
    void disabledActionNeverRunsThroughItsShortCut();
    void staleEnabledActionIsCheckedAgainBeforeItRuns();
    void enableRulesFollowChangesWhenTheLoopIsIdle();
    void failingRuleIsReportedOnceNotAtEveryIdleMoment();
    void exitClosesTheWindow();

private:
    QAction* action(const char* name) const { return findAction(*m_form, name); }

    std::unique_ptr<RecordingPrompts> m_prompts;
    std::unique_ptr<TMainForm> m_form;
};

void MainFormShellTest::actionsHaveTheirCaptionShortCutAndImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("image");
    QTest::addColumn<QKeySequence>("shortcut");
    const QKeySequence none;
    const struct
    {
        const char* name;
        const char* caption;
        int image;
        QKeySequence shortcut;
    } rows[] = {
        {"acLogin", "&Log on", 0, none},
        {"acLogout", "Log &off", 1, none},
        {"acExit", "E&xit", 5, none},
        {"acSlk", "&Slk", -1, none},
        {"acCsv", "&Csv", -1, none},
        {"acTxt", "&Text", -1, none},
        {"acHtml", "&Html", -1, none},
        {"acDel", "&Delete record", -1, QKeySequence(Qt::CTRL | Qt::Key_Delete)},
        {"acPost", "&Post", -1, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"acCancel", "&Cancel", -1, none},
        {"acFirst", "&First", -1, none},
        {"acPrevious", "&Previous", -1, none},
        {"acLast", "&Last", -1, none},
        {"acNext", "&Next", -1, none},
        {"acExecute", "&Execute", 2, QKeySequence(Qt::CTRL | Qt::Key_Return)},
        {"acPreviousSQL", "&Previous SQL", 4, none},
        {"acNextSQL", "&Next SQL", 3, none},
        {"acLoadFromFile", "&Load from file", 6, none},
        {"acSaveToFile", "&Save to file", 7, none},
        {"acHome", "Go &home page", -1, none},
        {"acAbout", "&About...", -1, none},
    };
    for (const auto& r : rows)
        QTest::newRow(r.name) << r.name << r.caption << r.image << r.shortcut;
}

void MainFormShellTest::actionsHaveTheirCaptionShortCutAndImage()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(int, image);
    QFETCH(QKeySequence, shortcut);
    QAction* a = action(name.toLatin1().constData());
    QCOMPARE(a->text(), caption);
    QCOMPARE(a->shortcut(), shortcut);
    if (image < 0) {
        QVERIFY(a->icon().isNull());
    } else {
        QVERIFY(!a->icon().isNull());
        QCOMPARE(iconImage(a->icon()), iconImage(m_form->imageList().icon(image)));
    }
}

void MainFormShellTest::startUpStateOfEveryAction_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    for (const char* on : {"acLogin", "acLoadFromFile", "acHome", "acAbout", "acExit"})
        QTest::newRow(on) << on << true;
    for (const char* off : {"acLogout", "acDel", "acFirst", "acPrevious", "acLast", "acNext",
                            "acPost", "acCancel", "acExecute", "acSaveToFile", "acPreviousSQL",
                            "acNextSQL", "acSlk", "acCsv", "acTxt", "acHtml"})
        QTest::newRow(off) << off << false;
}

void MainFormShellTest::startUpStateOfEveryAction()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QAction* a = action(name.toLatin1().constData());
    QCOMPARE(a->isEnabled(), enabled);
    // The idle-time evaluation agrees with the state set at creation.
    QVERIFY(waitForIdleEvaluation(m_form->actionManager()));
    QCOMPARE(a->isEnabled(), enabled);
}

void MainFormShellTest::memoTextEnablesExecuteAndSave_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blank") << QStringLiteral(" ") << true;
    QTest::newRow("line break") << QStringLiteral("\n") << true;
    QTest::newRow("statement") << QStringLiteral("select 1") << true;
}

void MainFormShellTest::memoTextEnablesExecuteAndSave()
{
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    auto* memo = m_form->findChild<norvane::app::SqlEditor*>(QStringLiteral("moSQL"));
    QVERIFY(memo);
    memo->setPlainText(QStringLiteral("x"));
    QTRY_VERIFY(action("acExecute")->isEnabled());
    memo->setPlainText(text);
    QTRY_COMPARE(action("acExecute")->isEnabled(), enabled);
    QCOMPARE(action("acSaveToFile")->isEnabled(), enabled);
    QVERIFY(action("acLoadFromFile")->isEnabled());
}

void MainFormShellTest::historyCursorEnablesPreviousAndNextSql_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("previous");
    QTest::addColumn<bool>("next");
    QTest::newRow("empty history") << 0 << 0 << false << false;
    QTest::newRow("one entry") << 1 << 0 << false << false;
    QTest::newRow("three, at the newest") << 3 << 2 << true << false;
    QTest::newRow("three, in the middle") << 3 << 1 << true << true;
    QTest::newRow("three, at the oldest") << 3 << 0 << false << true;
    // The cursor is a signed number: a value out of range must not wrap around.
    QTest::newRow("cursor below the list") << 3 << -1 << false << true;
}

void MainFormShellTest::historyCursorEnablesPreviousAndNextSql()
{
    QFETCH(int, entries);
    QFETCH(int, cursor);
    QFETCH(bool, previous);
    QFETCH(bool, next);
    auto& history = *norvane::catalogue::QueryHistory;
    QCOMPARE(history.Count(), 0);
    for (int i = 0; i < entries; ++i)
        history.Record({QStringLiteral("select %1").arg(i)});
    history.ItemIndex = cursor;
    m_form->actionManager().updateActions();
    QCOMPARE(action("acPreviousSQL")->isEnabled(), previous);
    QCOMPARE(action("acNextSQL")->isEnabled(), next);
}

void MainFormShellTest::menusToolBarAndPopupsListTheirItemsInOrder()
{
    auto* bar = m_form->findChild<QMenuBar*>(QStringLiteral("ActionMainMenuBar1"));
    QVERIFY(bar);
    QCOMPARE(bar->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(bar->font().pointSize(), 8);
    QCOMPARE(itemList(bar->actions()),
             QStringLiteral(
                 "&File>[&Log on|Log &off|-|&Export>[&Slk|&Csv|&Text|&Html]|-|E&xit]|"
                 "&Edit>[&Delete record|&Post|&Cancel|&Revert row to the server's values|-|&First|"
                 "P&revious|&Last|&Next]|"
                 "&SQL>[&Execute|-|&Previous SQL|&Next SQL|-|&Load from file|"
                 "&Save to file]|"
                 "&Help>[Go &home page|-|&About...]"));

    auto* pmData = m_form->findChild<QMenu*>(QStringLiteral("pmData"));
    auto* pmSQL = m_form->findChild<QMenu*>(QStringLiteral("pmSQL"));
    QVERIFY(pmData && pmSQL);
    QCOMPARE(itemList(pmData->actions()),
             QStringLiteral("&Export>[&Slk|&Csv|&Text]|&Revert row to the server's values"));
    QCOMPARE(itemList(pmSQL->actions()),
             QStringLiteral("&Execute|-|&Next SQL|&Previous SQL|-|&Load from file|&Save to file"));

    // Menu items only point at actions: the same objects, except the Edit menu's Previous.
    auto* edit = m_form->findChild<QMenu*>(QStringLiteral("miEdit"));
    QVERIFY(edit->actions().contains(action("acDel")));
    QVERIFY(!edit->actions().contains(action("acPrevious")));
    QVERIFY(pmSQL->actions().contains(action("acExecute")));

    auto* tools = m_form->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
    QVERIFY(tools);
    QStringList order;
    for (QAction* a : tools->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(tools->widgetForAction(a))) {
            order << a->objectName();
            QCOMPARE(button->size(), QSize(26, 25));
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        } else {
            order << QStringLiteral("gap%1").arg(tools->widgetForAction(a)->width());
        }
    }
    m_form->show();
    QCOMPARE(order.join(u' '), QStringLiteral("acLogin acLogout gap10 acLoadFromFile acSaveToFile "
                                              "acPreviousSQL acNextSQL acExecute gap10 acExit"));
}

void MainFormShellTest::windowOpensMaximizedWithItsLayout()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Norvane"));
    QVERIFY(m_form->windowState() & Qt::WindowMaximized);
    QCOMPARE(m_form->font().family(), QStringLiteral("Courier New"));
    QCOMPARE(m_form->font().pointSize(), 8);

    auto* pages = m_form->findChild<QTabWidget*>(QStringLiteral("pctMain"));
    QVERIFY(pages);
    QCOMPARE(pages->count(), 3);
    const char* names[] = {"tshData", "tshColumn", "tshSQL"};
    const char* titles[] = {"Data", "Columns", "Execute SQL"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(pages->widget(i)->objectName(), QLatin1String(names[i]));
        QCOMPARE(pages->tabText(i), QLatin1String(titles[i]));
    }
    QCOMPARE(pages->currentIndex(), 0);

    for (const char* name : {"gbxTables", "Splitter1", "Panel1", "DBNavigator1", "dgdData",
                             "sgdColumns", "moSQL", "Splitter2", "dgdSQL", "Timer1", "StatusBar"})
        QVERIFY2(m_form->findChild<QObject*>(QLatin1String(name)), name);
    auto* tree = m_form->findChild<QTreeWidget*>(QStringLiteral("tvwTables"));
    QVERIFY(tree);
    QCOMPARE(tree->indentation(), 19);
    QCOMPARE(tree->topLevelItemCount(), 0);
    QCOMPARE(m_form->findChild<QWidget*>(QStringLiteral("DBNavigator1"))->width(), 240);
    QCOMPARE(m_form->findChild<QLabel*>(QStringLiteral("StatusBarPanel0"))->width(), 140);
    QCOMPARE(m_form->findChild<QLabel*>(QStringLiteral("StatusBarPanel1"))->width(), 400);
    QCOMPARE(m_form->panelText(1), QString());

    auto* sqlGrid = m_form->findChild<QTableView*>(QStringLiteral("dgdSQL"));
    QCOMPARE(sqlGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void MainFormShellTest::currentGridFollowsDataAndSqlPagesButNotColumns()
{
    auto* pages = m_form->findChild<QTabWidget*>(QStringLiteral("pctMain"));
    auto* data = m_form->findChild<QAbstractItemView*>(QStringLiteral("dgdData"));
    auto* sql = m_form->findChild<QAbstractItemView*>(QStringLiteral("dgdSQL"));
    QCOMPARE(m_form->currentGrid(), data);
    pages->setCurrentIndex(2);
    QCOMPARE(m_form->currentGrid(), sql);
    pages->setCurrentIndex(1);
    QCOMPARE(m_form->currentGrid(), sql);
    pages->setCurrentIndex(0);
    QCOMPARE(m_form->currentGrid(), data);
    pages->setCurrentIndex(1);
    QCOMPARE(m_form->currentGrid(), data);
    pages->setCurrentIndex(2);
    QCOMPARE(m_form->currentGrid(), sql);
}

void MainFormShellTest::clockPanelIsEmptyUntilTheFirstTickThenChanges()
{
    auto* timer = m_form->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(m_form->panelText(0), QString());

    QSignalSpy ticks(timer, &QTimer::timeout);
    QVERIFY(ticks.wait(1500));
    const QString first = m_form->panelText(0);
    QVERIFY(!first.isEmpty());
    QVERIFY2(first.startsWith(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat)),
             qPrintable(first));
    QTRY_VERIFY_WITH_TIMEOUT(m_form->panelText(0) != first, 2500);
}

void MainFormShellTest::clockTextLeavesOutTimeAtMidnightAndTheZone_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");
    const QLocale c(QLocale::C);
    const QDate day(2026, 3, 7);
    QTest::newRow("midnight") << QDateTime(day, QTime(0, 0))
                              << c.toString(day, QLocale::ShortFormat);
    QTest::newRow("afternoon") << QDateTime(day, QTime(13, 5, 9))
                               << c.toString(day, QLocale::ShortFormat) +
                                      QStringLiteral(" 13:05:09");
    QTest::newRow("a second past midnight")
        << QDateTime(day, QTime(0, 0, 1))
        << c.toString(day, QLocale::ShortFormat) + QStringLiteral(" 00:00:01");
}

void MainFormShellTest::clockTextLeavesOutTimeAtMidnightAndTheZone()
{
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QCOMPARE(norvane::app::clockText(moment, QLocale(QLocale::C)), expected);
}

void MainFormShellTest::aboutWindowIsCreatedOnceAndReused()
{
    QVERIFY(!m_form->aboutWindow());
    action("acAbout")->trigger();
    QCOMPARE(m_prompts->dialogs.size(), 1);
    QDialog* first = m_prompts->dialogs.first();
    QCOMPARE(first, m_form->aboutWindow());
    QCOMPARE(first->windowTitle(), QStringLiteral("About"));
    QCOMPARE(first->size(), QSize(322, 199));
    QVERIFY(!(first->windowFlags() & Qt::WindowCloseButtonHint));

    action("acAbout")->trigger();
    QCOMPARE(m_prompts->dialogs.size(), 2);
    QCOMPARE(m_prompts->dialogs.at(1), first);
    QVERIFY(m_prompts->errors.isEmpty());
}

void MainFormShellTest::aboutWindowClosesOnNameAndPictureButNotOnAddress()
{
    QList<QUrl> opened;
    norvane::app::setUrlOpener([&](const QUrl& url) { opened << url; });
    const char* clicked = nullptr;
    bool visibleAfterClick = true;
    int result = -1;
    m_prompts->onDialog = [&](QDialog& dialog) {
        dialog.setResult(QDialog::Accepted);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            return -1;
        auto* target = dialog.findChild<QWidget*>(QLatin1String(clicked));
        // The picture area lies under the labels: click an empty corner of it.
        const QPoint at = qstrcmp(clicked, "Image1") == 0 ? QPoint(300, 180) : QPoint(3, 3);
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        visibleAfterClick = dialog.isVisible();
        result = dialog.result();
        dialog.hide();
        return result;
    };

    for (const char* name : {"Label1", "Image1"}) {
        clicked = name;
        action("acAbout")->trigger();
        QVERIFY2(!visibleAfterClick, name);
        QCOMPARE(result, int(QDialog::Rejected));
    }
    QVERIFY(opened.isEmpty());

    clicked = "Label3";
    action("acAbout")->trigger();
    QVERIFY(visibleAfterClick);
    QCOMPARE(opened, QList<QUrl>{QUrl(QString::fromLatin1(norvane::app::kHomePage))});
    auto* address = m_form->aboutWindow()->findChild<QLabel*>(QStringLiteral("Label3"));
    QCOMPARE(address->text(), QString::fromLatin1(norvane::app::kHomePage));
    norvane::app::setUrlOpener({});
}

void MainFormShellTest::homePageGoesThroughTheShellSeam()
{
    QList<QUrl> opened;
    norvane::app::setUrlOpener([&](const QUrl& url) { opened << url; });
    action("acHome")->trigger();
    norvane::app::setUrlOpener({});
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened.first().isValid());
    QCOMPARE(opened.first().scheme(), QStringLiteral("https"));
    QVERIFY(m_prompts->errors.isEmpty());
}

void MainFormShellTest::guardShowsTheErrorTextAndTheApplicationGoesOn_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("norvane error") << 0 << QStringLiteral("Table 'x' doesn't exist");
    QTest::newRow("standard exception") << 1 << QStringLiteral("bad thing");
    QTest::newRow("anything else") << 2 << QStringLiteral("Unknown error");
    QTest::newRow("non-ASCII text") << 0 << QStringLiteral("Größe überschritten");
}

void MainFormShellTest::guardShowsTheErrorTextAndTheApplicationGoesOn()
{
    QFETCH(int, kind);
    QFETCH(QString, message);
    auto raise = [&] {
        if (kind == 0)
            throw norvane::Error(message.toStdString());
        if (kind == 1)
            throw std::logic_error(message.toStdString());
        throw 42;
    };

    // Directly, and from inside the event loop through a queued call.
    QVERIFY(!norvane::app::runGuarded(m_form.get(), raise));
    QCOMPARE(m_prompts->errors, QStringList{message});
    bool after = false;
    QTimer::singleShot(0, m_form.get(), [&] { norvane::app::runGuarded(m_form.get(), raise); });
    QTimer::singleShot(5, m_form.get(), [&] { after = true; });
    QTRY_VERIFY(after);
    QCOMPARE(m_prompts->errors, (QStringList{message, message}));

    // The window still works: an action runs normally afterwards.
    action("acAbout")->trigger();
    QCOMPARE(m_prompts->dialogs.size(), 1);
    QVERIFY(norvane::app::runGuarded(m_form.get(), [] {}));
}

void MainFormShellTest::disabledActionNeverRunsThroughItsShortCut()
{
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QSignalSpy executing(&m_form->actionManager(), &norvane::app::ActionManager::executing);
    QSignalSpy postTriggered(action("acPost"), &QAction::triggered);
    QSignalSpy delTriggered(action("acDel"), &QAction::triggered);

    QVERIFY(!action("acPost")->isEnabled());
    QVERIFY(!action("acDel")->isEnabled());
    QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(m_form.get(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(waitForIdleEvaluation(m_form->actionManager()));
    QCOMPARE(postTriggered.size(), 0);
    QCOMPARE(delTriggered.size(), 0);
    QCOMPARE(executing.size(), 0);
    QVERIFY(m_prompts->errors.isEmpty());
}

void MainFormShellTest::staleEnabledActionIsCheckedAgainBeforeItRuns()
{
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QSignalSpy executing(&m_form->actionManager(), &norvane::app::ActionManager::executing);
    QSignalSpy triggered(action("acPost"), &QAction::triggered);

    // Enabled by hand, as if the last idle evaluation were out of date: the short-cut reaches
    // the action, the rules run again, and the handler does not.
    action("acPost")->setEnabled(true);
    QTest::keyClick(m_form.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(triggered.size(), 1);
    QCOMPARE(executing.size(), 0);
    QVERIFY(!action("acPost")->isEnabled());
    QVERIFY(m_prompts->errors.isEmpty());

    // An enabled action does run when triggered.
    action("acHome")->setEnabled(true);
    norvane::app::setUrlOpener([](const QUrl&) {});
    action("acHome")->trigger();
    norvane::app::setUrlOpener({});
    QCOMPARE(executing.size(), 1);
    QCOMPARE(executing.first().first().value<QAction*>(), action("acHome"));
}

void MainFormShellTest::enableRulesFollowChangesWhenTheLoopIsIdle()
{
    auto* memo = m_form->findChild<norvane::app::SqlEditor*>(QStringLiteral("moSQL"));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY(!action("acExecute")->isEnabled());
    // Typed text, not set programmatically: the user's editing path.
    memo->setFocus();
    QTest::keyClicks(memo, QStringLiteral("select 1"));
    QTRY_VERIFY(action("acExecute")->isEnabled());
    QVERIFY(memo->textModified());
    memo->selectAll();
    QTest::keyClick(memo, Qt::Key_Delete);
    QTRY_VERIFY(!action("acExecute")->isEnabled());
    QVERIFY(!action("acSaveToFile")->isEnabled());
}

void MainFormShellTest::failingRuleIsReportedOnceNotAtEveryIdleMoment()
{
    auto* parent = new QWidget;
    norvane::app::ActionManager manager(parent);
    QAction* a = manager.add(QStringLiteral("acTest"), QStringLiteral("&Test"), [] {});
    bool fail = true;
    manager.addUpdateHandler([&] {
        if (fail)
            throw norvane::Error("rule broke");
        a->setEnabled(true);
    });
    manager.updateActions();
    manager.updateActions();
    QVERIFY(waitForIdleEvaluation(manager));
    QCOMPARE(m_prompts->errors, QStringList{QStringLiteral("rule broke")});
    fail = false;
    manager.updateActions();
    QVERIFY(a->isEnabled());
    fail = true;
    manager.updateActions();
    QCOMPARE(m_prompts->errors.size(), 2);
    delete parent;
}

void MainFormShellTest::exitClosesTheWindow()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    action("acExit")->trigger();
    QTRY_VERIFY(!m_form->isVisible());
    QVERIFY(m_prompts->errors.isEmpty());
}

QTEST_MAIN(MainFormShellTest)
#include "MainFormShellTest.moc"
