// The session shown: who and where the window is talking to, in the status bar and the About
// window, from the shared connection's state.
#include "MainFrm.h"

#include "AboutX.h"
#include "Guard.h"
#include "NVDataPub.h"

#include "dbaccess/Connection.h"

#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace norvane::app {

QString sessionText(const db::Connection& connection)
{
    if (!connection.isConnected())
        return QString();
    const db::ConnectionParams& p = connection.params();
    QString where;
    if (db::usesLocalSocket(p.host))
        where = (p.host.isEmpty() ? QStringLiteral("localhost") : p.host) +
                QStringLiteral(" (local socket)");
    else
        where = p.host + QLatin1Char(':') + QString::number(connection.serverPort());
    QStringList parts{p.user + QLatin1Char('@') + where};
    if (!connection.currentDatabase().isEmpty())
        parts << connection.currentDatabase();
    // Connector/C names the protocol "TLSv1.3". It goes before the version, which is long
    // and the first part a narrow window cuts off.
    QString tls = connection.tlsVersion();
    tls.replace(QLatin1String("TLSv"), QLatin1String("TLS "));
    parts << (tls.isEmpty() ? QStringLiteral("not encrypted") : tls);
    // "10.11.6-MariaDB-0+deb12u1" shows as "MariaDB 10.11.6".
    QString version = connection.serverVersion();
    const qsizetype dash = version.indexOf(QLatin1Char('-'));
    if (dash > 0 && version.contains(QLatin1String("MariaDB")))
        version = QStringLiteral("MariaDB ") + version.left(dash);
    parts << version;
    return parts.join(QLatin1String(", "));
}

void TMainForm::setupSessionPanel(QStatusBar* bar)
{
    lbSession = new QLabel;
    lbSession->setObjectName(QStringLiteral("lbSession"));
    lbSession->setFrameShape(QFrame::StyledPanel);
    lbSession->setFrameShadow(QFrame::Sunken);
    lbSession->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(lbSession, 1);
    db::Connection* connection = MainDataModule->SQLConnection;
    connect(connection, &db::Connection::connectedChanged, this, [this, connection](bool on) {
        // Receivers of this signal must not throw.
        runGuarded(this, [this, connection, on] {
            const QString text = on ? sessionText(*connection) : QString();
            lbSession->setText(text);
            lbSession->setToolTip(text);
        });
    });
    // A background read ends in panel 1 with its total; a read that failed says why at once.
    connect(connection, &db::Connection::fetchEnded, this,
            [this](quint64 rows, bool complete, const QString& error) {
                runGuarded(this, [this, rows, complete, error] {
                    const QString count = QLocale(QLocale::English).toString(rows);
                    if (complete)
                        setPanelText(1, QStringLiteral("Fetched %1 rows").arg(count));
                    else if (error.isEmpty())
                        setPanelText(1, QStringLiteral("Fetched %1 rows; stopped, the result is "
                                                       "incomplete")
                                            .arg(count));
                    else
                        setPanelText(1, QStringLiteral("Fetched %1 rows; the result is "
                                                       "incomplete: %2")
                                            .arg(count, error));
                    if (!error.isEmpty())
                        throw db::DbError(error);
                });
            });
}

QString TMainForm::sessionPanelText() const
{
    return lbSession ? lbSession->text() : QString();
}

} // namespace norvane::app
