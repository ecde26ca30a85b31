// Delimited text: one line per record, values separated by the options' delimiter.
#include "export/ExportRun.h"

#include <cstring>

namespace norvane::exporter {
namespace {

class DelimitedWriter final : public FormatWriter
{
public:
    void header(ExportRun& run, OutBuffer& out) override
    {
        prepare(run);
        if (!run.has(TzkExportSaveOption::esoShowHeader))
            return;
        for (int i = 0; i <= run.lastColumn(); ++i) {
            const RunColumn& c = run.columns[static_cast<size_t>(i)];
            if (!c.included)
                continue;
            QString title = c.column.title;
            title.replace(u'~', u' ');
            appendValue(run, out, title.toUtf8(), i);
        }
        out += "\r\n";
    }

    void row(ExportRun& run, OutBuffer& out) override
    {
        if (!m_prepared)
            prepare(run);
        for (int i = 0; i <= run.lastColumn(); ++i) {
            const RunColumn& c = run.columns[static_cast<size_t>(i)];
            if (c.included)
                appendValue(run, out, run.cellUtf8(c, m_scratch), i);
        }
        out += "\r\n";
    }

    void finish(ExportRun&, OutBuffer&) override {}

private:
    // The run calls header only when the file has a header line.
    void prepare(const ExportRun& run)
    {
        m_delimiter = run.options.Delimiter().toUtf8();
        m_quoted = run.has(TzkExportSaveOption::esoDblQuoteFields);
        m_prepared = true;
    }

    // The cell's UTF-8 bytes go straight onto the end of out. A double quote inside a quoted
    // value is doubled, so standard CSV readers get the value back unchanged, line breaks and
    // delimiters included.
    void appendValue(const ExportRun& run, OutBuffer& out, QByteArrayView value, int col) const
    {
        if (m_quoted && !value.isEmpty()) {
            out += '"';
            const char* p = value.data();
            const char* end = p + value.size();
            while (const void* q = std::memchr(p, '"', static_cast<size_t>(end - p))) {
                const char* quote = static_cast<const char*>(q);
                out.append(p, quote - p + 1);
                out += '"';
                p = quote + 1;
            }
            out.append(p, end - p);
            out += '"';
        } else {
            out += value;
        }
        if (col != run.lastColumn())
            out += m_delimiter;
    }

    QByteArray m_delimiter;
    bool m_quoted = false;
    bool m_prepared = false;
    QByteArray m_scratch; ///< display texts the source does not lend as bytes, reused per cell
};

} // namespace

std::unique_ptr<FormatWriter> makeDelimitedWriter()
{
    return std::make_unique<DelimitedWriter>();
}

} // namespace norvane::exporter
