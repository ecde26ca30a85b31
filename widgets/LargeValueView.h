#pragma once
/// A read-only view of a value of any size: wrapped text or a hex dump.

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>

#include <vector>

namespace norvane::widgets {

/// Paints only the lines in sight, so a value of many megabytes shows at once (a text editor
/// lays out every line, and a long line takes seconds). Text wraps at the width of the view in
/// a fixed-pitch font; the hex dump shows 16 bytes a line with their offset and their printable
/// characters.
class LargeValueView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LargeValueView(QWidget* parent = nullptr);

    void setText(const QString& text);
    void setBytes(const QByteArray& bytes);
    bool isHex() const { return m_hex; }
    /// Lines the view has now (wrapped lines for text).
    qsizetype lineCount() const;
    /// The text drawn on line `line` (for tests and the screen reader).
    QString lineText(qsizetype line) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    int columns() const;

    bool m_hex = false;
    QString m_text;
    QByteArray m_bytes;
    std::vector<qsizetype> m_lineStarts; ///< offset of each text line
    std::vector<qsizetype> m_firstRow;   ///< the first wrapped row of each text line, plus total
    int m_wrapColumns = 0;
};

} // namespace norvane::widgets
