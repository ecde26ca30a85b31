#pragma once

#include "FakeGrid.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <string>

namespace norvane::exporter::test {

inline std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing file>";
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

/// Joins lines with CR LF after each one.
inline std::string crlfLines(std::initializer_list<std::string> lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

/// Runs one export of grid into a fresh file and returns the file's bytes.
class ExportFixture
{
public:
    ExportFixture() = default;

    std::string run(FakeGrid& grid, TzkGridExportType type,
                    const QString& delimiter = QStringLiteral(","),
                    const std::function<void(TzkExportOptions&)>& tweak = {})
    {
        TzkExportOptions options(&grid);
        options.setExportType(type);
        options.setDelimiter(delimiter);
        options.setFileName(path());
        if (tweak)
            tweak(options);
        options.Save();
        return readAll(options.FileName());
    }

    QString path(const QString& name = QStringLiteral("out.dat")) const
    {
        return m_dir.filePath(name);
    }
    const QTemporaryDir& dir() const { return m_dir; }

private:
    QTemporaryDir m_dir;
};

} // namespace norvane::exporter::test
