#include "GridDelegate.h"

#include "DataGridModel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>
#include <limits>

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
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        // A line edit holds 32,767 characters unless told otherwise and cuts the rest: it takes
        // the whole value, and as much as the column holds.
        const qsizetype length = index.data(Qt::EditRole).toString().size();
        qsizetype limit = std::numeric_limits<int>::max();
        const auto* model = qobject_cast<const DataGridModel*>(index.model());
        const int field = model ? model->fieldIndex(index.column()) : -1;
        if (field >= 0 && model->dataSet() && model->dataSet()->field(field).size() > 0)
            limit = std::max<qsizetype>(length, model->dataSet()->field(field).size());
        line->setMaxLength(
            static_cast<int>(std::min<qsizetype>(limit, std::numeric_limits<int>::max())));
        connect(line, &QLineEdit::textEdited, this, &GridDelegate::userTyped);
    }
    return editor;
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && object == m_editor) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::DeleteEndOfWord) ||
            key->matches(QKeySequence::DeleteStartOfWord)) {
            event->accept();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace norvane::widgets
