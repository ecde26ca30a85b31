#include "ValueEditor.h"

#include "JsonText.h"
#include "LargeValueView.h"
#include "Prompts.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

namespace norvane::widgets {

namespace {

// A text editor lays out every line it holds, and one long line takes seconds: beyond these
// sizes the value is shown by the view that draws only the lines in sight.
constexpr qsizetype kMaxEditChars = 1'000'000;
constexpr qsizetype kMaxEditLine = 10'000;
// The largest packet a server accepts; a larger file could never be stored.
constexpr qint64 kMaxFileBytes = 1'073'741'824;

qsizetype longestLine(const QString& text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', start)) {
        longest = std::max(longest, i - start);
        start = i + 1;
    }
    return std::max(longest, text.size() - start);
}

qsizetype codePoints(const QString& text)
{
    qsizetype n = text.size();
    for (const QChar c : text)
        if (c.isLowSurrogate())
            --n;
    return n;
}

/// True when `bytes` are well-formed UTF-8 (no overlong forms, surrogates or values past
/// U+10FFFF). Stops at the first bad byte, so binary data is told apart at once.
bool isUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned min = 0;
        unsigned code = 0;
        if ((c & 0xe0) == 0xc0) {
            extra = 1, min = 0x80, code = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            extra = 2, min = 0x800, code = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (p[i] & 0x3f);
        }
        if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        p += extra + 1;
    }
    return true;
}

/// Strict UTF-8: a byte order mark stays a character, so the bytes come back unchanged.
std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    if (!isUtf8(bytes))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

/// Runs a button's work; an error becomes a message box instead of leaving the event loop.
template <typename F> void guarded(QWidget* parent, F&& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        prompts().showError(parent, QString::fromUtf8(e.what()));
    }
}

} // namespace

bool ValueEditor::handles(const db::FieldDef& def)
{
    using db::FieldType;
    if (def.isBit || def.isEnumOrSet)
        return false;
    switch (def.type) {
    case FieldType::ftString:
    case FieldType::ftMemo:
    case FieldType::ftBlob:
    case FieldType::ftBytes:
    case FieldType::ftVarBytes:
        return true;
    default:
        return false;
    }
}

ValueEditor::ValueEditor(const db::FieldDef& def, const QString& label, db::RawValue value,
                         bool readOnly, QWidget* parent)
    : QDialog(parent), m_def(def), m_label(label), m_original(value), m_value(std::move(value)),
      m_readOnly(readOnly)
{
    setObjectName(QStringLiteral("ValueEditor"));
    setWindowTitle(readOnly ? tr("Value of %1 (read-only)").arg(label)
                            : tr("Value of %1").arg(label));
    resize(720, 480);
    m_layout = new QVBoxLayout(this);
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("lblValueInfo"));
    m_layout->addWidget(m_info);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblValueNote"));
    m_note->setWordWrap(true);
    m_layout->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    auto* load = new QPushButton(tr("&Load from file..."), this);
    load->setObjectName(QStringLiteral("btnLoadValue"));
    load->setEnabled(!readOnly);
    connect(load, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { loadFromFile(); }); });
    m_save = new QPushButton(tr("Sa&ve to file..."), this);
    m_save->setObjectName(QStringLiteral("btnSaveValue"));
    connect(m_save, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { saveToFile(); }); });
    auto* null = new QPushButton(tr("Set to &NULL"), this);
    null->setObjectName(QStringLiteral("btnSetNull"));
    null->setEnabled(!readOnly);
    connect(null, &QPushButton::clicked, this, [this] { setNull(); });
    buttons->addWidget(load);
    buttons->addWidget(m_save);
    buttons->addWidget(null);
    buttons->addStretch();
    auto* box = new QDialogButtonBox(this);
    if (readOnly) {
        box->addButton(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnCancel"));
    } else {
        box->addButton(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
        box->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    }
    connect(box, &QDialogButtonBox::accepted, this, &ValueEditor::accept);
    connect(box, &QDialogButtonBox::rejected, this, &ValueEditor::reject);
    buttons->addWidget(box);
    m_layout->addLayout(buttons);
    showValue(m_value);
}

void ValueEditor::showValue(const db::RawValue& value)
{
    delete m_content;
    m_content = nullptr;
    m_edit = nullptr;
    m_shown.clear();
    m_crlf = false;
    const QLocale locale;
    QString note;

    if (isBinary()) {
        auto* tabs = new QTabWidget;
        auto* hex = new LargeValueView;
        hex->setObjectName(QStringLiteral("vwValue"));
        hex->setBytes(value.value_or(QByteArray()));
        tabs->addTab(hex, tr("Hex"));
        auto* text = new LargeValueView;
        text->setObjectName(QStringLiteral("vwValueText"));
        const std::optional<QString> decoded = decodeUtf8(value.value_or(QByteArray()));
        text->setText(decoded.value_or(QString()));
        const int at = tabs->addTab(text, tr("Text"));
        tabs->setTabEnabled(at, decoded.has_value());
        if (!decoded)
            tabs->setTabToolTip(at, tr("The bytes are not UTF-8 text."));
        m_content = tabs;
        m_info->setText(
            value ? tr("%1: binary, %2 bytes").arg(m_label, locale.toString(value->size()))
                  : tr("%1: binary, NULL").arg(m_label));
        if (!m_readOnly)
            note = tr("A binary value is replaced by loading a file.");
    } else {
        const QString text = value ? db::exactTextOf(m_def, value) : QString();
        QString shown = text;
        if (m_def.isJson && value) {
            const JsonCheck json = checkJson(text);
            if (json.valid)
                shown = json.indented;
            else
                note = tr("The stored value is not valid JSON.");
        } else if (text.contains(u'\r') &&
                   text.count(QStringLiteral("\r\n")) == text.count(u'\r') &&
                   text.count(u'\r') == text.count(u'\n')) {
            // Lines ending in CR LF are shown as lines and written back with CR LF.
            m_crlf = true;
            shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        }
        bool editable = shown.size() <= kMaxEditChars && longestLine(shown) <= kMaxEditLine &&
                        (!value || db::rawFromText(m_def, text) == *value);
        if (editable) {
            m_edit = new QPlainTextEdit;
            m_edit->setObjectName(QStringLiteral("moValue"));
            m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            m_edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            m_edit->setPlainText(shown);
            m_edit->setReadOnly(m_readOnly);
            // Carriage returns, paragraph separators and the like do not survive a text
            // document; such a value is shown, never edited.
            if (editorText() != shown) {
                delete m_edit;
                m_edit = nullptr;
                editable = false;
                note = tr("The text holds characters this editor would change: load a file to "
                          "replace it, or save it to a file.");
            } else {
                m_shown = shown;
                m_content = m_edit;
            }
        } else if (note.isEmpty()) {
            note = tr("Too large to edit here: load a file to replace it, or save it to a file "
                      "to edit it elsewhere.");
        }
        if (!m_edit) {
            auto* view = new LargeValueView;
            view->setObjectName(QStringLiteral("vwValue"));
            view->setText(shown);
            m_content = view;
        }
        const QString kind = m_def.isJson ? tr("JSON") : tr("text");
        m_info->setText(value ? tr("%1: %2, %3 characters, %4 bytes")
                                    .arg(m_label, kind, locale.toString(codePoints(text)),
                                         locale.toString(value->size()))
                              : tr("%1: %2, NULL").arg(m_label, kind));
    }
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    m_layout->insertWidget(1, m_content, 1);
    if (m_edit)
        m_edit->setFocus();
}

QString ValueEditor::editorText() const
{
    // The raw text keeps no-break spaces; blocks are separated by U+2029.
    QString text = m_edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

db::RawValue ValueEditor::currentValue() const
{
    if (!m_edit || editorText() == m_shown)
        return m_value;
    QString text = editorText();
    if (m_crlf)
        text.replace(u'\n', QStringLiteral("\r\n"));
    return db::rawFromText(m_def, text);
}

void ValueEditor::accept()
{
    if (m_readOnly) {
        reject();
        return;
    }
    guarded(this, [this] {
        const db::RawValue value = currentValue();
        if (m_def.isJson && value && value != m_original) {
            const JsonCheck json = checkJson(QString::fromUtf8(*value));
            if (!json.valid) {
                prompts().showError(this, json.error);
                return;
            }
        }
        m_result = value;
        m_changed = value != m_original;
        QDialog::accept();
    });
}

void ValueEditor::setNull()
{
    if (m_readOnly)
        return;
    m_result = std::nullopt;
    m_changed = m_original.has_value();
    QDialog::accept();
}

void ValueEditor::loadFromFile()
{
    FilePromptOptions options;
    options.title = tr("Load value from file");
    options.nameFilters = {tr("All files (*)")};
    const QString name = prompts().openFileName(this, options);
    if (name.isEmpty())
        return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        prompts().showError(this, tr("Cannot open \"%1\": %2").arg(name, file.errorString()));
        return;
    }
    if (file.size() > kMaxFileBytes) {
        prompts().showError(this, tr("\"%1\" is too large for a value (%2 bytes).")
                                      .arg(name, QLocale().toString(file.size())));
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        prompts().showError(this, tr("Cannot read \"%1\": %2").arg(name, file.errorString()));
        return;
    }
    if (!isBinary() && !decodeUtf8(bytes)) {
        prompts().showError(this,
                            tr("\"%1\" is not UTF-8 text, and this column holds text.").arg(name));
        return;
    }
    m_value = bytes;
    showValue(m_value);
}

void ValueEditor::saveToFile()
{
    const db::RawValue value = currentValue();
    if (!value) {
        prompts().showError(this, tr("The value is NULL: there is nothing to save."));
        return;
    }
    FilePromptOptions options;
    options.title = tr("Save value to file");
    if (m_def.isJson) {
        options.defaultSuffix = QStringLiteral("json");
        options.nameFilters = {tr("JSON files (*.json)"), tr("All files (*)")};
    } else if (!isBinary()) {
        options.defaultSuffix = QStringLiteral("txt");
        options.nameFilters = {tr("Text files (*.txt)"), tr("All files (*)")};
    } else {
        options.nameFilters = {tr("All files (*)")};
    }
    const QString name = prompts().saveFileName(this, options);
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(*value) != value->size() || !file.commit())
        prompts().showError(this, tr("Cannot write \"%1\": %2").arg(name, file.errorString()));
}

} // namespace norvane::widgets
