#pragma once
/// The record navigator (`DBNavigator1`): ten buttons that move through and edit a dataset.

#include "DataSource.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QToolButton;

namespace norvane::widgets {

/// First, prior, next, last, insert, delete, edit, post, cancel and refresh on the dataset of
/// its data source, each enabled as the dataset's state allows. Delete asks "Delete record?"
/// (OK/Cancel) through `prompts()`. Errors go to the data source's error sink.
class DBNavigator : public QWidget
{
    Q_OBJECT

public:
    enum class Button
    {
        First,
        Prior,
        Next,
        Last,
        Insert,
        Delete,
        Edit,
        Post,
        Cancel,
        Refresh
    };
    static constexpr int ButtonCount = 10;

    explicit DBNavigator(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return m_source; }

    /// The button (objectNames nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit,
    /// nbPost, nbCancel, nbRefresh).
    QToolButton* button(Button which) const;
    /// Runs a button's command as a click would (when the button is enabled).
    void click(Button which);

    QSize sizeHint() const override;

    /// Re-reads the enabled state of every button from the dataset.
    void updateButtons();

private:
    void run(Button which);
    void scheduleUpdate();

    QPointer<DataSource> m_source;
    std::array<QToolButton*, ButtonCount> m_buttons{};
    bool m_updatePending = false;
};

} // namespace norvane::widgets
