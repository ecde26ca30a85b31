// Documentation pictures of the pages: logs the real main window on to a server, opens a table
// and runs a statement, and grabs the logon dialog, the Data page, the Columns page, the
// console and the value editor on a JSON cell of the demo log.
//   norvane-page-shots OUTDIR HOST USER PASSWORD DATABASE TABLE COLUMNS-TABLE STATEMENT
// Exit code 0 only when every picture was written and no error was shown.

#include "app/ActionManager.h"
#include "app/MainFrm.h"
#include "app/NVDataPub.h"
#include "app/SqlEditor.h"
#include "widgets/DBGrid.h"
#include "widgets/DataGridModel.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

struct LogonPrompts : norvane::widgets::DialogPrompts
{
    QStringList logon;
    QString logonShot; ///< where the filled-in logon dialog is pictured
    QString valueShot; ///< where the value editor is pictured
    int errors = 0;
    bool shotWritten = false;
    bool valueShotWritten = false;

    void showError(QWidget*, const QString& message) override
    {
        ++errors;
        std::fprintf(stderr, "error shown: %s\n", qPrintable(message));
    }
    int execDialog(QDialog& dialog) override
    {
        if (dialog.objectName() == QLatin1String("ValueEditor")) {
            dialog.resize(640, 400);
            dialog.show();
            QApplication::processEvents();
            valueShotWritten = dialog.grab().save(valueShot, "PNG");
            std::fprintf(stderr, "%s %s\n", valueShotWritten ? "wrote" : "could not write",
                         qPrintable(valueShot));
            return QDialog::Rejected;
        }
        auto* host = dialog.findChild<QComboBox*>(QStringLiteral("cbxHost"));
        if (!host)
            return QDialog::Rejected;
        host->setEditText(logon.at(0));
        dialog.findChild<QLineEdit*>(QStringLiteral("edUserName"))->setText(logon.at(1));
        dialog.findChild<QLineEdit*>(QStringLiteral("edPassword"))->setText(logon.at(2));
        dialog.findChild<QComboBox*>(QStringLiteral("cbxDatabase"))->setEditText(logon.at(3));
        if (!logonShot.isEmpty()) {
            dialog.findChild<QCheckBox*>(QStringLiteral("cbxStore"))->setChecked(true);
            dialog.show();
            // The hint beside "Store password" settles once the keyring answered.
            auto* place = dialog.findChild<QLabel*>(QStringLiteral("lbStorePlace"));
            QEventLoop settle;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, &settle, [&] {
                if (!place || !place->text().startsWith(QLatin1String("asking")))
                    settle.quit();
            });
            poll.start(20);
            QTimer::singleShot(8000, &settle, &QEventLoop::quit);
            settle.exec();
            QApplication::processEvents();
            shotWritten = dialog.grab().save(logonShot, "PNG");
            std::fprintf(stderr, "%s %s\n", shotWritten ? "wrote" : "could not write",
                         qPrintable(logonShot));
        }
        dialog.done(QDialog::Accepted);
        return dialog.result();
    }
};

bool grab(QWidget& window, const QString& file)
{
    QApplication::processEvents();
    // Popups (the completion list) are windows of their own: painted over the picture where
    // they stand on the screen.
    QImage picture = window.grab().toImage();
    QPainter painter(&picture);
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != &window && top->isVisible())
            painter.drawPixmap(top->mapToGlobal(QPoint()) - window.mapToGlobal(QPoint()),
                               top->grab());
    painter.end();
    const bool ok = picture.save(file, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

void run(QAction* action, norvane::app::TMainForm& form)
{
    form.actionManager().updateActions();
    form.actionManager().execute(action);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 9) {
        std::fprintf(stderr, "usage: norvane-page-shots OUTDIR HOST USER PASSWORD DATABASE "
                             "TABLE COLUMNS-TABLE STATEMENT\n");
        return 2;
    }
    const QDir out(args.at(1));
    LogonPrompts prompts;
    prompts.logon = args.mid(2, 4);
    prompts.logonShot = out.filePath(QStringLiteral("logon-dialog.png"));
    norvane::widgets::setPrompts(&prompts);

    norvane::app::TMainDataModule dataModule;
    norvane::app::TMainForm form;
    form.setWindowState(Qt::WindowNoState);
    form.resize(960, 600);
    form.show();

    int failures = 0;
    QTimer::singleShot(1200, &form, [&] {
        auto action = [&](const char* name) {
            return form.findChild<QAction*>(QLatin1String(name));
        };
        auto* pages = form.findChild<QTabWidget*>(QStringLiteral("pctMain"));
        auto* tree = form.findChild<QTreeWidget*>(QStringLiteral("tvwTables"));
        auto choose = [&](const QString& table) {
            const auto found = tree->findItems(table, Qt::MatchExactly);
            if (found.isEmpty()) {
                std::fprintf(stderr, "no table %s in the tree\n", qPrintable(table));
                ++failures;
                return;
            }
            tree->setCurrentItem(found.first());
        };
        run(action("acLogin"), form);
        choose(args.at(6));
        pages->setCurrentIndex(0);
        failures += !grab(form, out.filePath(QStringLiteral("data-page.png")));
        // The same table under a filter, ordered by a column from its header.
        auto* filter = form.findChild<QLineEdit*>(QStringLiteral("edFilter"));
        auto* dataGrid = form.findChild<norvane::widgets::DBGrid*>(QStringLiteral("dgdData"));
        form.actionManager().updateActions();
        filter->setText(QStringLiteral("country IN ('DE', 'FR') AND newsletter = 1"));
        emit filter->returnPressed();
        if (const norvane::db::Field* name =
                dataGrid->dataSet()->findField(QStringLiteral("last_name")))
            emit dataGrid->sortRequested(name->index(), Qt::AscendingOrder);
        form.actionManager().updateActions();
        failures += dataGrid->dataSet()->recordCount() == 0;
        failures += !grab(form, out.filePath(QStringLiteral("data-filter.png")));
        choose(args.at(7));
        pages->setCurrentIndex(1);
        failures += !grab(form, out.filePath(QStringLiteral("columns-page.png")));

        pages->setCurrentIndex(2);
        auto* memo = form.findChild<norvane::app::SqlEditor*>(QStringLiteral("moSQL"));
        memo->setPlainText(args.at(8));
        memo->setTextModified(true);
        run(action("acExecute"), form);
        // The next statement half typed, with the completion list open over it.
        const QString next =
            args.at(8) + QStringLiteral(";\n\n-- Typing the next one\nSELECT name, pri FROM "
                                        "products WHERE category = 'books';");
        memo->setText(next);
        const qsizetype cursor = next.indexOf(QLatin1String("pri FROM")) + 3;
        memo->selectRange(cursor, cursor);
        memo->setFocus();
        memo->showCompletion(true);
        failures += !memo->isListActive();
        failures += !grab(form, out.filePath(QStringLiteral("console.png")));

        choose(QStringLiteral("audit_log"));
        pages->setCurrentIndex(0);
        auto* grid = form.findChild<norvane::widgets::DBGrid*>(QStringLiteral("dgdData"));
        const norvane::db::Field* details = grid->dataSet()->findField(QStringLiteral("details"));
        prompts.valueShot = out.filePath(QStringLiteral("value-editor.png"));
        if (details)
            grid->openValueEditor(
                grid->model()->index(0, grid->gridModel()->columnOfField(details->index())));
        failures += !prompts.valueShotWritten;
        QApplication::quit();
    });
    QApplication::exec();
    norvane::widgets::setPrompts(nullptr);
    return failures == 0 && prompts.errors == 0 && prompts.shotWritten ? 0 : 1;
}
