// The logon dialog with a real desktop keyring (tests/support/with-keyring.sh): stored passwords
// come from it and leave it again, and a keyring that is missing or stalled never holds the
// dialog up. Each ctest entry runs the functions that fit its keyring mode.
#include "app/LoginDlg.h"
#include "app/MainFrm.h"

#include "catalogue/NVMySQLObject.h"
#include "catalogue/PasswordStore.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"

#include "LoginTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <memory>

using namespace norvane;
using namespace norvane::test;
using catalogue::KnownHosts;
using catalogue::PasswordStore;
using catalogue::TNVDataBase;
using catalogue::TNVHosts;

namespace {

QString secretTool(const QStringList& args, const QByteArray& input = {})
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), args);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000))
        return QStringLiteral("<secret-tool hung>");
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QStringList entry(const QString& key)
{
    return {QStringLiteral("server"), PasswordStore::service(),   QStringLiteral("user"), key,
            QStringLiteral("type"),   QStringLiteral("plaintext")};
}

QString lookup(const QString& key)
{
    return secretTool(QStringList{QStringLiteral("lookup")} + entry(key).mid(0, 4));
}

void store(const QString& key, const QString& password)
{
    secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=test")} + entry(key),
               password.toUtf8());
}

} // namespace

class LoginKeyringTest : public QObject, protected LoginFixture
{
    Q_OBJECT

    /// A known host whose password only the keyring holds, as a file without FPWD gives it.
    TNVHost* keyringHost(const QString& name) const
    {
        TNVHost* known = knownHost(name, env("NORVANE_TEST_USER"), QString(), true);
        store(PasswordStore::keyFor(*known), env("NORVANE_TEST_PASSWORD"));
        return known;
    }
    static QLabel* hint(Controls& c)
    {
        return c.dialog.findChild<QLabel*>(QStringLiteral("lbStorePlace"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!env("NORVANE_TEST_USER").isEmpty(), "the private test server is not set up");
        QVERIFY2(!env("NORVANE_TEST_KEYRING").isEmpty(), "run through with-keyring.sh");
        m_previous = widgets::setPrompts(&m_prompts);
    }

    void cleanupTestCase() { widgets::setPrompts(m_previous); }

    void init() { createObjects(); }

    void cleanup() { destroyObjects(); }

    void passwordComesFromTheKeyringAndUntickingDeletesIt()
    {
        const QString host = env("NORVANE_TEST_HOST");
        KnownHosts->AddObject(host.toStdString(), keyringHost(host));
        const QString key = PasswordStore::keyFor(*KnownHosts->Items(0));
        QCOMPARE(lookup(key), env("NORVANE_TEST_PASSWORD"));
        for (const bool keep : {true, false}) {
            const bool result = run([&](Controls& c) {
                QTRY_COMPARE(hint(c)->text(), QStringLiteral("kept in the desktop keyring"));
                c.host->setCurrentIndex(0);
                QTRY_COMPARE(c.password->text(), env("NORVANE_TEST_PASSWORD"));
                c.database->setEditText(env("NORVANE_TEST_DATABASE"));
                QVERIFY(c.store->isChecked());
                c.store->setChecked(keep);
                QTest::mouseClick(c.ok, Qt::LeftButton);
            });
            QVERIFY(result);
            QVERIFY(m_prompts.errors.isEmpty());
            QVERIFY(m_connection->isConnected());
            if (keep) {
                QCOMPARE(lookup(key), env("NORVANE_TEST_PASSWORD"));
                // The next dialog must read the keyring again, not a copy in the entry.
                KnownHosts->Items(0)->FPWD.clear();
            }
        }
        QTRY_COMPARE(lookup(key), QString());
        QVERIFY(!KnownHosts->Items(0)->FStorePWD);
    }

    void droppedEleventhHostTakesItsKeyringEntryAlong()
    {
        for (int i = 0; i < 10; ++i) {
            const QString name = QStringLiteral("host%1.example").arg(i);
            KnownHosts->AddObject(name.toStdString(), keyringHost(name));
        }
        const QString dropped = PasswordStore::keyFor(*KnownHosts->Items(9));
        const QString kept = PasswordStore::keyFor(*KnownHosts->Items(8));
        QVERIFY(!lookup(dropped).isEmpty());
        const bool result = run([&](Controls& c) {
            c.fill(env("NORVANE_TEST_HOST"), env("NORVANE_TEST_USER"), env("NORVANE_TEST_PASSWORD"),
                   env("NORVANE_TEST_DATABASE"));
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QCOMPARE(KnownHosts->Count(), 10);
        QTRY_COMPARE(lookup(dropped), QString());
        QVERIFY(!lookup(kept).isEmpty());
    }

    void saveAfterLogonKeepsTheFlagInTheFileAndThePasswordInTheKeyring()
    {
        catalogue::passwordStore().probe();
        QTRY_COMPARE(catalogue::passwordStore().state(), catalogue::KeyringState::Available);
        QFile::remove(app::knownHostsPath());
        {
            app::TMainForm form;
            KnownHosts->AddObject("db.example",
                                  knownHost(QStringLiteral("db.example"), QStringLiteral("zoe"),
                                            QStringLiteral("zeta-secret"), true));
            const QString key = PasswordStore::keyFor(*KnownHosts->Items(0));
            form.saveKnownHostsAfterLogon();
            QTRY_COMPARE(lookup(key), QStringLiteral("zeta-secret"));
            // The keyring holds it before its answer reaches the window; until then the file
            // rightly keeps the password.
            QTRY_VERIFY(KnownHosts->Items(0)->PasswordPlace ==
                        catalogue::TNVHost::TPasswordPlace::Keyring);
            form.show();
            form.findChild<QAction*>(QStringLiteral("acExit"))->trigger();
        }
        QFile file(app::knownHostsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains("\x09"
                               "FStorePWD\x09"));
        QVERIFY(!bytes.contains("\x04"
                                "FPWD"));
        QVERIFY(!bytes.contains("zeta-secret"));
        file.remove();
    }

    void stalledKeyringLeavesTheDialogResponsiveAndAsksForThePassword()
    {
        catalogue::passwordStore().setTimeout(1000);
        const QString host = env("NORVANE_TEST_HOST");
        KnownHosts->AddObject(host.toStdString(),
                              knownHost(host, env("NORVANE_TEST_USER"), QString(), true));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(20);
        QElapsedTimer clock;
        clock.start();
        const bool result = run([&](Controls& c) {
            c.host->setCurrentIndex(0);
            QCOMPARE(c.password->placeholderText(), QStringLiteral("reading the keyring..."));
            QTRY_VERIFY_WITH_TIMEOUT(
                c.password->placeholderText().contains(QStringLiteral("did not answer")), 5000);
            QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
            QVERIFY2(ticks >= 20, qPrintable(QStringLiteral("timer fired %1 times").arg(ticks)));
            QCOMPARE(c.password->text(), QString());
            QCOMPARE(hint(c)->text(), QStringLiteral("kept in hosts.lst: no keyring"));
            // The user types the password and logs on.
            QTest::keyClicks(c.password, env("NORVANE_TEST_PASSWORD"));
            c.database->setEditText(env("NORVANE_TEST_DATABASE"));
            QTest::mouseClick(c.ok, Qt::LeftButton);
        });
        QVERIFY(result);
        QVERIFY(m_prompts.errors.isEmpty());
        QVERIFY(m_connection->isConnected());
    }

    void withoutKeyringTheHintNamesTheFile()
    {
        run([&](Controls& c) {
            QTRY_COMPARE(hint(c)->text(), QStringLiteral("kept in hosts.lst: no keyring"));
            QVERIFY(hint(c)->toolTip().contains(QStringLiteral("hosts.lst")));
        });
    }
};

QTEST_MAIN(LoginKeyringTest)
#include "LoginKeyringTest.moc"
