// The four export actions: a save dialog shared by all of them, then the current grid's export
// options write every record of its dataset, with a progress indicator in the status bar.
#include "MainFrm.h"

#include "dbaccess/ClientDataSet.h"
#include "export/zkexport.h"
#include "persist/Error.h"
#include "widgets/DBGrid.h"
#include "widgets/Prompts.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <limits>
#include <memory>
#include <optional>

namespace norvane::app {

namespace {

using exporter::TzkGridExportType;

/// What one export action offers in the save dialog and sets on confirmation.
struct ExportKind
{
    TzkGridExportType type;
    const char* defaultExt;
    const char* filter;              ///< one entry whose description and pattern are the same text
    const char* delimiter = nullptr; ///< set for the two delimited-text actions only
};

/// The window's one save dialog for exports: remembers the name last chosen in it, whatever
/// its extension, for the next action to start from.
class SaveDialogState : public QObject
{
public:
    explicit SaveDialogState(QObject* parent) : QObject(parent)
    {
        setObjectName(QStringLiteral("SaveDialog"));
    }

    static SaveDialogState& of(QObject* window)
    {
        // Created on first use, so the window needs no member for it.
        auto* found =
            window->findChild<QObject*>(QStringLiteral("SaveDialog"), Qt::FindDirectChildrenOnly);
        if (auto* state = dynamic_cast<SaveDialogState*>(found))
            return *state;
        return *new SaveDialogState(window);
    }

    /// Runs the dialog; the chosen name, or nothing when the user cancelled.
    std::optional<QString> run(QWidget* parent, const ExportKind& kind)
    {
        widgets::FilePromptOptions options;
        options.defaultSuffix = QLatin1String(kind.defaultExt);
        options.nameFilters = {QStringLiteral("%1 (%1)").arg(QLatin1String(kind.filter))};
        options.initialPath = m_fileName;
        // The chosen file is replaced without a question.
        options.confirmOverwrite = false;
        const QString chosen = widgets::prompts().saveFileName(parent, options);
        if (chosen.isEmpty())
            return std::nullopt;
        m_fileName = chosen;
        return chosen;
    }

private:
    QString m_fileName;
};

/// Rows written so far (and the total once the dataset holds every row), shown in the status
/// bar while the run lasts and removed when it ends, however it ends.
class ExportProgress
{
public:
    explicit ExportProgress(QStatusBar* bar) : m_bar(bar)
    {
        m_box = new QWidget;
        m_box->setObjectName(QStringLiteral("ExportProgress"));
        auto* layout = new QHBoxLayout(m_box);
        layout->setContentsMargins(0, 0, 0, 0);
        m_meter = new QProgressBar(m_box);
        m_meter->setObjectName(QStringLiteral("ExportProgressBar"));
        m_meter->setTextVisible(false);
        m_meter->setRange(0, 0);
        m_meter->setFixedWidth(120);
        m_text = new QLabel(m_box);
        m_text->setObjectName(QStringLiteral("ExportProgressText"));
        layout->addWidget(m_meter);
        layout->addWidget(m_text);
        m_bar->addWidget(m_box);
        m_box->show();
    }
    ExportProgress(const ExportProgress&) = delete;
    ExportProgress& operator=(const ExportProgress&) = delete;
    ~ExportProgress()
    {
        m_bar->removeWidget(m_box);
        delete m_box;
    }

    void update(std::int64_t written, std::optional<std::int64_t> total)
    {
        // Labels relayout on every change: a few updates a second are all the eye can follow.
        constexpr qint64 kIntervalMs = 100;
        if (m_clock.isValid() && m_clock.elapsed() < kIntervalMs)
            return;
        m_clock.start();
        if (total && *total > 0) {
            // The bar counts in thousandths, so any row count fits its int range.
            m_meter->setRange(0, 1000);
            m_meter->setValue(static_cast<int>(written * 1000 / *total));
            m_text->setText(QStringLiteral("Rows written: %1 of %2").arg(written).arg(*total));
        } else {
            m_text->setText(QStringLiteral("Rows written: %1").arg(written));
        }
    }

private:
    QStatusBar* m_bar;
    QWidget* m_box = nullptr;
    QProgressBar* m_meter = nullptr;
    QLabel* m_text = nullptr;
    QElapsedTimer m_clock;
};

widgets::DBGrid& exportGrid(QAbstractItemView* grid)
{
    auto* dbGrid = qobject_cast<widgets::DBGrid*>(grid);
    if (!dbGrid || !dbGrid->ExportOptions())
        throw Error("This grid has no rows to export.");
    return *dbGrid;
}

void runExportAction(QMainWindow& window, QAbstractItemView* currentGrid, const ExportKind& kind)
{
    widgets::DBGrid& grid = exportGrid(currentGrid);
    exporter::TzkExportOptions& options = *grid.ExportOptions();
    const std::optional<QString> chosen = SaveDialogState::of(&window).run(&window, kind);
    if (!chosen)
        return;
    options.setExportType(kind.type);
    if (kind.delimiter)
        options.setDelimiter(QLatin1String(kind.delimiter));
    options.setFileName(*chosen);

    ExportProgress progress(window.statusBar());
    exporter::ExportHooks hooks;
    hooks.progress = [&progress](std::int64_t written, std::optional<std::int64_t> total) {
        progress.update(written, total);
    };
    // Paint, timers and the clock go on; clicks and keys wait until the run is over, so no
    // command can close or reopen the dataset under the run.
    constexpr qint64 kEventIntervalMs = 10;
    hooks.keepResponsive = exporter::pumpEvery(kEventIntervalMs, [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    options.Save(hooks);
}

constexpr ExportKind kSlk{TzkGridExportType::zkgetSYLK, "slk", "*.slk"};
constexpr ExportKind kCsv{TzkGridExportType::zkgetTxt, "csv", "*.csv", "\t"};
constexpr ExportKind kTxt{TzkGridExportType::zkgetTxt, "txt", "*.txt", ","};
constexpr ExportKind kHtml{TzkGridExportType::zkgetHTML, "html", "*.html"};

} // namespace

void TMainForm::acSlkExecute()
{
    runExportAction(*this, CurrentGrid, kSlk);
}

void TMainForm::acCsvExecute()
{
    runExportAction(*this, CurrentGrid, kCsv);
}

void TMainForm::acTxtExecute()
{
    runExportAction(*this, CurrentGrid, kTxt);
}

void TMainForm::acHtmlExecute()
{
    runExportAction(*this, CurrentGrid, kHtml);
}

void TMainForm::acSlkUpdate()
{
    const auto* grid = qobject_cast<const widgets::DBGrid*>(CurrentGrid);
    const db::ClientDataSet* dataset = grid ? grid->dataSet() : nullptr;
    const bool open = dataset && dataset->active();
    acSlk->setEnabled(open);
    for (QAction* a : {acCsv, acTxt, acHtml})
        a->setEnabled(acSlk->isEnabled());
}

} // namespace norvane::app
