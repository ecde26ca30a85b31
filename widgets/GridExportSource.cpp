#include "GridExportSource.h"

#include "DBGrid.h"
#include "DataGridModel.h"

#include "dbaccess/DbError.h"
#include "dbaccess/Provider.h"

#include <QHeaderView>

namespace norvane::widgets {

db::ClientDataSet* GridExportSource::dataSet() const
{
    // A run asks for every cell: it keeps the dataset it began with (and notices its end).
    return m_running.active() ? m_runData.data() : m_grid.dataSet();
}

db::Field& GridExportSource::field(int index) const
{
    db::ClientDataSet* ds = dataSet();
    if (!ds)
        throw db::DbError(QStringLiteral("The grid has no dataset"));
    return ds->field(index);
}

bool GridExportSource::isActive() const
{
    const db::ClientDataSet* ds = dataSet();
    return ds && ds->active();
}

int GridExportSource::fieldCount() const
{
    const db::ClientDataSet* ds = dataSet();
    return ds && ds->active() ? ds->fieldCount() : 0;
}

exporter::ExportColumn GridExportSource::column(int index) const
{
    const db::Field& f = field(index);
    exporter::ExportColumn c;
    c.fieldName = f.fieldName();
    c.title = f.displayLabel();
    c.dataType = f.dataType();
    c.size = f.size();
    c.displayWidth = f.displayWidth();
    if (f.alignment() & Qt::AlignRight)
        c.alignment = exporter::Alignment::Right;
    else if (f.alignment() & Qt::AlignHCenter)
        c.alignment = exporter::Alignment::Center;
    else
        c.alignment = exporter::Alignment::Left;
    const DataGridModel* model = m_grid.gridModel();
    const int gridColumn = model ? model->columnOfField(index) : -1;
    c.visible = f.visible() && gridColumn >= 0;
    c.pixelWidth = gridColumn >= 0 ? m_grid.columnWidth(gridColumn) : 0;
    return c;
}

exporter::GridAppearance GridExportSource::appearance() const
{
    auto look = exporter::GridAppearance::fromPalette(
        m_grid.palette(), m_grid.horizontalHeader()->font(), m_grid.font(), m_grid.logicalDpiY());
    look.titleAlignment = exporter::Alignment::Left;
    look.titleLines = 1;
    look.rightToLeft = m_grid.layoutDirection() == Qt::RightToLeft;
    if (m_grid.alternatingRowColors())
        look.alternatingRowColor =
            m_grid.palette().color(QPalette::Active, QPalette::AlternateBase);
    return look;
}

void GridExportSource::beginExport()
{
    db::ClientDataSet* ds = dataSet();
    if (m_running.active() || !ds || !ds->active())
        return;
    // Text typed into a cell belongs to the record before the run moves away from it.
    m_grid.commitPendingEdit();
    // Every row is written: the rest is read in the background while the run writes. The run
    // shows its own progress and tells its own failure.
    ds->readAhead(false);
    m_mark = ds->bookmark();
    m_screenRow = m_grid.screenRow();
    m_serverText.assign(static_cast<size_t>(ds->fieldCount()), 0);
    for (int i = 0; i < ds->fieldCount(); ++i)
        m_serverText[static_cast<size_t>(i)] = db::displaysServerText(ds->field(i).def()) ? 1 : 0;
    ds->disableControls();
    m_grid.setExporting(true);
    m_runData = ds;
    m_locale.emplace();
    m_running.begin();
}

void GridExportSource::endExport() noexcept
{
    if (!m_running.active())
        return;
    m_running.end();
    m_runData = nullptr;
    m_locale.reset();
    db::ClientDataSet* ds = dataSet();
    try {
        if (ds && ds->active() && ds->bookmarkValid(m_mark))
            ds->gotoBookmark(m_mark);
    } catch (...) {
        // The record is gone (a refused post, a discarded new row): the cursor stays put.
    }
    // A read the run started and did not see to its end goes on as any background read does.
    if (ds && ds->provider() && ds->provider()->source())
        ds->provider()->source()->setReadReported(true);
    try {
        // The grid listens again before the dataset announces where it stands.
        m_grid.setExporting(false);
        if (ds)
            ds->enableControls();
        if (ds && ds->active())
            m_grid.showRowAt(ds->currentRow(), m_screenRow);
    } catch (...) {
        // Restoring the view is best effort; the run's own error is the one to report.
    }
    m_mark = {};
    m_screenRow = -1;
    m_serverText.clear();
    m_views.clear();
    m_viewsValid = false;
}

void GridExportSource::first()
{
    m_viewsValid = false;
    dataSet()->first();
}

void GridExportSource::next()
{
    m_viewsValid = false;
    db::ClientDataSet* ds = dataSet();
    ds->next();
    // A background read that was stopped or failed leaves a result without its last rows: a file of
    // them must not pass for the whole result.
    const db::Provider* provider = ds->provider();
    if (!ds->eof() || !provider || !provider->source() || !provider->source()->incomplete())
        return;
    const QString incomplete =
        QStringLiteral("The export is incomplete: the rows were not all read");
    if (const auto error = provider->source()->readError())
        throw db::DbError(incomplete + QStringLiteral(". ") + error->message(), error->code(),
                          error->connectionLost());
    throw db::DbError(incomplete + QStringLiteral(" (the read was stopped)."));
}

bool GridExportSource::eof() const
{
    const db::ClientDataSet* ds = dataSet();
    return !ds || ds->eof();
}

std::optional<std::int64_t> GridExportSource::recordCount() const
{
    const db::ClientDataSet* ds = dataSet();
    if (!ds || !ds->allFetched())
        return std::nullopt;
    return ds->recordCount();
}

QString GridExportSource::displayText(int index) const
{
    return field(index).exportText();
}

const std::vector<std::optional<QByteArrayView>>& GridExportSource::currentViews() const
{
    const db::ClientDataSet* ds = dataSet();
    if (!ds)
        throw db::DbError(QStringLiteral("The grid has no dataset"));
    if (!m_viewsValid || !m_running.active()) {
        // The dataset lends the bytes of its row cache (or of the record being edited), read in
        // one pass over the row for all its cells.
        ds->rowViews(ds->currentRow(), m_views);
        m_viewsValid = true;
    }
    return m_views;
}

QByteArrayView GridExportSource::cellUtf8(int index, QByteArray& scratch) const
{
    const auto& views = currentViews();
    const auto i = static_cast<size_t>(index);
    if (i >= views.size() || !views[i])
        return {};
    if (i < m_serverText.size() && m_serverText[i])
        return *views[i];
    scratch.truncate(0);
    db::appendExportUtf8(dataSet()->fields()[i]->def(), *views[i], scratch);
    return scratch;
}

bool GridExportSource::isNull(int index) const
{
    const auto& views = currentViews();
    const auto i = static_cast<size_t>(index);
    return i >= views.size() || !views[i];
}

double GridExportSource::asFloat(int index) const
{
    const db::Field& f = field(index);
    const auto v = view(index);
    // A floating point column's text is read as the field reads it, without copying it out.
    if (v && !f.def().isBit &&
        (f.dataType() == db::FieldType::ftFloat || f.dataType() == db::FieldType::ftCurrency)) {
        bool ok = false;
        const double d = v->toDouble(&ok);
        if (ok)
            return d;
    }
    return f.asFloat();
}

bool GridExportSource::asBoolean(int index) const
{
    return field(index).asBoolean();
}

std::optional<QByteArrayView> GridExportSource::view(int index) const
{
    const auto& views = currentViews();
    const auto i = static_cast<size_t>(index);
    return i < views.size() ? views[i] : std::nullopt;
}

QDate GridExportSource::asDate(int index) const
{
    const auto v = view(index);
    const auto parts = v ? db::dateAndTimeOf(*v) : std::nullopt;
    return parts ? parts->date : QDate();
}

std::int64_t GridExportSource::asTimeMsecs(int index) const
{
    const auto v = view(index);
    if (!v)
        return 0;
    if (field(index).dataType() == db::FieldType::ftTime)
        return db::timeMillis(*v).value_or(0);
    const auto parts = db::dateAndTimeOf(*v);
    return parts ? parts->msecs : 0;
}

exporter::DayTime GridExportSource::asDayTime(int index) const
{
    const auto v = view(index);
    const auto parts = v ? db::dateAndTimeOf(*v) : std::nullopt;
    if (!parts)
        return {};
    return {parts->date, parts->msecs};
}

} // namespace norvane::widgets
