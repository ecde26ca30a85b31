#pragma once
/// Paints and edits the cells of a data grid.

#include <QPointer>
#include <QStyledItemDelegate>

namespace norvane::widgets {

/// Draws a null cell with a grey italic "(null)" that is not part of the cell's text, so it
/// never reaches an editor, a copy or an export; and remembers the editor that is open.
class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    /// The text drawn in a null cell.
    static QString nullText() { return QStringLiteral("(null)"); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

    /// The editor open now, or null.
    QWidget* openEditor() const { return m_editor; }

protected:
    /// The word-deleting keys (Ctrl+Del, Ctrl+Backspace) edit the editor's text rather than
    /// reach a window short-cut bound to the same key (Delete record).
    bool eventFilter(QObject* object, QEvent* event) override;

signals:
    /// The user changed the text of an open editor (the first keystroke starts the edit).
    void userTyped();

private:
    mutable QPointer<QWidget> m_editor;
};

} // namespace norvane::widgets
