#include "MainFrm.h"

#include <QHeaderView>
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

void TMainForm::ShowColumns()
{
}

} // namespace norvane::app
