// HTML page holding one table styled after the grid: title row, caption row, one row per record.
#include "export/ExportRun.h"

#include <cmath>
#include <vector>

namespace norvane::exporter {
namespace {

/// Red, green, blue as upper-case hex; an unset colour reads FFFFFF.
QString colourText(const QColor& c)
{
    if (!c.isValid())
        return QStringLiteral("FFFFFF");
    return QStringLiteral("%1%2%3")
        .arg(c.red(), 2, 16, QLatin1Char('0'))
        .arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString alignWord(Alignment a)
{
    switch (a) {
    case Alignment::Right:
        return QStringLiteral("right");
    case Alignment::Center:
        return QStringLiteral("center");
    case Alignment::Left:
        break;
    }
    return QStringLiteral("left");
}

QString styleAttribute(const QFont& font, const QColor& colour, int dpi)
{
    return QStringLiteral("STYLE=\"font-family: ") + font.family() +
           QStringLiteral(";font-size: ") + QString::number(exportPointSize(font, dpi)) +
           QStringLiteral(" pt;color:#") + colourText(colour) + QStringLiteral(";\"");
}

QString styledText(QString text, const QFont& font)
{
    if (font.italic())
        text = QStringLiteral("<I>") + text + QStringLiteral("</I>");
    if (font.bold())
        text = QStringLiteral("<B>") + text + QStringLiteral("</B>");
    if (font.underline())
        text = QStringLiteral("<U>") + text + QStringLiteral("</U>");
    if (font.strikeOut())
        text = QStringLiteral("<STRIKE>") + text + QStringLiteral("</STRIKE>");
    return text;
}

/// Data and titles must not become markup: "&", "<" and ">" are written as entities.
QString escaped(const QString& text)
{
    if (!text.contains(u'&') && !text.contains(u'<') && !text.contains(u'>'))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (QChar ch : text) {
        if (ch == u'&')
            out += QStringLiteral("&amp;");
        else if (ch == u'<')
            out += QStringLiteral("&lt;");
        else if (ch == u'>')
            out += QStringLiteral("&gt;");
        else
            out += ch;
    }
    return out;
}

class HtmlWriter final : public FormatWriter
{
public:
    void header(ExportRun& run, OutBuffer& out) override
    {
        const GridAppearance& look = run.look;
        // The page is UTF-8; without the declaration a browser guesses a legacy code page.
        QString h = QStringLiteral("<HTML>\r\n<HEAD>\r\n<META http-equiv=\"Content-Type\" "
                                   "content=\"text/html; charset=utf-8\">\r\n<TITLE>") +
                    escaped(run.options.FileName()) +
                    QStringLiteral("</TITLE>\r\n</HEAD>\r\n<BODY>\r\n");
        h += QStringLiteral("<TABLE ALIGN=Center BORDER=\"%1\" CELLPADDING=\"1\" CELLSPACING=\"0\"")
                 .arg(run.options.HTMLBorderWidth());
        h += look.rightToLeft ? QStringLiteral(" dir=\"RTL\"") : QStringLiteral(" dir=\"LTR\"");
        if (!run.has(TzkExportSaveOption::esoTransparentGrid))
            h += QStringLiteral(" BGCOLOR=#") + colourText(look.color);
        h += QStringLiteral(">\r\n<THEAD>\r\n");

        const QString titleStyle = styleAttribute(look.titleFont, look.titleFontColor, look.dpi);
        if (run.has(TzkExportSaveOption::esoShowHeader) &&
            run.has(TzkExportSaveOption::esoShowTitle)) {
            h += QStringLiteral("<TR ") + titleStyle + QStringLiteral(" BGCOLOR=#") +
                 colourText(look.titleColor) + QStringLiteral(">\r\n");
            h += QStringLiteral("<TH colspan=\"%1\" scope=\"colgroup\">").arg(run.columns.size()) +
                 escaped(run.options.TitleName()) + QStringLiteral("</TH>\r\n</TR>\r\n");
        }
        if (run.has(TzkExportSaveOption::esoShowHeader)) {
            const QString align = alignWord(look.titleAlignment);
            h += QStringLiteral("<TR ") + titleStyle + QStringLiteral(" ALIGN=") + align +
                 QStringLiteral(">\r\n");
            for (const RunColumn& c : run.columns) {
                if (!c.included)
                    continue;
                QString title = escaped(c.column.title);
                title.replace(QStringLiteral("~"), QStringLiteral("<BR>"));
                h += QStringLiteral("<TD ALIGN=\"") + align +
                     QStringLiteral("\" SCOPE=\"col\" bgcolor=#") + colourText(look.titleColor) +
                     QStringLiteral(" RowSpan=\"2\">") + styledText(title, look.titleFont) +
                     QStringLiteral("</TD>\r\n");
            }
            h += QStringLiteral("</TR>\r\n<TR></TR>\r\n");
        }
        h += QStringLiteral("</THEAD>\r\n<TBODY>\r\n");
        out += h.toUtf8();

        m_rowStart = (QStringLiteral("<TR VALIGN=\"TOP\" ") +
                      styleAttribute(look.font, look.fontColor, look.dpi) + QStringLiteral(">\r\n"))
                         .toUtf8();
        m_cellOpen[0].clear();
        m_cellOpen[1].clear();
        // Width factor twips / (sum / dpi * 1440), kept as one fraction so that whole results
        // stay whole instead of landing just below and being cut one pixel short.
        m_scaleNum = 1.0;
        m_scaleDen = 1.0;
        if (run.options.OutputWidthinTwips() != 0 && run.pixelWidthSum > 0) {
            m_scaleNum = static_cast<double>(run.options.OutputWidthinTwips()) * look.dpi;
            m_scaleDen = static_cast<double>(run.pixelWidthSum) * 1440.0;
        }
    }

    void row(ExportRun& run, OutBuffer& out) override
    {
        if (m_cellOpen[0].empty())
            prepareCells(run);
        // An unset alternating colour never equals the grid colour, so it is written (FFFFFF).
        const bool alternate =
            run.has(TzkExportSaveOption::esoShowAlternating) && run.recordNo % 2 == 0;
        const std::vector<QByteArray>& opens = m_cellOpen[alternate ? 1 : 0];
        out += m_rowStart;
        size_t k = 0;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            out += opens[k++];
            out += m_fontOpen;
            appendValue(out, run.cellUtf8(c, m_scratch));
            out += m_fontClose;
            out += "</TD>\r\n";
        }
        out += "</TR>\r\n";
    }

    void finish(ExportRun&, OutBuffer& out) override
    {
        out += "</TBODY>\r\n</BODY>\r\n</TABLE>\r\n</HTML>\r\n";
    }

private:
    /// Everything of a cell but its value depends only on the column and the row's parity:
    /// built once per run.
    void prepareCells(const ExportRun& run)
    {
        const GridAppearance& look = run.look;
        const QColor backgrounds[2] = {look.color, look.alternatingRowColor};
        for (int parity = 0; parity < 2; ++parity) {
            const QColor& background = backgrounds[parity];
            const bool marked = !background.isValid() || background != look.color;
            const QString backgroundAttribute =
                marked ? QStringLiteral(" BGCOLOR=#") + colourText(background) : QString();
            m_cellOpen[parity].clear();
            for (const RunColumn& c : run.columns) {
                if (!c.included)
                    continue;
                const auto width = static_cast<long long>(
                    std::trunc(c.column.pixelWidth * m_scaleNum / m_scaleDen));
                m_cellOpen[parity].push_back(
                    (QStringLiteral("<TD NOWRAP ALIGN=\"") + alignWord(c.column.alignment) + u'"' +
                     backgroundAttribute + QStringLiteral(" WIDTH=\"") + QString::number(width) +
                     QStringLiteral("\" SCOPE=\"row\">"))
                        .toUtf8());
            }
        }
        const QString styled = styledText(QStringLiteral("\x01"), look.font);
        const qsizetype mark = styled.indexOf(u'\x01');
        m_fontOpen = styled.left(mark).toUtf8();
        m_fontClose = styled.mid(mark + 1).toUtf8();
    }

    /// The value without trailing blanks and control characters; "&", "<" and ">" as entities,
    /// CR LF as a line break; an empty value as a non-breaking space. Every character at or below
    /// a space is one byte in UTF-8, so the bytes are trimmed directly.
    static void appendValue(OutBuffer& out, QByteArrayView value)
    {
        qsizetype n = value.size();
        while (n > 0 && static_cast<unsigned char>(value[n - 1]) <= ' ')
            --n;
        if (n == 0) {
            out += "&nbsp;";
            return;
        }
        const char* p = value.data();
        const char* end = p + n;
        const char* plain = p;
        for (; p < end; ++p) {
            const char ch = *p;
            const char* replacement = nullptr;
            if (ch == '&')
                replacement = "&amp;";
            else if (ch == '<')
                replacement = "&lt;";
            else if (ch == '>')
                replacement = "&gt;";
            else if (ch == '\r' && p + 1 < end && p[1] == '\n')
                replacement = "<BR>";
            if (!replacement)
                continue;
            out.append(plain, p - plain);
            out += replacement;
            if (ch == '\r')
                ++p;
            plain = p + 1;
        }
        out.append(plain, end - plain);
    }

    QByteArray m_rowStart;
    std::vector<QByteArray> m_cellOpen[2]; ///< per included column, for odd and even rows
    QByteArray m_fontOpen;
    QByteArray m_fontClose;
    QByteArray m_scratch;
    double m_scaleNum = 1.0;
    double m_scaleDen = 1.0;
};

} // namespace

std::unique_ptr<FormatWriter> makeHtmlWriter()
{
    return std::make_unique<HtmlWriter>();
}

} // namespace norvane::exporter
