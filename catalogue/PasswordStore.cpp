#include "catalogue/PasswordStore.h"

#include "catalogue/NVMySQLObject.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <qt6keychain/keychain.h>

#include <memory>

namespace norvane::catalogue {

namespace {

QString encoded(const std::string& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(text)));
}

bool sameEntry(const TNVHost& host, const QString& key, const std::string& password)
{
    return PasswordStore::keyFor(host) == key && host.FPWD == password && host.FStorePWD;
}

/// The entry `host` of the known hosts, if it is still there.
TNVHost* stillKnown(const TNVHost* host)
{
    for (int i = 0; KnownHosts && i < KnownHosts->Count(); ++i) {
        if (KnownHosts->Items(i) == host)
            return KnownHosts->Items(i);
    }
    return nullptr;
}

} // namespace

PasswordStore::PasswordStore(QObject* parent) : QObject(parent) {}

QString PasswordStore::service()
{
    return QStringLiteral("Norvane");
}

QString PasswordStore::keyFor(const TNVHost& host)
{
    // Host names do not depend on letter case; the known hosts are looked up the same way.
    const std::string name = QString::fromStdString(host.FHost).toLower().toStdString();
    return encoded(host.FUID) + QLatin1Char('@') + encoded(name) + QLatin1Char(':') +
           QString::number(host.FPort);
}

QString PasswordStore::placeText() const
{
    switch (m_state) {
    case KeyringState::Available:
        return QStringLiteral("kept in the desktop keyring");
    case KeyringState::Unavailable:
        return QStringLiteral("kept in hosts.lst: no keyring");
    case KeyringState::Unknown:
        break;
    }
    return QStringLiteral("asking the desktop keyring...");
}

void PasswordStore::probe()
{
    read(QStringLiteral("probe"), {});
}

void PasswordStore::read(const QString& key, const Done& done)
{
    start(Kind::Read, key, QString(), done);
}

void PasswordStore::write(const QString& key, const QString& password, const Done& done)
{
    start(Kind::Write, key, password, done);
}

void PasswordStore::remove(const QString& key, const Done& done)
{
    start(Kind::Remove, key, QString(), done);
}

void PasswordStore::setState(KeyringState state, const QString& reason)
{
    m_reason = reason;
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void PasswordStore::start(Kind kind, const QString& key, const QString& password, const Done& done)
{
    // A job that never answers (a stalled keyring) lives until the application ends: freeing
    // it earlier would leave the keyring's pending callback with a dangling job.
    QObject* owner = QCoreApplication::instance();
    QKeychain::Job* job = nullptr;
    switch (kind) {
    case Kind::Read:
        job = new QKeychain::ReadPasswordJob(service(), owner);
        break;
    case Kind::Write: {
        auto* writer = new QKeychain::WritePasswordJob(service(), owner);
        writer->setTextData(password);
        job = writer;
        break;
    }
    case Kind::Remove:
        job = new QKeychain::DeletePasswordJob(service(), owner);
        break;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);

    auto settled = std::make_shared<bool>(false);
    ++m_pending;
    connect(job, &QKeychain::Job::finished, this, [this, kind, settled, done](QKeychain::Job* j) {
        const QKeychain::Error error = j->error();
        const bool missing = error == QKeychain::EntryNotFound;
        // Any answer about an entry, found or not, shows a keyring at work.
        if (error == QKeychain::NoError || missing)
            setState(KeyringState::Available, QString());
        else
            setState(KeyringState::Unavailable, j->errorString());
        if (*settled)
            return;
        *settled = true;
        --m_pending;
        const bool ok = error == QKeychain::NoError || (missing && kind == Kind::Remove);
        const QString value = ok && kind == Kind::Read
                                  ? static_cast<QKeychain::ReadPasswordJob*>(j)->textData()
                                  : QString();
        if (done)
            done(ok, value, ok || missing ? QString() : j->errorString());
        emit answered();
    });
    QTimer::singleShot(m_timeoutMs, this, [this, settled, done] {
        if (*settled)
            return;
        *settled = true;
        --m_pending;
        const QString message = QStringLiteral("The desktop keyring did not answer within %1 s")
                                    .arg((m_timeoutMs + 999) / 1000);
        setState(KeyringState::Unavailable, message);
        if (done)
            done(false, QString(), message);
        emit answered();
    });
    job->start();
}

PasswordStore& passwordStore()
{
    static QPointer<PasswordStore> store;
    if (!store)
        store = new PasswordStore(QCoreApplication::instance());
    return *store;
}

// ---- HostPasswords ----

void HostPasswords::noteChanged(PasswordStore& store, TNVHost& entry, const QString& oldKey,
                                bool hadStored)
{
    const bool stores = entry.FStorePWD && !entry.FPWD.empty();
    if (hadStored && !oldKey.isEmpty() && (!stores || oldKey != PasswordStore::keyFor(entry)))
        store.remove(oldKey);
    entry.PasswordPlace = TNVHost::TPasswordPlace::File;
}

void HostPasswords::noteRemoved(PasswordStore& store, const TNVHost& host)
{
    if (host.FStorePWD)
        store.remove(PasswordStore::keyFor(host));
}

void HostPasswords::moveToKeyring(PasswordStore& store, const std::function<void()>& rewrite)
{
    for (int i = 0; KnownHosts && i < KnownHosts->Count(); ++i) {
        TNVHost* host = KnownHosts->Items(i);
        if (!host || !host->FStorePWD || host->FPWD.empty() ||
            host->PasswordPlace != TNVHost::TPasswordPlace::File)
            continue;
        // A keyring known to answer gets the password before the file could: the file is
        // written without it now and only takes it back if the keyring refuses.
        const bool trusted = store.state() == KeyringState::Available;
        if (trusted)
            host->PasswordPlace = TNVHost::TPasswordPlace::KeyringPending;
        const QString key = PasswordStore::keyFor(*host);
        const std::string password = host->FPWD;
        store.write(
            key, QString::fromStdString(password),
            [host, key, password, trusted, rewrite](bool ok, const QString&, const QString&) {
                TNVHost* entry = stillKnown(host);
                if (!entry || !sameEntry(*entry, key, password))
                    return;
                const auto before = entry->PasswordPlace;
                entry->PasswordPlace =
                    ok ? TNVHost::TPasswordPlace::Keyring : TNVHost::TPasswordPlace::File;
                // Saved with the password when the keyring was not trusted, saved
                // without it when it was: only a change of place needs a new save.
                if ((ok && !trusted) ||
                    (!ok && trusted && before == TNVHost::TPasswordPlace::KeyringPending))
                    rewrite();
            });
    }
}

void HostPasswords::keepUnconfirmedInFile()
{
    for (int i = 0; KnownHosts && i < KnownHosts->Count(); ++i) {
        TNVHost* host = KnownHosts->Items(i);
        if (host && host->PasswordPlace == TNVHost::TPasswordPlace::KeyringPending)
            host->PasswordPlace = TNVHost::TPasswordPlace::File;
    }
}

} // namespace norvane::catalogue
