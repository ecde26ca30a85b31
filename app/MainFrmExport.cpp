#include "MainFrm.h"

#include "dbaccess/ClientDataSet.h"
#include "persist/Error.h"

#include <QAbstractItemView>
#include <QAction>
#include <QTableView>

namespace norvane::app {

namespace {
[[noreturn]] void notAvailable()
{
    throw norvane::Error("Export is not available in this build.");
}
} // namespace

void TMainForm::acSlkExecute()
{
    notAvailable();
}

void TMainForm::acCsvExecute()
{
    notAvailable();
}

void TMainForm::acTxtExecute()
{
    notAvailable();
}

void TMainForm::acHtmlExecute()
{
    notAvailable();
}

void TMainForm::acSlkUpdate()
{
    const db::ClientDataSet* dataset = CurrentGrid == dgdSQL ? cdsSQL : cdsData;
    const bool open = dataset->active();
    for (QAction* a : {acSlk, acCsv, acTxt, acHtml})
        a->setEnabled(open);
}

} // namespace norvane::app
