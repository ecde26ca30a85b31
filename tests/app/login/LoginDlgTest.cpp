// The logon dialog: OK enabling, known-host choice, the database list, connecting on OK, and
// the known-hosts list it maintains. Every run goes through ShowLoginForm with the dialog
// driven from the prompt seam, against the private server.
#include "app/LoginDlg.h"

#include "catalogue/NVMySQLObject.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "widgets/Prompts.h"

#include "FakeServer.h"
#include "LoginTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>

using namespace norvane;
using catalogue::KnownHosts;
using catalogue::TNVDataBase;
using catalogue::TNVHost;
using catalogue::TNVHosts;

using namespace norvane::test;

namespace {

/// A loopback port that takes connections and never says a word: a host that does not answer.
class SilentListener
{
public:
    SilentListener() : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (m_fd >= 0 && ::bind(m_fd, raw, length) == 0 && ::listen(m_fd, 4) == 0 &&
            ::getsockname(m_fd, raw, &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return m_port; }

private:
    int m_fd;
    int m_port = 0;
};

} // namespace

class LoginDlgTest : public QObject, protected LoginFixture
{
    Q_OBJECT

    QString serverHost() const { return env("NORVANE_TEST_HOST"); }
    QString user() const { return env("NORVANE_TEST_USER"); }
    QString password() const { return env("NORVANE_TEST_PASSWORD"); }
    QString testDatabase() const { return env("NORVANE_TEST_DATABASE"); }

private slots:
    void initTestCase()
    {
        QVERIFY2(!user().isEmpty(), "the private test server is not set up");
        m_previous = widgets::setPrompts(&m_prompts);
    }

    void cleanupTestCase() { widgets::setPrompts(m_previous); }

    void init() { createObjects(); }

    void cleanup() { destroyObjects(); }

    void layoutAndCaptions()
    {
        run([](Controls& c) {
            QCOMPARE(c.dialog.windowTitle(), QStringLiteral("MySQL logon"));
            QCOMPARE(c.dialog.size(), QSize(400, 224));
            QCOMPARE(c.ok->text(), QStringLiteral("&Ok"));
            QCOMPARE(c.cancel->text(), QStringLiteral("Cancel"));
            QVERIFY(c.ok->isDefault());
            QCOMPARE(c.store->text(), QStringLiteral("Store password"));
            QVERIFY(c.port->isVisible());
            QCOMPARE(c.port->specialValueText(), QStringLiteral("default"));
            QCOMPARE(c.port->minimum(), 0);
            QCOMPARE(c.password->echoMode(), QLineEdit::Password);
            QVERIFY(c.host->isEditable());
            QVERIFY(c.database->isEditable());
            QCOMPARE(c.ok->geometry(), QRect(236, 192, 75, 25));
        });
    }

    void okEnabling_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("pwd");
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("all filled") << "h"
                                    << "u"
                                    << "p"
                                    << "d" << true;
        QTest::newRow("empty password is fine") << "h"
                                                << "u"
                                                << ""
                                                << "d" << true;
        QTest::newRow("no host") << ""
                                 << "u"
                                 << "p"
                                 << "d" << false;
        QTest::newRow("no user") << "h"
                                 << ""
                                 << "p"
                                 << "d" << false;
        QTest::newRow("no database") << "h"
                                     << "u"
                                     << "p"
                                     << "" << false;
        QTest::newRow("nothing") << ""
                                 << ""
                                 << ""
                                 << "" << false;
    }

    void okEnabling()
    {
        QFETCH(QString, host);
        QFETCH(QString, userName);
        QFETCH(QString, pwd);
        QFETCH(QString, database);
        QFETCH(bool, enabled);
        const bool result = run([&](Controls& c) {
            c.fill(host, userName, pwd, database);
            QCOMPARE(c.acOk->isEnabled(), enabled);
            QCOMPARE(c.ok->isEnabled(), enabled);
            // A disabled OK must not close the dialog or connect, even on Enter.
            if (!enabled) {
                QTest::keyClick(&c.dialog, Qt::Key_Return);
                QVERIFY(c.dialog.isVisible());
            }
        });
        QVERIFY(!result);
        QVERIFY(!m_connection->isConnected());
        QVERIFY(m_prompts.errors.isEmpty());
    }

    void fieldsStartFromTheGivenObjects_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("expectedPassword");
        QTest::newRow("password stored") << true << "secret";
        QTest::newRow("password not stored") << false << "";
    }

    void fieldsStartFromTheGivenObjects()
    {
        QFETCH(bool, store);
        QFETCH(QString, expectedPassword);
        m_host.reset(knownHost(QStringLiteral("db.example"), QStringLiteral("ann"),
                               QStringLiteral("secret"), store, 1234));
        m_database->FDataBase = "shop";
        run([&](Controls& c) {
            QCOMPARE(c.host->currentText(), QStringLiteral("db.example"));
            QCOMPARE(c.host->count(), 0);
            QCOMPARE(c.port->value(), 1234);
            QCOMPARE(c.user->text(), QStringLiteral("ann"));
            QCOMPARE(c.password->text(), expectedPassword);
            QCOMPARE(c.store->isChecked(), store);
            QCOMPARE(c.database->currentText(), QStringLiteral("shop"));
        });
        QCOMPARE(m_host->FUID, std::string("ann"));
    }

    void portFieldStartsAt3306WithoutHostAndAtZeroForAFreshHost()
    {
        m_prompts.script = [](QDialog& d) { QCOMPARE(Controls(d).port->value(), 3306); };
        app::ShowLoginForm(nullptr, nullptr);
        run([](Controls& c) { QCOMPARE(c.port->value(), 0); });
        QCOMPARE(m_prompts.dialogsRun, 2);
    }

    void choosingAKnownHost_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("expectedPassword");
        QTest::newRow("store flag set: its password") << true << "known-pwd";
        QTest::newRow("store flag off: the typed password stays") << false << "typed";
    }

    void choosingAKnownHost()
    {
        QFETCH(bool, store);
        QFETCH(QString, expectedPassword);
        KnownHosts->AddObject("first.example",
                              knownHost(QStringLiteral("first.example"), QStringLiteral("u1"),
                                        QStringLiteral("pw1"), true, 1));
        KnownHosts->AddObject("second.example",
                              knownHost(QStringLiteral("second.example"), QStringLiteral("bob"),
                                        QStringLiteral("known-pwd"), store, 4406));
        run([&](Controls& c) {
            QCOMPARE(c.host->count(), 2);
            QCOMPARE(c.host->itemText(0), QStringLiteral("first.example"));
            QCOMPARE(c.host->currentText(), QString());
            c.password->setText(QStringLiteral("typed"));
            c.store->setChecked(!store);
            c.host->setCurrentIndex(1);
            QCOMPARE(c.host->currentText(), QStringLiteral("second.example"));
            QCOMPARE(c.user->text(), QStringLiteral("bob"));
            QCOMPARE(c.port->value(), 4406);
            QCOMPARE(c.store->isChecked(), store);
            QCOMPARE(c.password->text(), expectedPassword);
        });
    }

    void refusedPasswordKeepsTheDialogOpenWithTheServersMessage()
    {
        const bool result = run([&](Controls& c) {
            c.fill(serverHost(), user(), QStringLiteral("wrong password"), testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
            QVERIFY(c.dialog.isVisible());
            QCOMPARE(c.dialog.result(), int(QDialog::Rejected));
            QCOMPARE(m_prompts.errors.size(), 1);
            QVERIFY2(m_prompts.errors.first().contains(QStringLiteral("Access denied")),
                     qPrintable(m_prompts.errors.first()));
            QCOMPARE(c.password->text(), QStringLiteral("wrong password"));
            QCOMPARE(c.user->text(), user());
            QCOMPARE(c.host->currentText(), serverHost());
            QVERIFY(!m_connection->isConnected());

            // Another attempt with the right password closes it.
            c.password->setText(password());
            QTest::mouseClick(c.ok, Qt::LeftButton);
            QVERIFY(!c.dialog.isVisible());
        });
        QVERIFY(result);
        QCOMPARE(m_prompts.errors.size(), 1);
        QVERIFY(m_connection->isConnected());
    }

    void logOnHeadlessWithEnter()
    {
        const bool result = run([&](Controls& c) {
            c.typeHost(serverHost());
            c.user->setText(user());
            c.password->setText(password());
            c.database->setEditText(testDatabase());
            c.store->setChecked(true);
            QTest::keyClick(c.password, Qt::Key_Return);
        });
        QVERIFY(result);
        QVERIFY(m_prompts.errors.isEmpty());
        QVERIFY(m_connection->isConnected());
        QCOMPARE(m_connection->currentDatabase(), testDatabase());
        // The caller's objects hold the dialog's values.
        QCOMPARE(QString::fromStdString(m_host->FHost), serverHost());
        QCOMPARE(QString::fromStdString(m_host->FUID), user());
        QCOMPARE(QString::fromStdString(m_host->FPWD), password());
        QVERIFY(m_host->FStorePWD);
        QCOMPARE(QString::fromStdString(m_database->FDataBase), testDatabase());
        QCOMPARE(m_database->Host, m_host.get());
        // A new host heads the known hosts, stored with the port of a fresh host.
        QCOMPARE(KnownHosts->Count(), 1);
        QCOMPARE(QString::fromStdString(KnownHosts->Keys(0)), serverHost());
        TNVHost* added = KnownHosts->Items(0);
        QVERIFY(added && added != m_host.get());
        QCOMPARE(QString::fromStdString(added->FUID), user());
        QCOMPARE(added->FPort, 0);
    }

    void eleventhHostLeavesTen()
    {
        for (int i = 0; i < 10; ++i) {
            const QString name = QStringLiteral("host%1.example").arg(i);
            KnownHosts->AddObject(name.toStdString(),
                                  knownHost(name, QStringLiteral("u"), QString(), false));
        }
        const bool result = run([&](Controls& c) {
            QCOMPARE(c.host->count(), 10);
            c.fill(serverHost(), user(), password(), testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QCOMPARE(KnownHosts->Count(), 10);
        QCOMPARE(QString::fromStdString(KnownHosts->Keys(0)), serverHost());
        QCOMPARE(KnownHosts->Keys(1), std::string("host0.example"));
        QCOMPARE(KnownHosts->Keys(9), std::string("host8.example"));
        QCOMPARE(KnownHosts->IndexOf("host9.example"), -1);
    }

    void hostTypedInOtherLetterCaseAddsNoEntry()
    {
        // "localhost" reaches the server through its socket, so letter case can differ.
        KnownHosts->AddObject("LocalHost", knownHost(QStringLiteral("LocalHost"),
                                                     QStringLiteral("someone"), QString(), false));
        const bool result = run([&](Controls& c) {
            c.typeHost(QStringLiteral("localhost"));
            c.user->setText(user());
            c.password->setText(password());
            c.database->setEditText(testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QCOMPARE(KnownHosts->Count(), 1);
        QCOMPARE(KnownHosts->Keys(0), std::string("LocalHost"));
        QCOMPARE(KnownHosts->Items(0)->FUID, std::string("someone"));
        QCOMPARE(m_host->FHost, std::string("localhost"));
    }

    void cancelAfterListingDatabasesLeavesTheConnectionOpenWithoutDatabase()
    {
        m_host.reset(knownHost(QStringLiteral("before"), QStringLiteral("x"), QString(), false));
        m_database->FDataBase = "unchanged";
        const bool result = run([&](Controls& c) {
            c.fill(serverHost(), user(), password(), QString());
            c.database->showPopup();
            QVERIFY(c.database->findText(testDatabase()) >= 0);
            QVERIFY(c.database->findText(QStringLiteral("mysql")) >= 0);
            QCOMPARE(c.database->currentText(), QString());
            c.database->hidePopup();
            QTest::mouseClick(c.cancel, Qt::LeftButton);
            QVERIFY(!c.dialog.isVisible());
        });
        QVERIFY(!result);
        QVERIFY(m_prompts.errors.isEmpty());
        QVERIFY(m_connection->isConnected());
        QCOMPARE(m_connection->currentDatabase(), QString());
        QCOMPARE(m_host->FHost, std::string("before"));
        QCOMPARE(m_database->FDataBase, std::string("unchanged"));
        QCOMPARE(KnownHosts->Count(), 0);
    }

    void failedDatabaseListShowsTheServersMessageAndKeepsTheTypedName()
    {
        run([&](Controls& c) {
            auto* message = c.dialog.findChild<QLabel*>(QStringLiteral("lbDatabaseMessage"));
            QVERIFY(message);
            c.fill(serverHost(), user(), QStringLiteral("wrong"), QStringLiteral("typed_db"));
            c.database->showPopup();
            c.database->hidePopup();
            QCOMPARE(c.database->count(), 0);
            QCOMPARE(c.database->currentText(), QStringLiteral("typed_db"));
            QVERIFY(m_prompts.errors.isEmpty());
            QVERIFY2(message->text().contains(QStringLiteral("Access denied")),
                     qPrintable(message->text()));
            QVERIFY(message->isVisible());
            QVERIFY(!m_connection->isConnected());

            // A later listing with the right password keeps the typed name too.
            c.password->setText(password());
            c.database->showPopup();
            c.database->hidePopup();
            QVERIFY(c.database->count() > 0);
            QCOMPARE(c.database->currentText(), QStringLiteral("typed_db"));
            QCOMPARE(message->text(), QString());
        });
    }

    void knownHostChosenThenFailedOkThenCancelLeavesTheEntryUntouched()
    {
        KnownHosts->AddObject(serverHost().toStdString(),
                              knownHost(serverHost(), user(), password(), true));
        const bool result = run([&](Controls& c) {
            c.host->setCurrentIndex(0);
            QCOMPARE(c.password->text(), password());
            c.user->setText(QStringLiteral("nobody_such"));
            c.password->setText(QStringLiteral("nothing"));
            c.database->setEditText(testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
            QCOMPARE(m_prompts.errors.size(), 1);
            QTest::mouseClick(c.cancel, Qt::LeftButton);
        });
        QVERIFY(!result);
        QCOMPARE(KnownHosts->Count(), 1);
        QCOMPARE(QString::fromStdString(KnownHosts->Items(0)->FUID), user());
        QCOMPARE(QString::fromStdString(KnownHosts->Items(0)->FPWD), password());
        QCOMPARE(m_host->FUID, std::string());
    }

    void knownHostChosenThenLoggedOnTakesTheNewValues()
    {
        KnownHosts->AddObject(
            serverHost().toStdString(),
            knownHost(serverHost(), QStringLiteral("old_user"), QStringLiteral("old"), true));
        const bool result = run([&](Controls& c) {
            c.host->setCurrentIndex(0);
            c.user->setText(user());
            c.password->setText(password());
            c.database->setEditText(testDatabase());
            c.tls->setCurrentIndex(1); // Required
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QCOMPARE(KnownHosts->Count(), 1);
        TNVHost* entry = KnownHosts->Items(0);
        QCOMPARE(QString::fromStdString(entry->FHost), serverHost());
        QCOMPARE(QString::fromStdString(entry->FUID), user());
        QCOMPARE(QString::fromStdString(entry->FPWD), password());
        QCOMPARE(int(entry->FTLSMode), 1);
        QVERIFY(m_connection->tlsVersion().startsWith(QStringLiteral("TLSv1.")));
    }

    void typingAnotherHostDetachesAndSendsTheStoredPasswordNowhere()
    {
        // The known entry reaches the real server through the socket; the typed host is a
        // hostile server that would learn the stored password, or its answer to a challenge.
        test::FakeServer fake({QStringLiteral("--plugin"), QStringLiteral("native")});
        QVERIFY(fake.port() > 0);
        const QString stored = password();
        KnownHosts->AddObject("localhost",
                              knownHost(QStringLiteral("localhost"), user(), stored, true));
        const bool result = run([&](Controls& c) {
            c.host->setCurrentIndex(0);
            QCOMPARE(c.password->text(), stored);
            c.typeHost(QStringLiteral("127.0.0.1:%1").arg(fake.port()));
            QCOMPARE(c.password->text(), QString());
            c.database->showPopup();
            c.database->hidePopup();
            QCOMPARE(c.host->currentText(), QStringLiteral("127.0.0.1"));
            QCOMPARE(c.port->value(), fake.port());
            QTest::mouseClick(c.cancel, Qt::LeftButton);
        });
        QVERIFY(!result);
        const QByteArray received = fake.received();
        QVERIFY2(received.contains(user().toUtf8()), "the listing never reached the fake server");
        const QByteArray hash1 =
            QCryptographicHash::hash(stored.toUtf8(), QCryptographicHash::Sha1);
        const QByteArray hash2 = QCryptographicHash::hash(hash1, QCryptographicHash::Sha1);
        QByteArray answer = QCryptographicHash::hash(test::FakeServer::scramble() + hash2,
                                                     QCryptographicHash::Sha1);
        for (int i = 0; i < answer.size(); ++i)
            answer[i] = static_cast<char>(answer[i] ^ hash1[i]);
        QVERIFY(!received.contains(stored.toUtf8()));
        QVERIFY(!received.contains(answer));
        QCOMPARE(KnownHosts->Count(), 1);
        QCOMPARE(KnownHosts->Items(0)->FHost, std::string("localhost"));
        QCOMPARE(KnownHosts->Items(0)->FPort, 0);
        QCOMPARE(QString::fromStdString(KnownHosts->Items(0)->FPWD), stored);
        QCOMPARE(m_host->FHost, std::string());
    }

    void knownHostChosenThenAnotherTypedAddsItAndKeepsTheEntry()
    {
        KnownHosts->AddObject(serverHost().toStdString(),
                              knownHost(serverHost(), user(), password(), true));
        const bool result = run([&](Controls& c) {
            c.host->setCurrentIndex(0);
            c.typeHost(QStringLiteral("localhost"));
            // Detached: the user name stays, the stored password had to be typed again.
            QCOMPARE(c.user->text(), user());
            QCOMPARE(c.password->text(), QString());
            c.password->setText(password());
            c.database->setEditText(testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QCOMPARE(KnownHosts->Count(), 2);
        QCOMPARE(KnownHosts->Keys(0), std::string("localhost"));
        QCOMPARE(KnownHosts->Items(0)->FHost, std::string("localhost"));
        QCOMPARE(QString::fromStdString(KnownHosts->Keys(1)), serverHost());
        QCOMPARE(QString::fromStdString(KnownHosts->Items(1)->FHost), serverHost());
    }

    /// Also run by ctest with MYSQL_TCP_PORT unset (app_login_port_test): then only the port
    /// typed into the host text can reach the private server.
    void databaseListOfASilentHostNeitherFreezesNorOutlivesCancel()
    {
        SilentListener silent;
        QVERIFY(silent.port() > 0);
        m_connection->setBackgroundWork(true);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(20);
        QElapsedTimer clock;
        bool okWhileListing = true;
        QString messageWhileListing;
        const bool result = run([&](Controls& c) {
            c.fill(QStringLiteral("127.0.0.1"), user(), password(), QStringLiteral("some_db"));
            c.port->setValue(silent.port());
            QVERIFY(c.acOk->isEnabled());
            auto* message = c.dialog.findChild<QLabel*>(QStringLiteral("lbDatabaseMessage"));
            QTimer::singleShot(300, &c.dialog, [&] {
                okWhileListing = c.acOk->isEnabled();
                messageWhileListing = message->text();
                QTest::mouseClick(c.cancel, Qt::LeftButton);
            });
            clock.start();
            c.database->showPopup();
        });
        const qint64 elapsed = clock.elapsed();
        QVERIFY(!result);
        QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("timer fired %1 times").arg(ticks)));
        QVERIFY(!okWhileListing);
        QCOMPARE(messageWhileListing, QStringLiteral("Reading the database list..."));
        // Cancel gave the attempt up at once rather than after the connect time-out (10 s).
        QVERIFY2(elapsed < 3000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
        QVERIFY(!m_connection->isBusy());
    }

    void portTypedWithTheHostReachesTheServer()
    {
        const QString port = env("NORVANE_TEST_PORT");
        QVERIFY(!port.isEmpty());
        const bool result = run([&](Controls& c) {
            c.fill(serverHost() + QLatin1Char(':') + port, user(), password(), testDatabase());
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY2(result, qPrintable(m_prompts.errors.join(QLatin1Char('\n'))));
        QCOMPARE(QString::fromStdString(m_host->FHost), serverHost());
        QCOMPARE(m_host->FPort, port.toInt());
        QCOMPARE(m_connection->serverPort(), port.toInt());
        QCOMPARE(KnownHosts->Items(0)->FPort, port.toInt());
    }

    void tlsModeAndCaFileGoToTheHost()
    {
        const QString ca = env("NORVANE_TEST_TLS_DIR") + QStringLiteral("/ca.pem");
        m_prompts.fileAnswer = ca;
        const bool result = run([&](Controls& c) {
            auto* browse = c.dialog.findChild<QPushButton*>(QStringLiteral("btnTLSCAFile"));
            auto* caFile = c.dialog.findChild<QLineEdit*>(QStringLiteral("edTLSCAFile"));
            QVERIFY(browse && caFile);
            QVERIFY(!caFile->isEnabled());
            c.fill(serverHost(), user(), password(), testDatabase());
            c.tls->setCurrentIndex(3); // Verify identity
            QVERIFY(caFile->isEnabled());
            QTest::mouseClick(browse, Qt::LeftButton);
            QCOMPARE(caFile->text(), ca);
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY2(result, qPrintable(m_prompts.errors.join(QLatin1Char('\n'))));
        QCOMPARE(int(m_host->FTLSMode), 3);
        QCOMPARE(QString::fromStdString(m_host->FTLSCAFile), ca);
        QVERIFY(m_connection->tlsVersion().startsWith(QStringLiteral("TLSv1.")));
    }
};

QTEST_MAIN(LoginDlgTest)
#include "LoginDlgTest.moc"
