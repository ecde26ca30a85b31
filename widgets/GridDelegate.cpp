#include "GridDelegate.h"

#include "DataGridModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>

namespace norvane::widgets {

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const
{
    const bool isNull = index.data(DataGridModel::NullRole).toBool();
    if (!isNull || !index.data(Qt::DisplayRole).toString().isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text = nullText();
    opt.font.setItalic(true);
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    QColor grey = opt.palette.color(group, QPalette::PlaceholderText);
    if (!grey.isValid() || grey == opt.palette.color(group, QPalette::Text))
        grey = QColor(Qt::gray);
    opt.palette.setColor(QPalette::Text, grey);
    opt.palette.setColor(QPalette::HighlightedText,
                         opt.palette.color(group, QPalette::HighlightedText).darker(120));
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_editor = editor;
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        connect(line, &QLineEdit::textEdited, this, &GridDelegate::userTyped);
    return editor;
}

} // namespace norvane::widgets
