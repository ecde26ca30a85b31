#pragma once
// Shared by the page tests: a database of the test's own, prompts that answer from the test,
// the real main window logged on through its logon dialog, and short ways to reach the
// window's widgets, actions and datasets by objectName.

#include "app/ActionManager.h"
#include "app/MainFrm.h"
#include "app/NVDataPub.h"
#include "app/SqlEditor.h"
#include "dbaccess/ClientDataSet.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"
#include "widgets/DataGridModel.h"
#include "widgets/Prompts.h"

#include "RecordingPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <stdexcept>

namespace pages {

inline QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

using ScriptedPrompts = RecordingPrompts;

/// A session of the test's own, beside the window's, for setting up and checking the server.
inline std::unique_ptr<norvane::db::Connection> adminConnection(const QString& database)
{
    auto c = std::make_unique<norvane::db::Connection>();
    c->setParams({env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"), env("NORVANE_TEST_HOST"),
                  database});
    c->open();
    return c;
}

/// The first column of the first row; "NULL" for null, "<no row>" without a row.
inline QString scalar(norvane::db::Connection& c, const QString& sql)
{
    norvane::db::SqlSource q(&c);
    q.setSql(sql);
    q.open();
    if (q.eof())
        return QStringLiteral("<no row>");
    return q.field(0).isNull() ? QStringLiteral("NULL") : q.field(0).asString();
}

/// The data module, the window and the prompts of one test function, over `database`.
class Window
{
public:
    explicit Window(QString database) : m_database(std::move(database))
    {
        form = std::make_unique<norvane::app::TMainForm>();
    }
    ~Window()
    {
        form.reset();
        if (norvane::app::MainDataModule)
            norvane::app::MainDataModule->SQLConnection->close();
    }

    QAction* action(const char* name) const
    {
        auto* a = form->findChild<QAction*>(QLatin1String(name));
        if (!a)
            throw std::runtime_error(std::string("no action ") + name);
        return a;
    }
    /// Re-evaluates the enable rules as the idle loop does.
    void updateActions() const { form->actionManager().updateActions(); }
    /// Runs an action the way a menu item does: rules first, then only when enabled.
    bool run(const char* name) const
    {
        updateActions();
        QAction* a = action(name);
        if (!a->isEnabled())
            return false;
        a->trigger();
        return true;
    }
    bool enabled(const char* name) const
    {
        updateActions();
        return action(name)->isEnabled();
    }

    template <typename T> T* child(const char* name) const
    {
        auto* w = form->findChild<T*>(QLatin1String(name));
        if (!w)
            throw std::runtime_error(std::string("no child ") + name);
        return w;
    }
    QTreeWidget* tree() const { return child<QTreeWidget>("tvwTables"); }
    QTableWidget* columns() const { return child<QTableWidget>("sgdColumns"); }
    norvane::widgets::DBGrid* dataGrid() const
    {
        return child<norvane::widgets::DBGrid>("dgdData");
    }
    norvane::widgets::DBGrid* sqlGrid() const { return child<norvane::widgets::DBGrid>("dgdSQL"); }
    norvane::db::ClientDataSet* cdsData() const
    {
        return child<norvane::db::ClientDataSet>("cdsData");
    }
    norvane::db::ClientDataSet* cdsSQL() const
    {
        return child<norvane::db::ClientDataSet>("cdsSQL");
    }
    norvane::db::SqlSource* sqryData() const { return child<norvane::db::SqlSource>("sqryData"); }
    norvane::app::SqlEditor* memo() const { return child<norvane::app::SqlEditor>("moSQL"); }
    /// Replaces the console's text as the user would: key clicks for plain ASCII, otherwise as a
    /// paste (key clicks carry Latin-1 only).
    void typeSql(const QString& text) const
    {
        memo()->selectAll();
        QTest::keyClick(memo(), Qt::Key_Delete);
        bool plain = true;
        for (QChar c : text)
            plain = plain && c.unicode() < 0x80 && c != u'\n';
        if (plain)
            QTest::keyClicks(memo(), text);
        else
            memo()->insert(text);
    }
    /// Types and runs a statement; the first cell of its result, or "<disabled>".
    QString runSql(const QString& text) const
    {
        typeSql(text);
        if (!run("acExecute"))
            return QStringLiteral("<disabled>");
        return cell(sqlGrid(), 0, 0);
    }
    norvane::db::Connection* connection() const
    {
        return norvane::app::MainDataModule->SQLConnection;
    }

    /// Log on through the logon dialog as the test account.
    void logOn()
    {
        const QString database = m_database;
        prompts.onDialog = [database](QDialog& dialog) {
            dialog.findChild<QComboBox*>(QStringLiteral("cbxHost"))
                ->setEditText(env("NORVANE_TEST_HOST"));
            dialog.findChild<QLineEdit*>(QStringLiteral("edUserName"))
                ->setText(env("NORVANE_TEST_USER"));
            dialog.findChild<QLineEdit*>(QStringLiteral("edPassword"))
                ->setText(env("NORVANE_TEST_PASSWORD"));
            dialog.findChild<QComboBox*>(QStringLiteral("cbxDatabase"))->setEditText(database);
            dialog.done(QDialog::Accepted);
            return dialog.result();
        };
        if (!run("acLogin"))
            throw std::runtime_error("Log on is disabled");
    }

    QStringList nodeTexts() const
    {
        QStringList texts;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            texts << tree()->topLevelItem(i)->text(0);
        return texts;
    }
    /// Chooses the node of `table` as a click would; false when there is no such node.
    bool choose(const QString& table) const
    {
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            if (tree()->topLevelItem(i)->text(0) == table) {
                tree()->setCurrentItem(tree()->topLevelItem(i));
                return true;
            }
        return false;
    }

    /// Grid row count including the header row, as the page shows it.
    int columnRows() const { return columns()->rowCount() + 1; }
    /// Text of the Columns grid at (column, row); row 0 is the header.
    QString columnCell(int column, int row) const
    {
        if (row == 0) {
            const QTableWidgetItem* h = columns()->horizontalHeaderItem(column);
            return h ? h->text() : QString();
        }
        const QTableWidgetItem* item = columns()->item(row - 1, column);
        return item ? item->text() : QString();
    }

    /// Display text of a data grid cell.
    static QString cell(norvane::widgets::DBGrid* grid, int row, int column)
    {
        return grid->model()->index(row, column).data().toString();
    }
    /// Writes `text` into a cell as the cell editor does when the user leaves it.
    static bool edit(norvane::widgets::DBGrid* grid, int row, int column, const QString& text)
    {
        grid->setCurrentIndex(grid->model()->index(row, column));
        return grid->model()->setData(grid->model()->index(row, column), text, Qt::EditRole);
    }
    /// Moves the grid's current row, as the user leaving a row does.
    static void moveTo(norvane::widgets::DBGrid* grid, int row, int column = 0)
    {
        grid->setCurrentIndex(grid->model()->index(row, column));
    }

    QString panel1() const { return form->panelText(1); }

    ScriptedPrompts prompts;
    std::unique_ptr<norvane::app::TMainForm> form;

private:
    QString m_database;
};

/// Creates a database for one test program and drops it at the end.
class TestDatabase
{
public:
    explicit TestDatabase(const QString& name) : name(name)
    {
        admin = adminConnection(env("NORVANE_TEST_DATABASE"));
        admin->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name));
        admin->execute(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(name));
        admin->execute(QStringLiteral("USE `%1`").arg(name));
    }
    ~TestDatabase()
    {
        try {
            admin->ensureOpen();
            admin->execute(QStringLiteral("DROP DATABASE IF EXISTS `%1`").arg(name));
        } catch (...) {
        }
    }
    void exec(const QString& sql) { admin->execute(sql); }
    void exec(const char* sql) { admin->execute(QString::fromUtf8(sql)); }
    QString value(const QString& sql) { return scalar(*admin, sql); }

    QString name;
    std::unique_ptr<norvane::db::Connection> admin;
};

} // namespace pages
