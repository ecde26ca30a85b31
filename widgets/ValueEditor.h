#pragma once
/// The value editor: one text, JSON or binary value shown whole, to read, change or replace.

#include "dbaccess/Field.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace norvane::widgets {

class LargeValueView;

/// Shows a value of any size: text wrapped (JSON indented) with its size, binary as a hex dump
/// and as text where it is UTF-8. Text that the editor can hold unchanged is edited in place;
/// longer text, text with lines too long to lay out quickly, and binary values are shown
/// read-only and replaced by loading a file. The dialog only produces the new value: the
/// caller stores it through the dataset like any cell.
///
/// Children (objectNames): `lblValueInfo`, `moValue` (editable text), `vwValue` (large or
/// binary value), `vwValueText` (binary value as text), `lblValueNote`, `btnLoadValue`,
/// `btnSaveValue`, `btnSetNull`, `btnOk`, `btnCancel`.
class ValueEditor : public QDialog
{
    Q_OBJECT

public:
    ValueEditor(const db::FieldDef& def, const QString& label, db::RawValue value, bool readOnly,
                QWidget* parent = nullptr);

    /// True for the columns this editor serves: text, JSON and byte data.
    static bool handles(const db::FieldDef& def);

    /// After acceptance: whether the value differs from the one given, and the new value.
    bool changed() const { return m_changed; }
    const db::RawValue& value() const { return m_result; }

    void accept() override;

private:
    void showValue(const db::RawValue& value);
    void loadFromFile();
    void saveToFile();
    void setNull();
    /// The value as the dialog shows it now (the editor's text once the user changed it).
    db::RawValue currentValue() const;
    QString editorText() const;
    bool isBinary() const { return m_def.isBinary; }

    db::FieldDef m_def;
    QString m_label;
    db::RawValue m_original;
    db::RawValue m_value; ///< what the content was built from (given, or loaded)
    bool m_readOnly;
    bool m_crlf = false; ///< the text's lines end in CR LF; the editor shows LF
    QString m_shown;     ///< the text put into the editor
    db::RawValue m_result;
    bool m_changed = false;

    QVBoxLayout* m_layout = nullptr;
    QWidget* m_content = nullptr;
    QLabel* m_info = nullptr;
    QLabel* m_note = nullptr;
    QPlainTextEdit* m_edit = nullptr;
    QPushButton* m_save = nullptr;
};

} // namespace norvane::widgets
