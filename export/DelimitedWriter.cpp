// Delimited text: one line per record, values separated by the options' delimiter.
#include "export/ExportRun.h"

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
        QString line;
        for (int i = 0; i <= run.lastColumn(); ++i) {
            const RunColumn& c = run.columns[static_cast<size_t>(i)];
            if (c.included)
                appendValue(run, line, run.cellText(c), i);
        }
        endLine(line, out);
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

    static void endLine(QString& line, QByteArray& out)
    {
        line += QStringLiteral("\r\n");
        out += line.toUtf8();
    }
};

} // namespace

std::unique_ptr<FormatWriter> makeDelimitedWriter()
{
    return std::make_unique<DelimitedWriter>();
}

} // namespace norvane::exporter
