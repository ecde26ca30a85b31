#include "Connection.h"

#include "ConnectHandle.h"
#include "SqlLiterals.h"

#include <mysql.h>

#include <iterator>

namespace norvane::db {

namespace {

// Session variables that change what the application's statements mean or return: how text
// travels (a SET NAMES latin1 would store UTF-8 bytes as Latin-1 text and return rows in
// Latin-1), how literals and CHAR values read (NO_BACKSLASH_ESCAPES, ANSI_QUOTES,
// PAD_CHAR_TO_FULL_LENGTH, strictness), which instant a TIMESTAMP shows, and how many rows a
// SELECT without LIMIT returns. The console's user may set any of them for their own work.
constexpr const char* kSessionSettings[] = {
    "character_set_client",
    "character_set_connection",
    "character_set_results",
    "collation_connection",
    "sql_mode",
    "time_zone",
    "sql_select_limit",
};
constexpr int kSelectLimitSetting = 6;

} // namespace

// The application's statements and the user's share one session. Rather than guessing what a
// console statement changed (session tracking would miss a user who turns the tracking off),
// the first application statement after it reads the settings in one round trip; when they
// differ from the logon settings, it sets those and remembers the user's, and the user's next
// statement gets them back. So the console keeps exactly what its user chose, grid work never
// sees it, and a session the console leaves alone costs nothing extra.

QByteArrayList Connection::readSettings()
{
    QByteArrayList columns;
    for (const char* name : kSessionSettings)
        columns.append(QByteArray("@@SESSION.") + name);
    // An explicit LIMIT: the user's select limit may be 0.
    ResultPtr res;
    if (!storeRoundTrip("SELECT " + columns.join(", ") + " LIMIT 1", res))
        raiseError();
    MYSQL_ROW row = res ? mysql_fetch_row(res.get()) : nullptr;
    if (!row || mysql_num_fields(res.get()) != std::size(kSessionSettings))
        throw DbError(QStringLiteral("The session's settings could not be read"));
    const unsigned long* lengths = mysql_fetch_lengths(res.get());
    QByteArrayList values;
    for (int i = 0; i < int(std::size(kSessionSettings)); ++i) {
        const QByteArray value(row[i], row[i] ? static_cast<qsizetype>(lengths[i]) : 0);
        if (!row[i])
            values.append(QByteArrayLiteral("NULL"));
        else if (i == kSelectLimitSetting)
            values.append(isPlainNumber(value) ? value : QByteArrayLiteral("DEFAULT"));
        else
            values.append(textLiteral(value));
    }
    return values;
}

void Connection::applySettings(const QByteArrayList& values)
{
    QByteArrayList assignments;
    for (int i = 0; i < values.size(); ++i)
        assignments.append(QByteArray(kSessionSettings[i]) + " = " + values[i]);
    const QByteArray sql = "SET SESSION " + assignments.join(", ");
    const bool ok = roundTrip([&sql](st_mysql* m) {
        return mysql_real_query(m, sql.constData(), static_cast<unsigned long>(sql.size())) == 0 &&
               drainFurther(m) == 0;
    });
    if (!ok)
        raiseError();
}

void Connection::useOwnSettings()
{
    if (!m_settingsUnknown)
        return;
    const QByteArrayList now = readSettings();
    if (now != m_ownSettings) {
        applySettings(m_ownSettings);
        m_userSettings = now;
    }
    m_settingsUnknown = false;
}

void Connection::useUserSettings()
{
    if (m_ownSettings.isEmpty())
        m_ownSettings = readSettings();
    if (!m_userSettings.isEmpty()) {
        applySettings(m_userSettings);
        m_userSettings.clear();
    }
    m_settingsUnknown = true;
}

} // namespace norvane::db
