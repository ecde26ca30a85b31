// Display texts of dates, times and numbers under several locales: the digit-by-digit
// formatting must give exactly what QLocale gives for the locale's own patterns, the cached
// patterns must follow a change of the default locale, and values outside the plain form
// (zero dates, fractions, durations, years before 1000) must keep their general treatment.
#include "dbaccess/DbError.h"
#include "dbaccess/Field.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <ctime>

using namespace norvane::db;

namespace {

class DefaultLocale
{
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(m_saved); }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    QLocale m_saved;
};

FieldDef defOf(FieldType type)
{
    FieldDef def;
    def.name = QStringLiteral("c");
    def.type = type;
    return def;
}

QString shown(FieldType type, const char* raw)
{
    return displayTextOfView(defOf(type), QByteArrayView(raw));
}

// The locale's patterns as a user reads them in its settings: four-digit years, no zone.
QString datePattern(const QLocale& l)
{
    QString f = l.dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

QString timePattern(const QLocale& l)
{
    QString f = l.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

// The export's UTF-8 text, appended behind bytes already there.
QByteArray exported(FieldType type, const char* raw)
{
    QByteArray out("head:");
    appendExportUtf8(defOf(type), QByteArrayView(raw), out);
    return out.startsWith("head:") ? out.mid(5) : QByteArray("(prefix lost)");
}

const char* const kLocales[] = {"C",     "en_US", "de_DE", "fr_FR", "ja_JP", "ko_KR",
                                "zh_CN", "ar_EG", "fa_IR", "en_GB", "ru_RU", "hi_IN"};

} // namespace

TEST(DisplayText, DatesAndTimesMatchTheLocaleForEveryLocale)
{
    const char* const dateTimes[] = {"2024-01-01 00:00:00",       "2024-03-05 07:08:09",
                                     "1999-12-31 23:59:59",       "2000-02-29 12:00:00",
                                     "1000-01-01 11:59:59",       "9999-12-31 13:01:02",
                                     "2024-07-04 12:30:00.000000"};
    const char* const dates[] = {"2024-01-01", "2000-02-29", "1000-01-01", "9999-12-31",
                                 "2024-11-09"};
    const char* const times[] = {"00:00:00", "12:00:00", "11:59:59", "13:05:07", "23:59:59"};
    for (const char* name : kLocales) {
        const QLocale l(QString::fromLatin1(name));
        const DefaultLocale scope(l);
        for (const char* raw : dateTimes) {
            QDateTime dt = QDateTime::fromString(QString::fromLatin1(raw).left(19),
                                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            ASSERT_TRUE(dt.isValid()) << raw;
            const QString want = l.toString(dt, datePattern(l) + QLatin1Char(' ') + timePattern(l));
            EXPECT_EQ(shown(FieldType::ftDateTime, raw), want) << name << ' ' << raw;
            EXPECT_EQ(shown(FieldType::ftTimeStamp, raw), want) << name << ' ' << raw;
            EXPECT_EQ(exported(FieldType::ftDateTime, raw), want.toUtf8()) << name << ' ' << raw;
        }
        for (const char* raw : dates) {
            const QDate d =
                QDate::fromString(QString::fromLatin1(raw), QStringLiteral("yyyy-MM-dd"));
            EXPECT_EQ(shown(FieldType::ftDate, raw), l.toString(d, datePattern(l)))
                << name << ' ' << raw;
            EXPECT_EQ(exported(FieldType::ftDate, raw), l.toString(d, datePattern(l)).toUtf8())
                << name << ' ' << raw;
        }
        for (const char* raw : times) {
            const QTime t = QTime::fromString(QString::fromLatin1(raw), QStringLiteral("HH:mm:ss"));
            EXPECT_EQ(shown(FieldType::ftTime, raw), l.toString(t, timePattern(l)))
                << name << ' ' << raw;
        }
    }
}

TEST(DisplayText, KnownTextsInThreeLocales)
{
    struct Case
    {
        const char* locale;
        FieldType type;
        const char* raw;
        const char* text;
    };
    const Case cases[] = {
        {"de_DE", FieldType::ftDateTime, "2024-03-05 07:08:09", "05.03.2024 07:08:09"},
        {"de_DE", FieldType::ftDate, "2024-03-05", "05.03.2024"},
        {"de_DE", FieldType::ftFMTBcd, "-12.50", "-12,50"},
        {"de_DE", FieldType::ftFloat, "0.000123", "0,000123"},
        {"de_DE", FieldType::ftInteger, "-2147483648", "-2147483648"},
        {"en_US", FieldType::ftDateTime, "2024-03-05 00:08:09", "3/5/2024 12:08:09 AM"},
        {"en_US", FieldType::ftDateTime, "2024-03-05 12:08:09", "3/5/2024 12:08:09 PM"},
        {"en_US", FieldType::ftTime, "23:00:00", "11:00:00 PM"},
        {"C", FieldType::ftDateTime, "2024-03-05 07:08:09", "5 Mar 2024 07:08:09"},
        {"C", FieldType::ftDate, "2024-12-31", "31 Dec 2024"},
        {"C", FieldType::ftFMTBcd, "-12.50", "-12.50"},
    };
    for (const Case& c : cases) {
        const DefaultLocale scope{QLocale(QString::fromLatin1(c.locale))};
        EXPECT_EQ(shown(c.type, c.raw), QString::fromUtf8(c.text)) << c.locale << ' ' << c.raw;
    }
}

TEST(DisplayText, FractionalSecondsFollowTheSecondsInTheLocalePatternAndReadBack)
{
    struct Case
    {
        const char* locale;
        const char* raw;
        const char* text;
    } cases[] = {
        {"C", "2024-01-01 10:00:00.5", "1 Jan 2024 10:00:00.5"},
        {"C", "1000-01-01 00:00:00.000001", "1 Jan 1000 00:00:00.000001"},
        {"de_DE", "2024-03-05 07:08:09.120", "05.03.2024 07:08:09.120"},
        {"en_US", "2024-03-05 12:08:09.25", "3/5/2024 12:08:09.25 PM"},
    };
    for (const Case& c : cases) {
        const DefaultLocale scope{QLocale(QString::fromLatin1(c.locale))};
        EXPECT_EQ(shown(FieldType::ftDateTime, c.raw), QString::fromUtf8(c.text)) << c.locale;
        EXPECT_EQ(rawFromText(defOf(FieldType::ftDateTime), QString::fromUtf8(c.text)),
                  QByteArray(c.raw))
            << c.locale;
    }
}

TEST(DisplayText, ValuesOutsideThePlainFormKeepTheirText)
{
    for (const char* name : {"C", "de_DE", "en_US"}) {
        const DefaultLocale scope{QLocale(QString::fromLatin1(name))};
        // Zero dates, days no calendar has and durations are shown as the server sent them.
        for (const char* raw :
             {"0000-00-00 00:00:00", "2024-02-00 10:00:00.5", "2024-02-30 10:00:00"})
            EXPECT_EQ(shown(FieldType::ftDateTime, raw), QString::fromLatin1(raw)) << name;
        for (const char* raw : {"0000-00-00", "2023-02-29"})
            EXPECT_EQ(shown(FieldType::ftDate, raw), QString::fromLatin1(raw)) << name;
        for (const char* raw : {"838:59:59", "-00:00:01", "24:00:00", "10:00:00.250"})
            EXPECT_EQ(shown(FieldType::ftTime, raw), QString::fromLatin1(raw)) << name;
        // Years before 1000 go through QLocale, which pads them its own way.
        const QLocale l(QString::fromLatin1(name));
        const QDateTime early(QDate(999, 5, 6), QTime(1, 2, 3));
        EXPECT_EQ(shown(FieldType::ftDateTime, "0999-05-06 01:02:03"),
                  l.toString(early, datePattern(l) + QLatin1Char(' ') + timePattern(l)))
            << name;
        // NULL is empty for dates and numbers.
        EXPECT_TRUE(displayTextOfView(defOf(FieldType::ftDateTime), std::nullopt).isEmpty());
        EXPECT_TRUE(displayTextOfView(defOf(FieldType::ftFloat), std::nullopt).isEmpty());
    }
}

/// One value in place of a record, for a field to read.
struct OneValue : RecordAccess
{
    RawValue value;
    RawValue fieldValue(int) const override { return value; }
    void setFieldValue(int, const RawValue& v) override { value = v; }
};

// Spreadsheet serials are built from these parts: a time zone must not move a wall-clock time
// (02:30 does not exist in Berlin on 2024-03-31, yet the server can hold it). A field reads the
// same parts: its QDate or QDateTime where one holds the value exactly, else the server's text.
TEST(ServerDates, DayAndTimeComeFromTheDigitsWhateverTheTimeZone)
{
    const QByteArray savedTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    struct Case
    {
        const char* raw;
        FieldType type;
        QDate date;
        int msecs;
        bool heldByQt; // a local QDate / QDateTime holds it exactly
    } cases[] = {
        {"2024-03-31 02:30:00", FieldType::ftDateTime, QDate(2024, 3, 31), 9000000, false},
        {"2024-10-27 02:30:00.999999", FieldType::ftTimeStamp, QDate(2024, 10, 27), 9000999, false},
        {"2024-02-29 23:59:59.5", FieldType::ftDateTime, QDate(2024, 2, 29), 86399500, true},
        {"2024-06-30 23:59:58.120000", FieldType::ftDateTime, QDate(2024, 6, 30), 86398120, true},
        {"2024-01-01", FieldType::ftDate, QDate(2024, 1, 1), 0, true},
        {"0999-05-06", FieldType::ftDate, QDate(999, 5, 6), 0, true},
        {"0001-01-01 00:00:00.000001", FieldType::ftDateTime, QDate(1, 1, 1), 0, false},
    };
    OneValue record;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        const auto parts = dateAndTimeOf(QByteArrayView(c.raw));
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(parts->date, c.date);
        EXPECT_EQ(parts->msecs, c.msecs);
        record.value = QByteArray(c.raw);
        const Field f(&record, 0, defOf(c.type));
        EXPECT_EQ(f.asDateTime().date(), c.date);
        EXPECT_EQ(f.asDateTime().time().msecsSinceStartOfDay(), c.msecs);
        EXPECT_DOUBLE_EQ(f.asFloat(), static_cast<double>(QDate(1899, 12, 30).daysTo(c.date)) +
                                          c.msecs / 86400000.0);
        const QVariant v = f.value();
        if (!c.heldByQt)
            EXPECT_EQ(v, QVariant(QString::fromLatin1(c.raw)));
        else if (c.type == FieldType::ftDate)
            EXPECT_EQ(v, QVariant(c.date));
        else
            EXPECT_EQ(v, QVariant(QDateTime(c.date, QTime::fromMSecsSinceStartOfDay(c.msecs))));
    }
    // Values no calendar has read as the server's text, never as another day or as day zero.
    for (const char* bad : {"0000-00-00 00:00:00", "2024-02-00", "0000-00-00",
                            "2024-02-30 10:00:00", "2024-02-00 10:00:00.5", "12:00:00"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(dateAndTimeOf(QByteArrayView(bad)).has_value());
        record.value = QByteArray(bad);
        for (const FieldType type : {FieldType::ftDate, FieldType::ftDateTime}) {
            const Field f(&record, 0, defOf(type));
            EXPECT_FALSE(f.asDateTime().isValid());
            EXPECT_FALSE(f.asDateTime().date().isValid());
            EXPECT_EQ(f.value(), QVariant(QString::fromLatin1(bad)));
            EXPECT_THROW(f.asFloat(), FieldConversionError);
            EXPECT_EQ(f.displayText(), QString::fromLatin1(bad));
        }
    }
    if (savedTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedTz);
    tzset();
}
