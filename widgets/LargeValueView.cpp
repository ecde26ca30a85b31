#include "LargeValueView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace norvane::widgets {

namespace {
constexpr int kMargin = 4;
constexpr int kHexBytes = 16;

/// Control characters drawn as their visible pictures; a tab as one blank.
QString printable(QStringView text)
{
    QString s = text.toString();
    for (QChar& c : s) {
        if (c == u'\t')
            c = u' ';
        else if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7f)
            c = QChar(0x2421);
    }
    return s;
}
} // namespace

LargeValueView::LargeValueView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void LargeValueView::setText(const QString& text)
{
    m_hex = false;
    m_bytes.clear();
    m_text = text;
    m_lineStarts.clear();
    m_lineStarts.push_back(0);
    for (qsizetype i = m_text.indexOf(u'\n'); i >= 0; i = m_text.indexOf(u'\n', i + 1))
        m_lineStarts.push_back(i + 1);
    m_wrapColumns = 0;
    relayout();
}

void LargeValueView::setBytes(const QByteArray& bytes)
{
    m_hex = true;
    m_text.clear();
    m_lineStarts.clear();
    m_firstRow.clear();
    m_bytes = bytes;
    relayout();
}

int LargeValueView::columns() const
{
    const int advance = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
    return std::max(8, (viewport()->width() - 2 * kMargin) / advance);
}

qsizetype LargeValueView::lineCount() const
{
    if (m_hex)
        return (m_bytes.size() + kHexBytes - 1) / kHexBytes;
    return m_firstRow.empty() ? 0 : m_firstRow.back();
}

void LargeValueView::relayout()
{
    if (!m_hex && columns() != m_wrapColumns) {
        m_wrapColumns = columns();
        m_firstRow.resize(m_lineStarts.size() + 1);
        qsizetype row = 0;
        for (std::size_t i = 0; i < m_lineStarts.size(); ++i) {
            m_firstRow[i] = row;
            const qsizetype end =
                i + 1 < m_lineStarts.size() ? m_lineStarts[i + 1] - 1 : m_text.size();
            const qsizetype length = end - m_lineStarts[i];
            row += std::max<qsizetype>(1, (length + m_wrapColumns - 1) / m_wrapColumns);
        }
        m_firstRow.back() = row;
    }
    const int rowHeight = std::max(1, fontMetrics().lineSpacing());
    const int visible = std::max(1, viewport()->height() / rowHeight);
    const qsizetype top = std::max<qsizetype>(0, lineCount() - visible);
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<qsizetype>(top, INT_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    viewport()->update();
}

QString LargeValueView::lineText(qsizetype line) const
{
    if (line < 0 || line >= lineCount())
        return {};
    if (m_hex) {
        const qsizetype from = line * kHexBytes;
        const qsizetype count = std::min<qsizetype>(kHexBytes, m_bytes.size() - from);
        QString hex = QStringLiteral("%1 ").arg(from, 8, 16, QLatin1Char('0')).toUpper();
        QString chars;
        for (qsizetype i = 0; i < kHexBytes; ++i) {
            if (i == kHexBytes / 2)
                hex += u' ';
            if (i < count) {
                const auto b = static_cast<unsigned char>(m_bytes[from + i]);
                hex += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
                chars += b >= 0x20 && b < 0x7f ? QChar(b) : QChar(u'.');
            } else {
                hex += QStringLiteral("   ");
            }
        }
        return hex + QStringLiteral("  ") + chars;
    }
    const auto it = std::upper_bound(m_firstRow.begin(), m_firstRow.end() - 1, line);
    const auto index = static_cast<std::size_t>(it - m_firstRow.begin() - 1);
    const qsizetype start = m_lineStarts[index];
    qsizetype end = index + 1 < m_lineStarts.size() ? m_lineStarts[index + 1] - 1 : m_text.size();
    if (end > start && m_text[end - 1] == u'\r')
        --end;
    const qsizetype from = start + (line - m_firstRow[index]) * m_wrapColumns;
    if (from >= end)
        return {};
    return printable(QStringView(m_text).mid(from, std::min<qsizetype>(m_wrapColumns, end - from)));
}

void LargeValueView::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    p.setPen(palette().color(QPalette::Text));
    const QFontMetrics fm = fontMetrics();
    const int rowHeight = std::max(1, fm.lineSpacing());
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype rows = viewport()->height() / rowHeight + 1;
    for (qsizetype r = 0; r < rows && first + r < lineCount(); ++r)
        p.drawText(kMargin, static_cast<int>(r) * rowHeight + fm.ascent(), lineText(first + r));
}

void LargeValueView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

} // namespace norvane::widgets
