#include "LocalFormats.h"

#include "Field.h"

#include <algorithm>
#include <memory>

namespace norvane::db {

namespace {

// The locale's short date format with a four-digit year: a two-digit year shown in a grid
// and typed back would land in the wrong century.
QString fullYearDateFormat(const QLocale& locale)
{
    QString f = locale.dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

} // namespace

QString localTimePattern(const QLocale& locale)
{
    // The long time format without its time-zone letters ("t"), quoted literals kept: a server
    // value carries no zone.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

bool CompiledFormat::compile(const QLocale& locale)
{
    if (locale.zeroDigit() != QLatin1String("0") || m_pattern.contains(QLatin1Char('\'')))
        return false;
    const bool twelveHour = m_pattern.contains(QLatin1Char('a'), Qt::CaseInsensitive);
    const qsizetype size = m_pattern.size();
    for (qsizetype i = 0; i < size;) {
        const QChar c = m_pattern[i];
        qsizetype run = 1;
        while (i + run < size && m_pattern[i + run] == c)
            ++run;
        const char l = c.toLatin1();
        Piece p;
        p.width = static_cast<int>(run);
        if (l == 'A' || l == 'a') {
            const QChar next = i + 1 < size ? m_pattern[i + 1] : QChar();
            if (l == 'A' && next == QLatin1Char('P'))
                p.kind = Kind::AmPmUpper;
            else if (l == 'a' && next == QLatin1Char('p'))
                p.kind = Kind::AmPmLower;
            else
                return false;
            m_pieces.push_back(p);
            i += 2;
            continue;
        }
        const bool letter = (l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z');
        if (!letter) {
            if (m_pieces.empty() || m_pieces.back().kind != Kind::Literal)
                m_pieces.push_back(Piece{});
            m_pieces.back().text.utf16 += m_pattern.mid(i, run);
            i += run;
            continue;
        }
        switch (l) {
        case 'd':
            p.kind = Kind::Day;
            break;
        case 'M':
            p.kind = run == 3 ? Kind::MonthName : Kind::Month;
            break;
        case 'y':
            p.kind = run == 4 ? Kind::Year4 : Kind::Year2;
            break;
        case 'H':
            p.kind = Kind::Hour24;
            break;
        case 'h':
            p.kind = twelveHour ? Kind::Hour12 : Kind::Hour24;
            break;
        case 'm':
            p.kind = Kind::Minute;
            break;
        case 's':
            p.kind = Kind::Second;
            break;
        default:
            return false;
        }
        if ((l == 'y' && run != 2 && run != 4) || (l == 'M' && run > 3) ||
            (l != 'y' && l != 'M' && run > 2))
            return false;
        m_pieces.push_back(p);
        i += run;
    }
    for (int m = 1; m <= 12; ++m)
        m_monthNames[m - 1].utf16 = locale.toString(QDate(2001, m, 1), QStringLiteral("MMM"));
    m_amUpper.utf16 = locale.toString(QTime(1, 0), QStringLiteral("AP"));
    m_pmUpper.utf16 = locale.toString(QTime(13, 0), QStringLiteral("AP"));
    m_amLower.utf16 = locale.toString(QTime(1, 0), QStringLiteral("ap"));
    m_pmLower.utf16 = locale.toString(QTime(13, 0), QStringLiteral("ap"));
    auto encode = [](Text& t) {
        t.utf8 = t.utf16.toUtf8();
        return t.utf8.size();
    };
    qsizetype longestMonth = 0;
    for (Text& month : m_monthNames)
        longestMonth = std::max(longestMonth, encode(month));
    const qsizetype longestAmPm =
        std::max({encode(m_amUpper), encode(m_pmUpper), encode(m_amLower), encode(m_pmLower)});
    m_maxUtf8 = 0;
    for (Piece& p : m_pieces) {
        if (p.kind == Kind::Literal)
            m_maxUtf8 += encode(p.text);
        else if (p.kind == Kind::MonthName)
            m_maxUtf8 += longestMonth;
        else if (p.kind == Kind::AmPmUpper || p.kind == Kind::AmPmLower)
            m_maxUtf8 += longestAmPm;
        else
            m_maxUtf8 += 8;
    }
    return true;
}

bool CompiledFormat::verify(const QLocale& locale) const
{
    const QDateTime samples[] = {
        QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0), Qt::UTC),
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC),
        QDateTime(QDate(2000, 7, 9), QTime(12, 5, 7), Qt::UTC),
        QDateTime(QDate(1000, 10, 20), QTime(9, 10, 11), Qt::UTC),
        QDateTime(QDate(9999, 2, 28), QTime(13, 0, 1), Qt::UTC),
    };
    for (const QDateTime& dt : samples) {
        const int parts[] = {dt.date().year(), dt.date().month(),  dt.date().day(),
                             dt.time().hour(), dt.time().minute(), dt.time().second()};
        QString fast;
        append(fast, parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
        QByteArray fastUtf8;
        appendUtf8(fastUtf8, parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
        const QString slow = locale.toString(dt, m_pattern);
        if (fast != slow || fastUtf8 != slow.toUtf8())
            return false;
    }
    return true;
}

namespace {
thread_local const LocalFormats* t_held = nullptr;
} // namespace

LocaleHold::LocaleHold() : m_previous(t_held)
{
    t_held = &localFormats();
}

LocaleHold::~LocaleHold()
{
    t_held = m_previous;
}

const LocalFormats& localFormats()
{
    if (t_held)
        return *t_held;
    thread_local std::unique_ptr<LocalFormats> cached;
    const QLocale current;
    if (!cached || !(cached->locale == current)) {
        auto f = std::make_unique<LocalFormats>();
        f->locale = current;
        f->decimalPoint = current.decimalPoint();
        const QString date = fullYearDateFormat(current);
        const QString time = localTimePattern(current);
        f->date = CompiledFormat(current, date);
        f->time = CompiledFormat(current, time);
        f->dateTime = CompiledFormat(current, date + QLatin1Char(' ') + time);
        const QString& pattern = f->dateTime.pattern();
        const qsizetype seconds = pattern.lastIndexOf(QLatin1String("ss"));
        f->dateTimeHead = seconds < 0 ? pattern : pattern.left(seconds + 2);
        f->dateTimeTail = seconds < 0 ? QString() : pattern.mid(seconds + 2);
        cached = std::move(f);
    }
    return *cached;
}

QDate parseLocalDate(const QString& text)
{
    const QLocale locale;
    QDate d = locale.toDate(text, localFormats().date.pattern());
    if (d.isValid())
        return d;
    d = locale.toDate(text, QLocale::ShortFormat);
    if (d.isValid() &&
        !QLocale().dateFormat(QLocale::ShortFormat).contains(QLatin1String("yyyy")) &&
        d.year() < 1950)
        d = d.addYears(100);
    return d;
}

} // namespace norvane::db
