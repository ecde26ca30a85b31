#include "UnsavedChanges.h"

#include "Prompts.h"

#include <QApplication>

#include <utility>

namespace norvane::widgets {

namespace {

/// Collects the refusals of one apply instead of the dataset's own handler, which may raise.
class CollectRefusals
{
public:
    explicit CollectRefusals(db::ClientDataSet& ds)
        : m_ds(ds), m_saved(std::exchange(ds.onReconcileError, {}))
    {
        ds.onReconcileError = [this](db::ClientDataSet&, const db::ReconcileInfo& info) {
            if (!messages.contains(info.message))
                messages << info.message;
        };
    }
    ~CollectRefusals() { m_ds.onReconcileError = std::move(m_saved); }
    CollectRefusals(const CollectRefusals&) = delete;
    CollectRefusals& operator=(const CollectRefusals&) = delete;

    QStringList messages;

private:
    db::ClientDataSet& m_ds;
    std::function<void(db::ClientDataSet&, const db::ReconcileInfo&)> m_saved;
};

} // namespace

bool settleUnsavedChanges(QWidget* parent, db::ClientDataSet& dataSet)
{
    if (!dataSet.active())
        return true;
    dataSet.checkBrowseMode();
    const int rows = dataSet.changeCount();
    if (rows == 0)
        return true;
    const QString text =
        QStringLiteral("%1 row(s) hold changes that are not saved on the server.\n\n"
                       "Save posts them again, Discard throws them away, Cancel stays here.")
            .arg(rows);
    switch (prompts().ask(parent, QApplication::applicationDisplayName(), text,
                          QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                          QMessageBox::Cancel)) {
    case QMessageBox::Save: {
        CollectRefusals refusals(dataSet);
        dataSet.repostRefused();
        dataSet.applyUpdates(-1);
        if (dataSet.changeCount() == 0)
            return true;
        prompts().showError(parent, QStringLiteral("Some changes are still not saved:\n") +
                                        refusals.messages.join(QLatin1Char('\n')));
        return false;
    }
    case QMessageBox::Discard:
        dataSet.cancelUpdates();
        return true;
    default:
        return false;
    }
}

} // namespace norvane::widgets
