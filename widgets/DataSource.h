#pragma once
/// The data source (`ds...`): one cached dataset shared by several data-aware controls.

#include "dbaccess/ClientDataSet.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace norvane::widgets {

/// Receives the message of an error that a control caught inside an event handler.
using ErrorSink = std::function<void(const QString& message)>;

/// Links one `db::ClientDataSet` to the grids and navigators bound to it. The dataset's
/// notifications are forwarded unchanged; they carry no exceptions. Errors raised by the
/// dataset while a control works on it are caught by the control and handed to `reportError`,
/// which calls the installed sink or, by default, shows an error message box.
class DataSource : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(QObject* parent = nullptr);
    explicit DataSource(db::ClientDataSet* dataSet, QObject* parent = nullptr);

    /// Binds another dataset (or none); the controls then show it from scratch.
    void setDataSet(db::ClientDataSet* dataSet);
    db::ClientDataSet* dataSet() const { return m_dataSet; }
    /// True when a dataset is bound and open.
    bool isActive() const;

    /// Replaces the error sink; an empty function restores the error message box.
    void setErrorSink(ErrorSink sink) { m_sink = std::move(sink); }
    /// Hands the message to the sink; never throws.
    void reportError(const QString& message, QWidget* parent = nullptr) const noexcept;

    /// Runs `action`; an exception it throws goes to `reportError` and false is returned.
    bool guard(const std::function<void()>& action, QWidget* parent = nullptr) const noexcept;

    /// Asks every bound control to hand over what the user typed and has not yet committed
    /// (an open cell editor), before a post or a move that the control did not start itself.
    /// With `commit` false the typed text is dropped instead (before a cancel).
    void updateRecord(bool commit = true) { emit updateRecordRequested(commit); }

signals:
    void updateRecordRequested(bool commit);
    /// Another dataset was bound (or the bound one was destroyed).
    void dataSetChanged();
    void stateChanged(norvane::db::DataSetState state);
    void currentRowChanged(int row);
    void rowChanged(int row);
    void rowsInserted(int first, int count);
    void rowsRemoved(int first, int count);
    void layoutReset();

private:
    QPointer<db::ClientDataSet> m_dataSet;
    ErrorSink m_sink;
};

} // namespace norvane::widgets
