// Delimited text: one line per record, values separated by the options' delimiter.
#include "export/ExportRun.h"

#include <QStringEncoder>

namespace norvane::exporter {
namespace {

class DelimitedWriter final : public FormatWriter
{
public:
    void header(ExportRun& run, QByteArray& out) override
    {
        if (!run.has(TzkExportSaveOption::esoShowHeader))
            return;
        QString line;
        for (int i = 0; i <= run.lastColumn(); ++i) {
            const RunColumn& c = run.columns[static_cast<size_t>(i)];
            if (!c.included)
                continue;
            QString title = c.column.title;
            title.replace(u'~', u' ');
            appendValue(run, line, title, i);
        }
        endLine(line, out);
    }

    void row(ExportRun& run, QByteArray& out) override
    {
        // One line buffer for the whole run: its capacity is kept from row to row.
        m_line.resize(0);
        for (int i = 0; i <= run.lastColumn(); ++i) {
            const RunColumn& c = run.columns[static_cast<size_t>(i)];
            if (c.included)
                appendValue(run, m_line, run.cellText(c), i);
        }
        endLine(m_line, out);
    }

    void finish(ExportRun&, QByteArray&) override {}

private:
    // A double quote inside a quoted value is doubled, so standard CSV readers get the value
    // back unchanged, line breaks and delimiters included.
    static void appendValue(const ExportRun& run, QString& line, const QString& value, int col)
    {
        if (run.has(TzkExportSaveOption::esoDblQuoteFields) && !value.isEmpty()) {
            line += u'"';
            if (value.contains(u'"')) {
                QString doubled = value;
                line += doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            } else {
                line += value;
            }
            line += u'"';
        } else {
            line += run.options.QuoteValue(value);
        }
        if (col != run.lastColumn())
            line += run.options.Delimiter();
    }

    // Encodes the line straight onto the end of out, with no intermediate byte array.
    static void endLine(QString& line, QByteArray& out)
    {
        line += QStringLiteral("\r\n");
        QStringEncoder encoder(QStringEncoder::Utf8);
        const qsizetype start = out.size();
        out.resize(start + encoder.requiredSpace(line.size()));
        char* end = encoder.appendToBuffer(out.data() + start, line);
        out.truncate(end - out.constData());
    }

    QString m_line;
};

} // namespace

std::unique_ptr<FormatWriter> makeDelimitedWriter()
{
    return std::make_unique<DelimitedWriter>();
}

} // namespace norvane::exporter
