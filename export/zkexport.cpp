// The export options and the run that walks the grid's records into a file.
#include "export/zkexport.h"

#include "export/ExportRun.h"
#include "persist/Error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace norvane::exporter {
namespace {

constexpr qsizetype kFlushSize = qsizetype{64} * 1024;

/// The target file, created anew and held exclusively while the run writes it.
class ExportFile
{
public:
    explicit ExportFile(const QString& fileName)
    {
        const QString fullPath = QFileInfo(fileName).absoluteFilePath();
        const QByteArray path = QFile::encodeName(fileName);
        // Opened without truncation first, so a file that another export holds is not emptied
        // under it; truncated only once the lock is ours.
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            fail(fullPath, errno);
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(m_fd, 0) != 0) {
            const int err = errno;
            ::close(m_fd);
            m_fd = -1;
            fail(fullPath, err);
        }
    }
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;
    ~ExportFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    void write(QByteArrayView bytes)
    {
        const char* p = bytes.data();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Error("Stream write error");
            p += n;
            left -= n;
        }
    }

    void close()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw Error("Stream write error");
    }

private:
    [[noreturn]] static void fail(const QString& fullPath, int err)
    {
        throw FileCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                  .arg(fullPath, QString::fromLocal8Bit(std::strerror(err)))
                                  .toStdString());
    }

    int m_fd = -1;
};

std::unique_ptr<FormatWriter> writerFor(TzkGridExportType type)
{
    switch (type) {
    case TzkGridExportType::zkgetTxt:
        return makeDelimitedWriter();
    case TzkGridExportType::zkgetHTML:
        return makeHtmlWriter();
    case TzkGridExportType::zkgetSYLK:
        return makeSylkWriter();
    case TzkGridExportType::zkgetXML:
        break;
    }
    throw Error("XML export is not available");
}

/// Header, every record, closing text. Text already built reaches the file also when a later
/// record fails, so an interrupted file holds every complete record before the failure.
void runExport(const TzkExportOptions& options, ExportSource& source, FormatWriter& writer,
               ExportFile& file, const ExportHooks& hooks)
{
    if (!source.isActive())
        return;
    ExportRun run(options, source);
    OutBuffer out;
    run.write = [&file, &out](QByteArrayView bytes) {
        file.write(out.view());
        out.clear();
        file.write(bytes);
    };
    out.reserve(kFlushSize + 4096);
    try {
        if (run.has(TzkExportSaveOption::esoShowHeader) ||
            options.ExportType() != TzkGridExportType::zkgetTxt)
            writer.header(run, out);
        const std::optional<std::int64_t> total = source.recordCount();
        source.first();
        while (!source.eof()) {
            ++run.recordNo;
            writer.row(run, out);
            if (out.size() >= kFlushSize) {
                file.write(out.view());
                out.clear();
            }
            if (hooks.progress)
                hooks.progress(run.recordNo, total ? total : source.recordCount());
            if (hooks.keepResponsive)
                hooks.keepResponsive();
            source.next();
        }
        writer.finish(run, out);
    } catch (...) {
        try {
            file.write(out.view());
        } catch (const Error&) {
            // The original failure is the one the user needs to see.
        }
        throw;
    }
    file.write(out.view());
}

} // namespace

std::function<void()> pumpEvery(qint64 intervalMs, std::function<void()> pump)
{
    const auto now = [] {
        timespec t{};
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
        return static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    return [intervalMs, pump = std::move(pump), now, last = std::optional<qint64>()]() mutable {
        const qint64 t = now();
        if (last && t - *last < intervalMs)
            return;
        pump();
        last = now();
    };
}

void TzkExportOptions::setFileName(const QString& value)
{
    if (value != FFileName)
        FFileName = value;
}

void TzkExportOptions::setDelimiter(const QString& value)
{
    if (value != FDelimiter)
        FDelimiter = value;
}

QString TzkExportOptions::QuoteValue(const QString& text) const
{
    if (!FOptions.contains(TzkExportSaveOption::esoDblQuoteFields) || text.isEmpty())
        return text;
    return u'"' + text + u'"';
}

void TzkExportOptions::Save(const ExportHooks& hooks)
{
    const auto writer = writerFor(FExportType);
    ExportFile file(FFileName);
    if (FOwner) {
        FOwner->beginExport();
        try {
            runExport(*this, *FOwner, *writer, file, hooks);
        } catch (...) {
            FOwner->endExport();
            throw;
        }
        FOwner->endExport();
    }
    file.close();
}

} // namespace norvane::exporter
