#include "DataSource.h"

#include "Prompts.h"

#include <QApplication>

namespace norvane::widgets {

DataSource::DataSource(QObject* parent) : QObject(parent) {}

DataSource::DataSource(db::ClientDataSet* dataSet, QObject* parent) : QObject(parent)
{
    setDataSet(dataSet);
}

void DataSource::setDataSet(db::ClientDataSet* dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (dataSet) {
        using DS = db::ClientDataSet;
        connect(dataSet, &DS::stateChanged, this, &DataSource::stateChanged);
        connect(dataSet, &DS::currentRowChanged, this, &DataSource::currentRowChanged);
        connect(dataSet, &DS::rowChanged, this, &DataSource::rowChanged);
        connect(dataSet, &DS::rowsInserted, this, &DataSource::rowsInserted);
        connect(dataSet, &DS::rowsRemoved, this, &DataSource::rowsRemoved);
        connect(dataSet, &DS::layoutReset, this, &DataSource::layoutReset);
        // The controls must let go of a dataset that is destroyed before its source.
        connect(dataSet, &QObject::destroyed, this, [this] {
            m_dataSet = nullptr;
            emit dataSetChanged();
        });
    }
    emit dataSetChanged();
}

bool DataSource::isActive() const
{
    return m_dataSet && m_dataSet->active();
}

void DataSource::reportError(const QString& message, QWidget* parent) const noexcept
{
    try {
        if (m_sink)
            m_sink(message);
        else
            prompts().showError(parent ? parent : QApplication::activeWindow(), message);
    } catch (...) {
        // A failing sink has nowhere left to report to; the event loop must not see it.
    }
}

bool DataSource::guard(const std::function<void()>& action, QWidget* parent) const noexcept
{
    QString message;
    try {
        action();
        return true;
    } catch (...) {
        message = currentExceptionText();
    }
    reportError(message, parent);
    return false;
}

} // namespace norvane::widgets
