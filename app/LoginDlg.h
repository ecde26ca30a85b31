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

/// The modal dialog "MySQL logon". Choosing a known host makes that very `KnownHosts` entry
/// the host the dialog edits; OK connects the dialog's database object first and keeps the
/// dialog open, with the server's message, when the connection is refused.
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
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QAction* acOk = nullptr;

    /// The host being edited: `m_ownHost`, or the `KnownHosts` entry chosen from the list.
    catalogue::TNVHost* WorkHost = nullptr;
    std::unique_ptr<catalogue::TNVHost> m_ownHost;
    std::unique_ptr<catalogue::TNVDataBase> WorkDataBase;
    ReentryGuard m_loading;
};

/// Runs the logon dialog over `host` and `database` (either may be null). True when the user
/// confirmed with OK and the shared connection is open on the chosen database; the two objects
/// then hold the dialog's values and a host not yet known heads `KnownHosts` (at most ten).
bool ShowLoginForm(catalogue::TNVHost* host, catalogue::TNVDataBase* database);

} // namespace norvane::app
