// Building blocks shared by the three writers: cell texts, point sizes, numbers and dates.
#include "export/ExportRun.h"

#include <QFontInfo>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

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

QByteArrayView ExportSource::cellUtf8(int field, QByteArray& scratch) const
{
    if (isNull(field))
        return {};
    const QString text = displayText(field);
    QStringEncoder encoder(QStringEncoder::Utf8);
    scratch.resize(encoder.requiredSpace(text.size()));
    char* end = encoder.appendToBuffer(scratch.data(), text);
    scratch.truncate(end - scratch.constData());
    return scratch;
}

QByteArrayView ExportRun::cellUtf8(const RunColumn& c, QByteArray& scratch) const
{
    return source.cellUtf8(c.field, scratch);
}

void OutBuffer::grow(qsizetype n)
{
    auto capacity = static_cast<std::size_t>(std::max(m_size + n, 2 * m_capacity + 4096));
    LargeBlock data = allocateLargeBlock(capacity);
    if (m_size > 0)
        std::memcpy(data.get(), m_data.get(), static_cast<std::size_t>(m_size));
    m_data = std::move(data);
    m_capacity = static_cast<qsizetype>(capacity);
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

qsizetype generalNumberChars(double value, char* out)
{
    if (!std::isfinite(value))
        return 0;
    if (value == 0.0) {
        out[0] = '0';
        return 1;
    }
    // Shortest round trip in scientific form ("-1.2345e+02"), then laid out by hand: to_chars
    // ignores the C locale, so the decimal separator is "." whatever the user has set.
    char sci[64];
    const auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    const char* e = std::find(sci, res.ptr, 'e');
    char digits[24];
    int n = 0;
    for (const char* p = sci; p < e; ++p)
        if (*p >= '0' && *p <= '9')
            digits[n++] = *p;
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
    char* o = out;
    auto put = [&o](const char* p, int count) {
        std::memcpy(o, p, static_cast<std::size_t>(count));
        o += count;
    };
    auto zeros = [&o](int count) {
        std::memset(o, '0', static_cast<std::size_t>(count));
        o += count;
    };
    if (value < 0)
        *o++ = '-';
    if (exponent < -4 || exponent >= 15) {
        *o++ = digits[0];
        if (n > 1) {
            *o++ = '.';
            put(digits + 1, n - 1);
        }
        *o++ = 'E';
        o = std::to_chars(o, o + 8, exponent).ptr;
    } else if (exponent < 0) {
        put("0.", 2);
        zeros(-exponent - 1);
        put(digits, n);
    } else if (n <= exponent + 1) {
        put(digits, n);
        zeros(exponent + 1 - n);
    } else {
        put(digits, exponent + 1);
        *o++ = '.';
        put(digits + exponent + 1, n - exponent - 1);
    }
    return o - out;
}

QString generalNumber(double value)
{
    char text[kGeneralNumberSize];
    return QString::fromLatin1(text, generalNumberChars(value, text));
}

std::int64_t daySerial(const QDate& date)
{
    static const qint64 epoch = QDate(1899, 12, 30).toJulianDay();
    return date.toJulianDay() - epoch;
}

} // namespace norvane::exporter
