#pragma once
// An in-memory grid for the export writers: columns, rows of typed cells, fixed appearance.

#include "export/zkexport.h"

#include <stdexcept>
#include <vector>

namespace norvane::exporter::test {

/// One cell: its display text and, for typed columns, its value.
struct FakeCell
{
    bool null = false;
    QString text;
    double number = 0.0;
    bool boolean = false;
    QDate date;
    std::int64_t msecs = 0;
    QDateTime dateTime;

    static FakeCell nul() { return FakeCell{true, {}, 0.0, false, {}, 0, {}}; }
    static FakeCell str(const QString& s) { return FakeCell{false, s, 0.0, false, {}, 0, {}}; }
};

class FakeGrid : public ExportSource
{
public:
    std::vector<ExportColumn> columns;
    std::vector<std::vector<FakeCell>> rows;
    GridAppearance look = standardLook();
    bool active = true;
    int failAtRow = -1; ///< moving onto this row throws, like a failed fetch
    int begins = 0;
    int ends = 0;

    /// Courier New of 11 pixels, window FFFFFF, window text 000000, button face F0F0F0, 96 dpi.
    static GridAppearance standardLook()
    {
        GridAppearance g;
        QFont f(QStringLiteral("Courier New"));
        f.setPixelSize(11);
        g.titleFont = f;
        g.font = f;
        g.titleFontColor = QColor(0, 0, 0);
        g.fontColor = QColor(0, 0, 0);
        g.titleColor = QColor(0xF0, 0xF0, 0xF0);
        g.color = QColor(0xFF, 0xFF, 0xFF);
        g.alternatingRowColor = QColor();
        g.dpi = 96;
        return g;
    }

    static ExportColumn col(const QString& name, FieldType type, int displayWidth, Alignment align,
                            int pixels = 64)
    {
        ExportColumn c;
        c.fieldName = name;
        c.title = name;
        c.dataType = type;
        c.size = displayWidth;
        c.displayWidth = displayWidth;
        c.alignment = align;
        c.pixelWidth = pixels;
        return c;
    }

    /// The id/note dataset: (1, "a,b"), (2, say "hi"), (3, null).
    static FakeGrid idNote()
    {
        FakeGrid g;
        g.columns = {col(QStringLiteral("id"), FieldType::ftInteger, 10, Alignment::Right, 64),
                     col(QStringLiteral("note"), FieldType::ftString, 20, Alignment::Left, 144)};
        g.rows = {{FakeCell::str(QStringLiteral("1")), FakeCell::str(QStringLiteral("a,b"))},
                  {FakeCell::str(QStringLiteral("2")), FakeCell::str(QStringLiteral("say \"hi\""))},
                  {FakeCell::str(QStringLiteral("3")), FakeCell::nul()}};
        return g;
    }

    bool isActive() const override { return active; }
    int fieldCount() const override { return static_cast<int>(columns.size()); }
    ExportColumn column(int field) const override { return columns.at(static_cast<size_t>(field)); }
    GridAppearance appearance() const override { return look; }
    void beginExport() override { ++begins; }
    void endExport() noexcept override { ++ends; }

    void first() override { moveTo(0); }
    void next() override { moveTo(m_pos + 1); }
    bool eof() const override { return m_pos >= static_cast<int>(rows.size()); }
    std::optional<std::int64_t> recordCount() const override
    {
        return static_cast<std::int64_t>(rows.size());
    }

    bool isNull(int field) const override { return cell(field).null; }
    QString displayText(int field) const override { return cell(field).text; }
    double asFloat(int field) const override { return cell(field).number; }
    bool asBoolean(int field) const override { return cell(field).boolean; }
    QDate asDate(int field) const override { return cell(field).date; }
    std::int64_t asTimeMsecs(int field) const override { return cell(field).msecs; }
    DayTime asDayTime(int field) const override
    {
        const QDateTime& dt = cell(field).dateTime;
        return {dt.date(), dt.time().isValid() ? dt.time().msecsSinceStartOfDay() : 0};
    }

    int position() const { return m_pos; }

private:
    void moveTo(int pos)
    {
        if (pos == failAtRow)
            throw std::runtime_error("Lost connection to server during query");
        m_pos = pos;
    }
    const FakeCell& cell(int field) const
    {
        return rows.at(static_cast<size_t>(m_pos)).at(static_cast<size_t>(field));
    }

    int m_pos = 0;
};

} // namespace norvane::exporter::test
