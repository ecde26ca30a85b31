#pragma once
/// The one question asked before rows with unsaved changes would be thrown away.

#include "dbaccess/ClientDataSet.h"

class QWidget;

namespace norvane::widgets {

/// Posts the row being edited, then, while the dataset holds changes the server has not saved,
/// asks (through the prompts) whether to post them again, discard them, or stay. Returns true
/// when nothing unsaved is left and the caller may close, switch or reread the dataset; false
/// when the user stays or a change posted again is still refused (its rows stay marked). An
/// error of the post itself propagates.
bool settleUnsavedChanges(QWidget* parent, db::ClientDataSet& dataSet);

} // namespace norvane::widgets
