#pragma once

#include "export/OutBuffer.h"
#include "export/zkexport.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <vector>

/// The state shared by one export run and its format writer; internal to the export layer.
namespace norvane::exporter {

/// One grid column (a visible field) as the run sees it.
struct RunColumn
{
    int field = 0; ///< index into the source's fields
    ExportColumn column;
    bool included = true; ///< every grid column is exported
    int pictureIndex = 0; ///< position of its number format in the SYLK picture list
};

/// Everything one run knows besides the file.
struct ExportRun
{
    ExportRun(const TzkExportOptions& options, ExportSource& source);

    const TzkExportOptions& options;
    ExportSource& source;
    GridAppearance look;
    std::vector<RunColumn> columns; ///< the grid's columns in order, included or not
    int pixelWidthSum = 0;          ///< sum of (pixel width + 5) over the included columns
    std::int64_t recordNo = 0;      ///< 1 for the first record
    /// Writes straight to the file, for text that would cost too much to copy into the buffer.
    std::function<void(QByteArrayView)> write;

    bool has(TzkExportSaveOption o) const { return options.Options().contains(o); }
    int lastColumn() const { return static_cast<int>(columns.size()) - 1; }
    /// The text every format writes for a column of the current record; empty for NULL.
    QString cellText(const RunColumn& c) const;
    /// The same text as UTF-8 (see ExportSource::cellUtf8). Empty for NULL.
    QByteArrayView cellUtf8(const RunColumn& c, QByteArray& scratch) const;
};

/// Builds a format's text. header and row append to out; the run writes out to the file as it
/// grows. finish appends the closing text.
class FormatWriter
{
public:
    virtual ~FormatWriter() = default;
    virtual void header(ExportRun& run, OutBuffer& out) = 0;
    virtual void row(ExportRun& run, OutBuffer& out) = 0;
    virtual void finish(ExportRun& run, OutBuffer& out) = 0;
};

std::unique_ptr<FormatWriter> makeDelimitedWriter();
std::unique_ptr<FormatWriter> makeSylkWriter();
std::unique_ptr<FormatWriter> makeHtmlWriter();

} // namespace norvane::exporter
