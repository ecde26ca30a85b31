#include "MainFrm.h"

#include "persist/Error.h"

#include <QAbstractItemView>
#include <QAction>

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
    const bool open = CurrentGrid && CurrentGrid->model();
    for (QAction* a : {acSlk, acCsv, acTxt, acHtml})
        a->setEnabled(open);
}

} // namespace norvane::app
