// Building blocks shared by the three writers: cell texts, point sizes, numbers and dates.
#include "export/ExportRun.h"

#include <QFontInfo>
#include <QStringEncoder>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace norvane::exporter {

GridAppearance GridAppearance::fromPalette(const QPalette& palette, const QFont& titleFont,
                                           const QFont& font, int dpi)
{
    GridAppearance look;
    look.titleFont = titleFont;
    look.font = font;
    look.color = palette.color(QPalette::Active, QPalette::Base);
    look.fontColor = palette.color(QPalette::Active, QPalette::Text);
    look.titleFontColor = look.fontColor;
    look.titleColor = palette.color(QPalette::Active, QPalette::Button);
    look.dpi = dpi;
    return look;
}

ExportRun::ExportRun(const TzkExportOptions& opts, ExportSource& src)
    : options(opts), source(src), look(src.appearance())
{
    if (look.dpi <= 0)
        look.dpi = 96;
    if (look.titleLines < 1)
        look.titleLines = 1;
    const int n = source.fieldCount();
    for (int i = 0; i < n; ++i) {
        RunColumn c;
        c.field = i;
        c.column = source.column(i);
        if (!c.column.visible)
            continue;
        if (c.included)
            pixelWidthSum += c.column.pixelWidth + 5;
        columns.push_back(std::move(c));
    }
}

QString ExportRun::cellText(const RunColumn& c) const
{
    if (source.isNull(c.field))
        return {};
    return source.displayText(c.field);
}

QByteArrayView ExportRun::cellUtf8(const RunColumn& c, QByteArray& scratch) const
{
    if (source.isNull(c.field))
        return {};
    if (const auto bytes = source.cellBytes(c.field))
        return *bytes;
    const QString text = source.displayText(c.field);
    QStringEncoder encoder(QStringEncoder::Utf8);
    scratch.resize(encoder.requiredSpace(text.size()));
    char* end = encoder.appendToBuffer(scratch.data(), text);
    scratch.truncate(end - scratch.constData());
    return scratch;
}

int exportPointSize(const QFont& font, int dpi)
{
    if (dpi <= 0)
        dpi = 96;
    double pixels = font.pixelSize();
    if (pixels <= 0) {
        const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 8.0;
        // The grid keeps fonts as a whole pixel height; a point size becomes one first.
        pixels = std::round(points * dpi / 72.0);
    }
    return static_cast<int>(std::lround(pixels * 72.0 / dpi));
}

QString generalNumber(double value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0.0)
        return QStringLiteral("0");
    // Shortest round trip in scientific form ("-1.2345e+02"), then laid out by hand: to_chars
    // ignores the C locale, so the decimal separator is "." whatever the user has set.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
    const size_t e = sci.find('e');
    std::string digits;
    for (const char c : sci.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(),
                    exponent);
    const auto n = static_cast<int>(digits.size());
    std::string out = value < 0 ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        out += digits[0];
        if (n > 1)
            out += '.' + digits.substr(1);
        out += 'E' + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (n <= exponent + 1) {
        out += digits + std::string(static_cast<size_t>(exponent + 1 - n), '0');
    } else {
        const auto point = static_cast<size_t>(exponent) + 1; // 0 <= exponent < 15 here
        out += digits.substr(0, point) + '.' + digits.substr(point);
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

std::int64_t daySerial(const QDate& date)
{
    static const qint64 epoch = QDate(1899, 12, 30).toJulianDay();
    return date.toJulianDay() - epoch;
}

} // namespace norvane::exporter
