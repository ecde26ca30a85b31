#pragma once
/// The logon dialog: host, user name, password and database, the known hosts on offer, the
/// server's databases on demand, and a connection made before the dialog closes with OK.

#include "persist/ReentryGuard.h"

#include <QDialog>

#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace norvane::catalogue {
class TNVDataBase;
class TNVHost;
} // namespace norvane::catalogue

namespace norvane::app {

/// The modal dialog "MySQL logon". Choosing a known host fills the fields from that
/// `KnownHosts` entry; the entry itself changes only through a successful logon to that same
/// host, and typing another host detaches from it and clears the password it filled in. OK
/// connects the dialog's database object first and keeps the dialog open, with the server's
/// message, when the connection is refused.
class TLoginForm : public QDialog
{
    Q_OBJECT
    friend bool ShowLoginForm(catalogue::TNVHost* host, catalogue::TNVDataBase* database);

public:
    explicit TLoginForm(QWidget* parent = nullptr);
    ~TLoginForm() override;

    /// Closing with OK runs the close query (connect); a refused connection keeps it open.
    void done(int result) override;

private:
    void createControls();
    void arrangeTabOrder();
    void LoadValues(catalogue::TNVHost* host, catalogue::TNVDataBase* database);
    void SaveValues(catalogue::TNVHost* host, catalogue::TNVDataBase* database);
    void FillDataBaseList();
    void AddToKnownHosts();
    /// After a successful logon: the chosen entry takes the dialog's values when the host is
    /// still the one it names.
    void UpdateChosenHost();
    /// "name:port" in the host text becomes the name and the port field.
    void splitHostPort();
    void showHost(const catalogue::TNVHost* host, bool withPassword);
    void updateTlsControls();
    void chooseCaFile();
    /// Shows where a stored password goes: the desktop keyring or hosts.lst.
    void showStorePlace();
    /// Fills the password of `host` (for the chosen entry: `entry`) from the keyring. Never
    /// waits: the answer comes later and is dropped when the user typed or chose meanwhile;
    /// a keyring that refuses or does not answer leaves the field to the user.
    void readStoredPassword(const catalogue::TNVHost& host, catalogue::TNVHost* entry);

    void acOkUpdate();
    /// `selected` is the chosen item of the host list, or -1 when the text was typed.
    void cbxHostChange(int selected);
    void cbxDatabaseDropDown();
    /// True when the dialog may close with OK: the shared connection is open.
    bool FormCloseQuery();
    void focusFirstEmptyField();

    QGroupBox* gbxLoginfo = nullptr;
    QLabel* lbHost = nullptr;
    QComboBox* cbxHost = nullptr;
    QLabel* Label1 = nullptr;
    QSpinBox* spedPort = nullptr;
    QLabel* lbUserName = nullptr;
    QLineEdit* edUserName = nullptr;
    QLabel* lbPassword = nullptr;
    QLineEdit* edPassword = nullptr;
    QLabel* lbDatabase = nullptr;
    QComboBox* cbxDatabase = nullptr;
    QCheckBox* cbxStore = nullptr;
    QLabel* lbStorePlace = nullptr;
    QLabel* lbDatabaseMessage = nullptr;
    QLabel* lbTLSMode = nullptr;
    QComboBox* cbxTLSMode = nullptr;
    QLineEdit* edTLSCAFile = nullptr;
    QPushButton* btnTLSCAFile = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QAction* acOk = nullptr;

    /// The host being edited: always `m_ownHost`, never a `KnownHosts` entry.
    catalogue::TNVHost* WorkHost = nullptr;
    std::unique_ptr<catalogue::TNVHost> m_ownHost;
    /// The `KnownHosts` entry chosen from the list, until another host is typed.
    catalogue::TNVHost* m_chosenHost = nullptr;
    /// The password field holds what the chosen entry filled in.
    bool m_passwordFromEntry = false;
    /// Counts keyring reads; an answer for an older one is dropped.
    int m_passwordRead = 0;
    /// The database list is being read (the connection works in the background meanwhile).
    ReentryGuard m_listing;
    std::unique_ptr<catalogue::TNVDataBase> WorkDataBase;
    ReentryGuard m_loading;
};

/// Runs the logon dialog over `host` and `database` (either may be null). True when the user
/// confirmed with OK and the shared connection is open on the chosen database; the two objects
/// then hold the dialog's values and a host not yet known heads `KnownHosts` (at most ten).
bool ShowLoginForm(catalogue::TNVHost* host, catalogue::TNVDataBase* database);

} // namespace norvane::app
