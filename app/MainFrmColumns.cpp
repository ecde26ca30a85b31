#include "MainFrm.h"

#include "catalogue/NVMySQLObject.h"

#include <QHeaderView>
#include <QLocale>
#include <QTableWidget>
#include <QVBoxLayout>

namespace norvane::app {

QWidget* TMainForm::createColumnsPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("tshColumn"));

    sgdColumns = new QTableWidget(1, 3, page);
    sgdColumns->setObjectName(QStringLiteral("sgdColumns"));
    sgdColumns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgdColumns->verticalHeader()->setVisible(false);
    sgdColumns->verticalHeader()->setDefaultSectionSize(16);
    sgdColumns->verticalHeader()->setMinimumSectionSize(16);
    sgdColumns->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    sgdColumns->setHorizontalHeaderLabels({QString(), QString(), QString()});
    const int widths[] = {100, 45, 131};
    for (int c = 0; c < 3; ++c)
        sgdColumns->setColumnWidth(c, widths[c]);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sgdColumns);
    return page;
}

namespace {
// Row 0 of the grid is its header; grid row r is table row r - 1.
void setGridRowCount(QTableWidget* grid, int rows)
{
    grid->setRowCount(rows - 1);
}

int gridRowCount(const QTableWidget* grid)
{
    return grid->rowCount() + 1;
}

void setCell(QTableWidget* grid, int column, int row, const QString& text)
{
    if (row == 0) {
        grid->setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    QTableWidgetItem* item = grid->item(row - 1, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid->setItem(row - 1, column, item);
    }
    item->setText(text);
    // Long type texts ("tinyint(3) unsigned zerofill") do not fit the narrow column.
    item->setToolTip(text);
}

bool sameName(const QString& a, const QString& b)
{
    const QLocale locale;
    return locale.toLower(a) == locale.toLower(b);
}
} // namespace

void TMainForm::ShowColumns()
{
    setGridRowCount(sgdColumns, 2);
    setCell(sgdColumns, 0, 0, QStringLiteral("Field Name"));
    setCell(sgdColumns, 1, 0, QStringLiteral("Key"));
    setCell(sgdColumns, 2, 0, QStringLiteral("Data type"));
    CurrentTable->LoadFieldDefs();

    const catalogue::TNVFieldDefs& defs = *CurrentTable->FieldDefs;
    const catalogue::TNVIndexDefs& keys = *CurrentTable->IndexDefs;
    for (int i = 0; i < defs.Count(); ++i) {
        if (i > 0)
            setGridRowCount(sgdColumns, gridRowCount(sgdColumns) + 1);
        const catalogue::TNVFieldDef* def = defs.Items(i);
        const QString name = def ? QString::fromStdString(def->FName) : QString();
        const int row = i + 1;
        setCell(sgdColumns, 0, row, name);
        setCell(sgdColumns, 1, row, QStringLiteral("No"));
        setCell(sgdColumns, 2, row, def ? QString::fromStdString(def->DataTypeName) : QString());
        if (keys.Count() < 1 || !keys.Items(0))
            continue;
        // Split at every ";": the field utilities treat quotes, '#' and '^' as literal runs,
        // which would hide key columns named like "it's" or "#1".
        const QStringList list =
            QString::fromStdString(keys.Items(0)->FFieldExpression).split(u';');
        for (const QString& keyColumn : list)
            if (sameName(keyColumn, name))
                setCell(sgdColumns, 1, row, QStringLiteral("Yes"));
    }
}

} // namespace norvane::app
