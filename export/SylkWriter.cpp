// SYLK spreadsheet: built in memory, because the bounds record near the top carries the row
// count, and written in one piece at the end.
#include "export/ExportRun.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace norvane::exporter {
namespace {

const QString kGeneral = QStringLiteral("General");
constexpr char kEmpty[] = "\"\"";
constexpr qsizetype kMaxText = 255;
constexpr double kMsecsPerDay = 86400000.0;

QString alignLetter(Alignment a)
{
    switch (a) {
    case Alignment::Right:
        return QStringLiteral("R");
    case Alignment::Center:
        return QStringLiteral("C");
    case Alignment::Left:
        break;
    }
    return QStringLiteral("L");
}

/// The number format of a column. The ";;" in the money format is an escaped ";".
QString numberFormat(FieldType t)
{
    switch (t) {
    case FieldType::ftCurrency:
        return QStringLiteral(R"("$"#,##0.00_);;[Red]\("$"#,##0.00\))");
    case FieldType::ftDate:
        return QStringLiteral("m/d/yyyy");
    case FieldType::ftTime:
        return QStringLiteral(R"(h:mm\ AM/PM)");
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
        return QStringLiteral(R"(m/d/yyyy\ h:mm\ AM/PM)");
    default:
        return kGeneral;
    }
}

bool hasPicture(FieldType t)
{
    switch (t) {
    case FieldType::ftFloat:
    case FieldType::ftCurrency:
    case FieldType::ftDate:
    case FieldType::ftTime:
    case FieldType::ftDateTime:
    case FieldType::ftTimeStamp:
        return true;
    default:
        return false;
    }
}

QString doubleSemicolons(QString text)
{
    if (text.contains(u';'))
        text.replace(QStringLiteral(";"), QStringLiteral(";;"));
    return text;
}

/// A record ends at a line break, and a line reading "E" ends the file: every CR, LF and CR LF
/// inside a value or title becomes one space.
QString joinedLines(QString text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

class SylkWriter final : public FormatWriter
{
public:
    void header(ExportRun& run, OutBuffer&) override
    {
        const GridAppearance& look = run.look;
        registerFont(look.titleFont, look.dpi);
        // The grid's font stays the same through the run, so its index is looked up once.
        m_rowFont = QByteArray::number(registerFont(look.font, look.dpi));

        QStringList pictures{kGeneral};
        for (RunColumn& c : run.columns) {
            const QString format = numberFormat(c.column.dataType);
            qsizetype index = pictures.indexOf(format);
            if (index < 0) {
                pictures.append(format);
                index = pictures.size() - 1;
            }
            c.pictureIndex = static_cast<int>(index);
        }
        QString head = QStringLiteral("ID;PZRB 3000;N;E\r\n");
        for (const QString& p : pictures)
            head += QStringLiteral("P;P") + p + QStringLiteral("\r\n");
        m_head = head.toUtf8();
        m_gridColumns = static_cast<int>(run.columns.size());

        QString text = QStringLiteral("F;G;M255\r\n");
        int x = 0;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            ++x;
            text += QStringLiteral("F;W%1 %1 %2\r\n").arg(x).arg(c.column.displayWidth);
        }
        if (run.has(TzkExportSaveOption::esoShowHeader))
            appendTitles(run, text);
        text += QStringLiteral("\r\n");
        m_body.clear();
        chunk() += text.toUtf8();
        prepareCells(run);
    }

    void row(ExportRun& run, OutBuffer&) override
    {
        char y[24];
        const auto yEnd = std::to_chars(y, y + sizeof y, run.recordNo + m_yOffset).ptr;
        OutBuffer& b = chunk();
        size_t k = 0;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            const CellFrame& frame = m_frames[k++];
            b += frame.head;
            b.append(y, yEnd - y);
            b += frame.tail;
            appendValue(run, c, b);
            b += "\r\n";
        }
    }

    void finish(ExportRun& run, OutBuffer& out) override
    {
        std::int64_t rows = run.recordNo;
        if (run.has(TzkExportSaveOption::esoShowHeader))
            ++rows;
        QByteArray fonts;
        for (const QString& font : m_fonts)
            fonts += font.toUtf8() + "\r\n";
        const QByteArray bounds =
            "B;Y" + QByteArray::number(rows) + ";X" + QByteArray::number(m_gridColumns) + "\r\n";
        // The body can be most of the memory the run uses: it goes to the file as it is rather
        // than being copied behind its prefix.
        run.write(QByteArray(m_head + fonts + bounds));
        for (const OutBuffer& piece : m_body)
            run.write(piece.view());
        m_body.clear();
        out += 'E';
    }

private:
    /// Adds a font to the font list unless one with the same text is there; its index.
    int registerFont(const QFont& font, int dpi)
    {
        QString text = QStringLiteral("P;F") + font.family() + QStringLiteral(";M") +
                       QString::number(exportPointSize(font, dpi) * 20);
        QString style;
        if (font.bold())
            style += u'B';
        if (font.italic())
            style += u'I';
        if (font.underline())
            style += u'U';
        if (font.strikeOut())
            style += u'S';
        if (!style.isEmpty())
            text += QStringLiteral(";S") + style;
        for (qsizetype i = 0; i < m_fonts.size(); ++i) {
            if (m_fonts[i].compare(text, Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        }
        m_fonts.append(text);
        return static_cast<int>(m_fonts.size() - 1);
    }

    void appendTitles(ExportRun& run, QString& text)
    {
        const int lines = run.look.titleLines;
        const QString align = alignLetter(run.look.titleAlignment);
        for (int t = 1; t <= lines; ++t) {
            int x = 0;
            for (const RunColumn& c : run.columns) {
                if (!c.included)
                    continue;
                ++x;
                const int f = registerFont(run.look.titleFont, run.look.dpi);
                const QStringList pieces =
                    joinedLines(doubleSemicolons(c.column.title)).split(u'~');
                const QString title = t <= pieces.size() ? pieces[t - 1] : QString();
                text += QStringLiteral("F;SLR");
                if (t == 1)
                    text += u'T';
                if (t == lines)
                    text += u'B';
                text += QStringLiteral("M%1;FG0%2;Y%3;X%4\r\n").arg(f).arg(align).arg(t).arg(x);
                if (!title.isEmpty())
                    text += QStringLiteral("C;K\"") + title + QStringLiteral("\"\r\n");
            }
        }
    }

    /// The piece the next records go to. Pieces are blocks of 4 MiB (huge pages where the system
    /// has them: a body of hundreds of megabytes would otherwise cost a page fault per 4 KiB),
    /// with room for the longest row beyond the point where a new piece starts.
    OutBuffer& chunk()
    {
        constexpr qsizetype kBlock = qsizetype{4} << 20;
        constexpr qsizetype kFull = kBlock - (qsizetype{64} << 10);
        if (m_body.empty() || m_body.back().size() >= kFull) {
            m_body.emplace_back();
            m_body.back().reserve(kBlock);
        }
        return m_body.back();
    }

    /// The fixed parts of a value's two records: "F;...;Y" before the row number and
    /// ";X...\r\nC;K" after it.
    struct CellFrame
    {
        QByteArray head;
        QByteArray tail;
    };

    /// Everything of a cell's records but the row number and the value depends only on the
    /// column: built once per run.
    void prepareCells(const ExportRun& run)
    {
        m_yOffset = run.has(TzkExportSaveOption::esoShowHeader) ? run.look.titleLines : 0;
        m_quoted = run.has(TzkExportSaveOption::esoDblQuoteFields);
        m_true = run.options.QuoteValue(QStringLiteral("TRUE")).toUtf8();
        m_false = run.options.QuoteValue(QStringLiteral("FALSE")).toUtf8();
        m_frames.clear();
        int x = 0;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            ++x;
            CellFrame frame;
            frame.head = "F;";
            if (hasPicture(c.column.dataType))
                frame.head += "P" + QByteArray::number(c.pictureIndex) + ";";
            frame.head += "SLTRBM" + m_rowFont + ";FG0";
            frame.head += alignLetter(c.column.alignment).toLatin1() + ";Y";
            frame.tail = ";X" + QByteArray::number(x) + "\r\nC;K";
            m_frames.push_back(frame);
        }
    }

    void appendValue(const ExportRun& run, const RunColumn& c, OutBuffer& b)
    {
        const FieldType type = c.column.dataType;
        if (type == FieldType::ftSmallint || type == FieldType::ftInteger ||
            type == FieldType::ftWord || type == FieldType::ftLargeint) {
            const QByteArrayView cell = run.cellUtf8(c, m_scratch);
            if (holdsExactly(cell))
                b += cell;
            else
                appendText(b, cell);
            return;
        }
        if (!hasNumberForm(type)) {
            appendText(b, run.cellUtf8(c, m_scratch));
            return;
        }
        const ExportSource& src = run.source;
        const int field = c.field;
        if (src.isNull(field)) {
            b += kEmpty;
            return;
        }
        if (type == FieldType::ftBoolean) {
            b += src.asBoolean(field) ? m_true : m_false;
        } else if (type == FieldType::ftFloat || type == FieldType::ftCurrency) {
            appendNumber(b, src.asFloat(field));
        } else if (type == FieldType::ftTime) {
            appendNumber(b, static_cast<double>(src.asTimeMsecs(field)) / kMsecsPerDay);
        } else if (type == FieldType::ftDate) {
            const QDate d = src.asDate(field);
            // A date the server holds but no calendar has (2024-02-00) stays readable as text.
            if (!d.isValid()) {
                appendText(b, run.cellUtf8(c, m_scratch));
                return;
            }
            char digits[24];
            const char* end = std::to_chars(digits, digits + sizeof digits, daySerial(d)).ptr;
            b.append(digits, end - digits);
        } else {
            const DayTime dt = src.asDayTime(field);
            if (!dt.date.isValid()) {
                appendText(b, run.cellUtf8(c, m_scratch));
                return;
            }
            appendNumber(b, static_cast<double>(daySerial(dt.date)) +
                                static_cast<double>(dt.msecs) / kMsecsPerDay);
        }
    }

    /// The types written as numbers or TRUE/FALSE rather than as their text.
    static bool hasNumberForm(FieldType t) { return t == FieldType::ftBoolean || hasPicture(t); }

    /// Whether an integer's text reads into a double unchanged: spreadsheets keep numbers as
    /// doubles, so a 64-bit integer beyond 2^53 would be rounded and is written as text.
    static bool holdsExactly(QByteArrayView cell)
    {
        constexpr qint64 kExact = qint64{1} << 53;
        const qsizetype start = cell.startsWith('-') ? 1 : 0;
        if (cell.size() == start || cell.size() - start > 16)
            return false;
        qint64 v = 0;
        for (qsizetype i = start; i < cell.size(); ++i) {
            if (cell[i] < '0' || cell[i] > '9')
                return false;
            v = v * 10 + (cell[i] - '0');
        }
        return v <= kExact;
    }

    /// A value a spreadsheet cannot hold as a number (not finite) becomes an empty cell.
    static void appendNumber(OutBuffer& b, double v)
    {
        char text[kGeneralNumberSize];
        const qsizetype n = generalNumberChars(v, text);
        if (n == 0)
            b += kEmpty;
        else
            b.append(text, n);
    }

    /// Text as a cell value: every ";" doubled, each line break one space, cut after 255 UTF-16
    /// units without splitting a character, in double quotes when the options say so; "" when
    /// empty. Works on the UTF-8 bytes, where a character beyond U+FFFF counts two units.
    void appendText(OutBuffer& b, QByteArrayView cell) const
    {
        char out[3 * kMaxText];
        char* o = out;
        qsizetype units = 0;
        const char* p = cell.data();
        const char* end = p + cell.size();
        while (p < end && units < kMaxText) {
            const auto lead = static_cast<unsigned char>(*p);
            if (lead == ';') {
                *o++ = ';';
                if (++units < kMaxText) {
                    *o++ = ';';
                    ++units;
                }
                ++p;
                continue;
            }
            if (lead == '\r' || lead == '\n') {
                p += lead == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
                *o++ = ' ';
                ++units;
                continue;
            }
            qsizetype length = 1;
            if ((lead & 0xE0) == 0xC0)
                length = 2;
            else if ((lead & 0xF0) == 0xE0)
                length = 3;
            else if ((lead & 0xF8) == 0xF0)
                length = 4;
            length = std::min(length, static_cast<qsizetype>(end - p));
            const qsizetype width = length == 4 ? 2 : 1;
            if (units + width > kMaxText)
                break;
            std::memcpy(o, p, static_cast<size_t>(length));
            o += length;
            p += length;
            units += width;
        }
        if (o == out) {
            b += kEmpty;
            return;
        }
        if (m_quoted)
            b += '"';
        b.append(out, o - out);
        if (m_quoted)
            b += '"';
    }

    QByteArray m_head;
    QByteArray m_rowFont;
    /// The records after the bounds record, in pieces: one contiguous text of hundreds of
    /// megabytes would be copied whole each time it outgrows its block.
    std::vector<OutBuffer> m_body;
    std::vector<CellFrame> m_frames; ///< per included column
    QByteArray m_true;
    QByteArray m_false;
    QByteArray m_scratch;
    std::int64_t m_yOffset = 0;
    bool m_quoted = false;
    QStringList m_fonts;
    int m_gridColumns = 0;
};

} // namespace

std::unique_ptr<FormatWriter> makeSylkWriter()
{
    return std::make_unique<SylkWriter>();
}

} // namespace norvane::exporter
