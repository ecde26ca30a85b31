#pragma once
// tests/support/fake-server.py on a loopback port: a hostile stand-in for a server that
// records every byte a client sends it.

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace norvane::test {

class FakeServer
{
public:
    /// Starts the script with `options` (see its --help); `port()` is 0 when it did not start.
    explicit FakeServer(const QStringList& options = {})
    {
        m_process.setProgram(QStringLiteral("python3"));
        m_process.setArguments(QStringList{qEnvironmentVariable("NORVANE_SOURCE_DIR") +
                                               QStringLiteral("/tests/support/fake-server.py"),
                                           QStringLiteral("--record"), recordPath(),
                                           QStringLiteral("--lifetime"), QStringLiteral("120")} +
                               options);
        m_process.start();
        if (m_process.waitForReadyRead(30000))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~FakeServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    int port() const { return m_port; }
    /// Everything received so far, packet headers included.
    QByteArray received() const
    {
        QFile f(recordPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    /// The fixed challenge the script sends; with it a test can spot a password's
    /// mysql_native_password answer in what was received.
    static QByteArray scramble() { return QByteArrayLiteral("abcdefghijklmnopqrst"); }

private:
    QString recordPath() const { return m_dir.filePath(QStringLiteral("received")); }
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace norvane::test
