// HTML page holding one table styled after the grid: title row, caption row, one row per record.
#include "export/ExportRun.h"

#include <cmath>

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

QString trimmedRight(const QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1).unicode() <= u' ')
        --n;
    return text.left(n);
}

class HtmlWriter final : public FormatWriter
{
public:
    void header(ExportRun& run, QByteArray& out) override
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

        m_rowStart = QStringLiteral("<TR VALIGN=\"TOP\" ") +
                     styleAttribute(look.font, look.fontColor, look.dpi) + QStringLiteral(">\r\n");
        // Width factor twips / (sum / dpi * 1440), kept as one fraction so that whole results
        // stay whole instead of landing just below and being cut one pixel short.
        m_scaleNum = 1.0;
        m_scaleDen = 1.0;
        if (run.options.OutputWidthinTwips() != 0 && run.pixelWidthSum > 0) {
            m_scaleNum = static_cast<double>(run.options.OutputWidthinTwips()) * look.dpi;
            m_scaleDen = static_cast<double>(run.pixelWidthSum) * 1440.0;
        }
    }

    void row(ExportRun& run, QByteArray& out) override
    {
        const GridAppearance& look = run.look;
        QColor background = look.color;
        if (run.has(TzkExportSaveOption::esoShowAlternating) && run.recordNo % 2 == 0)
            background = look.alternatingRowColor;
        // An unset alternating colour never equals the grid colour, so it is written (FFFFFF).
        const bool marked = !background.isValid() || background != look.color;
        const QString backgroundAttribute =
            marked ? QStringLiteral(" BGCOLOR=#") + colourText(background) : QString();

        QString r = m_rowStart;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            const QString trimmed = trimmedRight(run.cellText(c));
            QString value;
            if (trimmed.isEmpty()) {
                value = QStringLiteral("&nbsp;");
            } else {
                value = escaped(trimmed);
                value.replace(QStringLiteral("\r\n"), QStringLiteral("<BR>"));
            }
            const auto width =
                static_cast<long long>(std::trunc(c.column.pixelWidth * m_scaleNum / m_scaleDen));
            r += QStringLiteral("<TD NOWRAP ALIGN=\"") + alignWord(c.column.alignment) + u'"' +
                 backgroundAttribute + QStringLiteral(" WIDTH=\"") + QString::number(width) +
                 QStringLiteral("\" SCOPE=\"row\">") + styledText(value, look.font) +
                 QStringLiteral("</TD>\r\n");
        }
        r += QStringLiteral("</TR>\r\n");
        out += r.toUtf8();
    }

    void finish(ExportRun&, QByteArray& out) override
    {
        out += "</TBODY>\r\n</BODY>\r\n</TABLE>\r\n</HTML>\r\n";
    }

private:
    QString m_rowStart;
    double m_scaleNum = 1.0;
    double m_scaleDen = 1.0;
};

} // namespace

std::unique_ptr<FormatWriter> makeHtmlWriter()
{
    return std::make_unique<HtmlWriter>();
}

} // namespace norvane::exporter
