#pragma once
/// The export run's read-only view of a data grid and the dataset behind it.

#include "dbaccess/ClientDataSet.h"
#include "export/ExportSource.h"
#include "persist/ReentryGuard.h"

#include <QPointer>

#include <optional>
#include <vector>

namespace norvane::widgets {

class DBGrid;

/// Walks every record of the grid's dataset for an export run: all packets are fetched as the
/// cursor advances; the dataset's control notifications are suspended during the run, and the
/// current record and the screen row it is shown on are put back afterwards, also after an
/// error. Columns, widths, fonts and colours come from the grid.
class GridExportSource : public exporter::ExportSource
{
public:
    explicit GridExportSource(DBGrid& grid) : m_grid(grid) {}

    bool isActive() const override;
    int fieldCount() const override;
    exporter::ExportColumn column(int field) const override;
    exporter::GridAppearance appearance() const override;

    void beginExport() override;
    void endExport() noexcept override;

    void first() override;
    void next() override;
    bool eof() const override;
    std::optional<std::int64_t> recordCount() const override;

    bool isNull(int field) const override;
    QString displayText(int field) const override;
    QByteArrayView cellUtf8(int field, QByteArray& scratch) const override;
    double asFloat(int field) const override;
    bool asBoolean(int field) const override;
    QDate asDate(int field) const override;
    std::int64_t asTimeMsecs(int field) const override;
    exporter::DayTime asDayTime(int field) const override;

private:
    db::ClientDataSet* dataSet() const;
    db::Field& field(int index) const;
    /// The field's value in the current record, lent by the dataset; nullopt for NULL.
    std::optional<QByteArrayView> view(int index) const;
    /// The current record's values, read once per record during a run.
    const std::vector<std::optional<QByteArrayView>>& currentViews() const;

    DBGrid& m_grid;
    db::Bookmark m_mark;
    int m_screenRow = -1;
    ReentryGuard m_running;
    /// Per field, whether its cells are written as the server's bytes; set when the run begins.
    std::vector<char> m_serverText;
    /// The dataset the run walks (cleared by its deletion).
    QPointer<db::ClientDataSet> m_runData;
    /// The run's cells keep the locale the run began with.
    std::optional<db::LocaleHold> m_locale;
    /// The current record's values during a run, read in one pass at its first cell.
    mutable std::vector<std::optional<QByteArrayView>> m_views;
    mutable bool m_viewsValid = false;
};

} // namespace norvane::widgets
