// SYLK spreadsheet: built in memory, because the bounds record near the top carries the row
// count, and written in one piece at the end.
#include "export/ExportRun.h"

#include <QStringList>

#include <vector>

namespace norvane::exporter {
namespace {

const QString kGeneral = QStringLiteral("General");
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
    void header(ExportRun& run, QByteArray&) override
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
    }

    void row(ExportRun& run, QByteArray&) override
    {
        const QByteArray& f = m_rowFont;
        std::int64_t y = run.recordNo;
        if (run.has(TzkExportSaveOption::esoShowHeader))
            y += run.look.titleLines;
        const QByteArray yText = QByteArray::number(y);
        QByteArray& b = chunk();
        int x = 0;
        for (const RunColumn& c : run.columns) {
            if (!c.included)
                continue;
            ++x;
            b += "F;";
            if (hasPicture(c.column.dataType)) {
                b += 'P';
                b += QByteArray::number(c.pictureIndex);
                b += ';';
            }
            b += "SLTRBM";
            b += f;
            b += ";FG0";
            b += alignLetter(c.column.alignment).toLatin1();
            b += ";Y";
            b += yText;
            b += ";X";
            b += QByteArray::number(x);
            b += "\r\nC;K";
            b += value(run, c).toUtf8();
            b += "\r\n";
        }
    }

    void finish(ExportRun& run, QByteArray& out) override
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
        run.write(m_head + fonts + bounds);
        for (const QByteArray& piece : m_body)
            run.write(piece);
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

    QByteArray& chunk()
    {
        constexpr qsizetype kChunk = qsizetype{1} << 20;
        if (m_body.empty() || m_body.back().size() >= kChunk) {
            m_body.emplace_back();
            m_body.back().reserve(kChunk + 4096);
        }
        return m_body.back();
    }

    static QString emptyValue() { return QStringLiteral("\"\""); }

    static QString value(const ExportRun& run, const RunColumn& c)
    {
        ExportSource& src = run.source;
        const int field = c.field;
        if (src.isNull(field))
            return emptyValue();
        switch (c.column.dataType) {
        case FieldType::ftSmallint:
        case FieldType::ftInteger:
        case FieldType::ftWord:
        case FieldType::ftLargeint: {
            const QString cell = run.cellText(c);
            return holdsExactly(cell) ? cell : text(run, cell);
        }
        case FieldType::ftBoolean:
            return run.options.QuoteValue(src.asBoolean(field) ? QStringLiteral("TRUE")
                                                               : QStringLiteral("FALSE"));
        case FieldType::ftFloat:
        case FieldType::ftCurrency:
            return number(src.asFloat(field));
        case FieldType::ftDate: {
            const QDate d = src.asDate(field);
            // A date the server holds but no calendar has (2024-02-00) stays readable as text.
            return d.isValid() ? QString::number(daySerial(d)) : text(run, run.cellText(c));
        }
        case FieldType::ftTime:
            return number(static_cast<double>(src.asTimeMsecs(field)) / kMsecsPerDay);
        case FieldType::ftDateTime:
        case FieldType::ftTimeStamp: {
            const QDateTime dt = src.asDateTime(field);
            if (!dt.date().isValid())
                return text(run, run.cellText(c));
            const double fraction =
                dt.time().isValid() ? dt.time().msecsSinceStartOfDay() / kMsecsPerDay : 0.0;
            return number(static_cast<double>(daySerial(dt.date())) + fraction);
        }
        default:
            return text(run, run.cellText(c));
        }
    }

    /// Whether an integer's text reads into a double unchanged: spreadsheets keep numbers as
    /// doubles, so a 64-bit integer beyond 2^53 would be rounded and is written as text.
    static bool holdsExactly(const QString& cell)
    {
        constexpr qint64 kExact = qint64{1} << 53;
        const qsizetype start = cell.startsWith(u'-') ? 1 : 0;
        if (cell.size() == start || cell.size() - start > 16)
            return false;
        for (qsizetype i = start; i < cell.size(); ++i)
            if (cell[i] < u'0' || cell[i] > u'9')
                return false;
        const qint64 v = cell.toLongLong();
        return v >= -kExact && v <= kExact;
    }

    /// A value a spreadsheet cannot hold as a number (not finite) becomes an empty cell.
    static QString number(double v)
    {
        const QString s = generalNumber(v);
        return s.isEmpty() ? emptyValue() : s;
    }

    static QString text(const ExportRun& run, const QString& cell)
    {
        QString s = joinedLines(doubleSemicolons(cell));
        if (s.size() > kMaxText) {
            qsizetype keep = kMaxText;
            // Never leave half of a surrogate pair: it would turn into a replacement character.
            if (s.at(keep - 1).isHighSurrogate())
                --keep;
            s.truncate(keep);
        }
        if (s.isEmpty())
            return emptyValue();
        return run.options.QuoteValue(s);
    }

    QByteArray m_head;
    QByteArray m_rowFont;
    /// The records after the bounds record, in pieces: one contiguous text of hundreds of
    /// megabytes would be copied whole each time it outgrows its block.
    std::vector<QByteArray> m_body;
    QStringList m_fonts;
    int m_gridColumns = 0;
};

} // namespace

std::unique_ptr<FormatWriter> makeSylkWriter()
{
    return std::make_unique<SylkWriter>();
}

} // namespace norvane::exporter
