#pragma once

#include "export/ExportSource.h"

#include <QString>

#include <cstdint>
#include <initializer_list>

namespace norvane::exporter {

/// The file format an export run writes. Stored as one byte; zkgetXML has no writer.
enum class TzkGridExportType : std::uint8_t
{
    zkgetTxt,
    zkgetHTML,
    zkgetSYLK,
    zkgetXML
};

/// Export switches; the enumerator is the bit number in the stored two-byte set.
enum class TzkExportSaveOption : std::uint8_t
{
    esoShowHeader,
    esoShowFooter,
    esoDynamicColors,
    esoShowTitle,
    esoDblQuoteFields,
    esoSaveSelectedOnly,
    esoAddControls,
    esoBestColFit,
    esoShowRecordNo,
    esoEmbedURL,
    esoShowAlternating,
    esoTransparentGrid,
    esoClipboard,
};

/// A set of TzkExportSaveOption, stored in two bytes.
class TzkExportSaveOptions
{
public:
    constexpr TzkExportSaveOptions() = default;
    constexpr TzkExportSaveOptions(std::initializer_list<TzkExportSaveOption> members)
    {
        for (auto m : members)
            m_bits = static_cast<std::uint16_t>(m_bits | bit(m));
    }
    static constexpr TzkExportSaveOptions fromBits(std::uint16_t bits)
    {
        TzkExportSaveOptions s;
        s.m_bits = static_cast<std::uint16_t>(bits & 0x1FFF);
        return s;
    }

    constexpr bool contains(TzkExportSaveOption m) const { return (m_bits & bit(m)) != 0; }
    constexpr void insert(TzkExportSaveOption m)
    {
        m_bits = static_cast<std::uint16_t>(m_bits | bit(m));
    }
    constexpr void remove(TzkExportSaveOption m)
    {
        m_bits = static_cast<std::uint16_t>(m_bits & ~bit(m));
    }
    constexpr std::uint16_t bits() const { return m_bits; }
    constexpr bool operator==(const TzkExportSaveOptions&) const = default;

private:
    static constexpr std::uint16_t bit(TzkExportSaveOption m)
    {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(m));
    }
    std::uint16_t m_bits = 0;
};

/// The options every data grid owns for exporting its rows, and the export run itself.
class TzkExportOptions
{
public:
    static constexpr TzkExportSaveOptions DefaultOptions{
        TzkExportSaveOption::esoShowHeader, TzkExportSaveOption::esoShowTitle,
        TzkExportSaveOption::esoDblQuoteFields, TzkExportSaveOption::esoShowAlternating};

    /// owner: the grid whose rows are exported; not owned, may be set later.
    explicit TzkExportOptions(ExportSource* owner = nullptr) : FOwner(owner) {}

    ExportSource* Owner() const { return FOwner; }
    void setOwner(ExportSource* owner) { FOwner = owner; }

    const QString& FileName() const { return FFileName; }
    void setFileName(const QString& value);
    TzkGridExportType ExportType() const { return FExportType; }
    void setExportType(TzkGridExportType value) { FExportType = value; }
    const QString& Delimiter() const { return FDelimiter; }
    void setDelimiter(const QString& value);
    TzkExportSaveOptions Options() const { return FOptions; }
    void setOptions(TzkExportSaveOptions value) { FOptions = value; }
    const QString& TitleName() const { return FTitleName; }
    void setTitleName(const QString& value) { FTitleName = value; }
    std::int32_t OutputWidthinTwips() const { return FOutputWidthinTwips; }
    void setOutputWidthinTwips(std::int32_t value) { FOutputWidthinTwips = value; }
    std::int32_t HTMLBorderWidth() const { return FHTMLBorderWidth; }
    void setHTMLBorderWidth(std::int32_t value) { FHTMLBorderWidth = value; }

    /// With esoDblQuoteFields, a non-empty text wrapped in double quotes (nothing inside is
    /// escaped); otherwise the text unchanged.
    QString QuoteValue(const QString& text) const;

    /// Writes every record of the owner to FileName in the format of ExportType. Throws
    /// FileCreateError when the file cannot be created (then nothing else happened), and
    /// norvane::Error for read and write failures during the run; the file keeps what was
    /// written before the failure, and the owner's endExport has run.
    void Save(const ExportHooks& hooks = {});

private:
    QString FFileName;
    TzkGridExportType FExportType = TzkGridExportType::zkgetTxt;
    QString FDelimiter = QStringLiteral(",");
    TzkExportSaveOptions FOptions = DefaultOptions;
    QString FTitleName;
    std::int32_t FOutputWidthinTwips = 0;
    std::int32_t FHTMLBorderWidth = 1;
    ExportSource* FOwner = nullptr;
};

/// The point size the formats write for a font: its pixel height at the given resolution,
/// converted back to points and rounded (Courier New of 11 pixels at 96 dpi gives 8).
int exportPointSize(const QFont& font, int dpi);

/// A number as a spreadsheet reads it: the shortest text that reads back to the same double,
/// "." always, scientific below 0.0001 or beyond 15 integer digits (1E20, 1.5E-7); empty when
/// not finite.
QString generalNumber(double value);
/// Room for the longest text generalNumberChars writes.
inline constexpr int kGeneralNumberSize = 48;
/// The same text written into `out` (at least kGeneralNumberSize bytes); its length.
qsizetype generalNumberChars(double value, char* out);

/// Days since 30 December 1899, the spreadsheet day serial.
std::int64_t daySerial(const QDate& date);

} // namespace norvane::exporter
