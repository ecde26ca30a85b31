#pragma once

#include "persist/FieldType.h"

#include <QByteArrayView>
#include <QColor>
#include <QDate>
#include <QFont>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

/// What the export writers see of a grid and its dataset: a small read-only interface that the
/// data grid adapter implements in the widgets layer, and test fakes implement in tests.
namespace norvane::exporter {

using FieldType = norvane::FieldType;

/// Horizontal alignment of a column's cells or titles.
enum class Alignment : std::uint8_t
{
    Left,
    Right,
    Center
};

/// A date and time as the server holds it, without a time zone: the day and the milliseconds
/// since its midnight.
struct DayTime
{
    QDate date;
    std::int64_t msecs = 0;
};

/// One field of the dataset, which is one grid column when visible.
struct ExportColumn
{
    QString fieldName;
    QString title; ///< the field's display label; "~" separates title lines
    FieldType dataType = FieldType::ftString;
    int size = 0;         ///< declared size (characters for strings)
    int displayWidth = 0; ///< width in characters
    Alignment alignment = Alignment::Left;
    bool visible = true;
    int pixelWidth = 64; ///< the column's current on-screen width
};

/// Fonts, colours and screen resolution of the grid.
struct GridAppearance
{
    QFont titleFont;
    QColor titleFontColor{Qt::black};
    QFont font;
    QColor fontColor{Qt::black};
    QColor titleColor{0xF0, 0xF0, 0xF0}; ///< title background ("button face")
    QColor color{Qt::white};             ///< cell background ("window")
    QColor alternatingRowColor;          ///< invalid when unset
    Alignment titleAlignment = Alignment::Left;
    int titleLines = 1;
    bool rightToLeft = false;
    int dpi = 96; ///< the screen's dots per inch

    /// Colours from a widget palette: Base is the window colour, Text the window text (used for
    /// both fonts), Button the title background.
    static GridAppearance fromPalette(const QPalette& palette, const QFont& titleFont,
                                      const QFont& font, int dpi);
};

/// The grid and its dataset, read by one export run. The run moves the cursor from the first
/// record to past the last; cell accessors refer to the current record.
class ExportSource
{
public:
    virtual ~ExportSource() = default;

    /// False when the grid is not bound to an open dataset: the run then writes nothing.
    virtual bool isActive() const = 0;

    /// Every field of the dataset in field order; invisible ones are not grid columns.
    virtual int fieldCount() const = 0;
    virtual ExportColumn column(int field) const = 0;
    virtual GridAppearance appearance() const = 0;

    /// Called once before the run touches the cursor and once after it, also when the run
    /// failed: the adapter suspends control notifications and remembers the current record
    /// and screen row, then puts them back. endExport must not throw.
    virtual void beginExport() {}
    virtual void endExport() noexcept {}

    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    /// The number of records when known without fetching them all.
    virtual std::optional<std::int64_t> recordCount() const { return std::nullopt; }

    virtual bool isNull(int field) const = 0;
    /// The field's text as every format writes it: the grid's display text (locale formats,
    /// "True"/"False", text objects whole), except binary values, which read as "0x" and hex.
    virtual QString displayText(int field) const = 0;
    /// The same text as UTF-8, one call a cell: sources lend the bytes of their row cache where
    /// they are the text (no decoding and encoding again) and write the others into `scratch`,
    /// which the caller reuses from cell to cell. Empty for NULL. Valid until the cursor moves
    /// or scratch changes. The default encodes displayText.
    virtual QByteArrayView cellUtf8(int field, QByteArray& scratch) const;
    virtual double asFloat(int field) const = 0;
    virtual bool asBoolean(int field) const = 0;
    virtual QDate asDate(int field) const = 0;
    /// Time of day, or a duration for the server's TIME type: may be negative or beyond 24 h.
    virtual std::int64_t asTimeMsecs(int field) const = 0;
    /// Date and time without a time zone; an invalid date for zero dates and days no calendar
    /// has.
    virtual DayTime asDayTime(int field) const = 0;
};

/// Callbacks of one run. Either may be empty.
struct ExportHooks
{
    /// After each record: records written so far and the total when the source knows it.
    std::function<void(std::int64_t written, std::optional<std::int64_t> total)> progress;
    /// After each record, to let the window system process pending events.
    std::function<void()> keepResponsive;
};

/// A `keepResponsive` that runs `pump` after the first record and then at most every
/// `intervalMs` milliseconds: a pass over the event queue costs more than writing a row. The
/// time is read from the coarse clock, which costs no more than a memory read per record.
std::function<void()> pumpEvery(qint64 intervalMs, std::function<void()> pump);

} // namespace norvane::exporter
