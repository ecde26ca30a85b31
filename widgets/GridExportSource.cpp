#include "GridExportSource.h"

#include "DBGrid.h"
#include "DataGridModel.h"

#include "dbaccess/DbError.h"

#include <QHeaderView>

namespace norvane::widgets {

using exporter::FieldType;

db::ClientDataSet* GridExportSource::dataSet() const
{
    return m_grid.dataSet();
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

FieldType GridExportSource::exportType(db::FieldType type)
{
    switch (type) {
    case db::FieldType::ftUnknown:
        return FieldType::ftUnknown;
    case db::FieldType::ftString:
        return FieldType::ftString;
    case db::FieldType::ftSmallint:
        return FieldType::ftSmallint;
    case db::FieldType::ftInteger:
        return FieldType::ftInteger;
    case db::FieldType::ftWord:
        return FieldType::ftWord;
    case db::FieldType::ftBoolean:
        return FieldType::ftBoolean;
    case db::FieldType::ftFloat:
        return FieldType::ftFloat;
    case db::FieldType::ftCurrency:
        return FieldType::ftCurrency;
    case db::FieldType::ftBCD:
        return FieldType::ftBCD;
    case db::FieldType::ftDate:
        return FieldType::ftDate;
    case db::FieldType::ftTime:
        return FieldType::ftTime;
    case db::FieldType::ftDateTime:
        return FieldType::ftDateTime;
    case db::FieldType::ftBytes:
        return FieldType::ftBytes;
    case db::FieldType::ftVarBytes:
        return FieldType::ftVarBytes;
    case db::FieldType::ftAutoInc:
        return FieldType::ftAutoInc;
    case db::FieldType::ftBlob:
        return FieldType::ftBlob;
    case db::FieldType::ftMemo:
        return FieldType::ftMemo;
    case db::FieldType::ftLargeint:
        return FieldType::ftLargeint;
    case db::FieldType::ftTimeStamp:
        return FieldType::ftTimeStamp;
    case db::FieldType::ftFMTBcd:
        return FieldType::ftFMTBcd;
    }
    return FieldType::ftUnknown;
}

exporter::ExportColumn GridExportSource::column(int index) const
{
    const db::Field& f = field(index);
    exporter::ExportColumn c;
    c.fieldName = f.fieldName();
    c.title = f.displayLabel();
    c.dataType = exportType(f.dataType());
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
    m_mark = ds->bookmark();
    m_screenRow = m_grid.screenRow();
    ds->disableControls();
    m_grid.setExporting(true);
    m_running.begin();
}

void GridExportSource::endExport() noexcept
{
    if (!m_running.active())
        return;
    m_running.end();
    db::ClientDataSet* ds = dataSet();
    try {
        if (ds && ds->active() && ds->bookmarkValid(m_mark))
            ds->gotoBookmark(m_mark);
    } catch (...) {
        // The record is gone (a refused post, a discarded new row): the cursor stays put.
    }
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
}

void GridExportSource::first()
{
    dataSet()->first();
}

void GridExportSource::next()
{
    dataSet()->next();
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

bool GridExportSource::isNull(int index) const
{
    return field(index).isNull();
}

QString GridExportSource::displayText(int index) const
{
    return field(index).displayText();
}

double GridExportSource::asFloat(int index) const
{
    return field(index).asFloat();
}

bool GridExportSource::asBoolean(int index) const
{
    return field(index).asBoolean();
}

QDate GridExportSource::asDate(int index) const
{
    return field(index).asDateTime().date();
}

std::int64_t GridExportSource::timeTextMsecs(const QByteArray& text)
{
    QByteArray t = text.trimmed();
    const bool negative = t.startsWith('-');
    if (negative)
        t.remove(0, 1);
    const QList<QByteArray> parts = t.split(':');
    if (parts.size() != 3)
        return 0;
    bool okH = false;
    bool okM = false;
    bool okS = false;
    const qint64 h = parts[0].toLongLong(&okH);
    const qint64 m = parts[1].toLongLong(&okM);
    const double s = parts[2].toDouble(&okS);
    if (!okH || !okM || !okS)
        return 0;
    const auto ms = static_cast<std::int64_t>(((h * 60 + m) * 60) * 1000 + qRound64(s * 1000.0));
    return negative ? -ms : ms;
}

std::int64_t GridExportSource::asTimeMsecs(int index) const
{
    const db::Field& f = field(index);
    const db::RawValue v = f.rawValue();
    if (!v)
        return 0;
    if (f.dataType() == db::FieldType::ftTime)
        return timeTextMsecs(*v);
    const QDateTime dt = f.asDateTime();
    return dt.isValid() ? dt.time().msecsSinceStartOfDay() : 0;
}

QDateTime GridExportSource::asDateTime(int index) const
{
    return field(index).asDateTime();
}

} // namespace norvane::widgets
