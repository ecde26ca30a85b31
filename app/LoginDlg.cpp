#include "LoginDlg.h"

#include "Guard.h"
#include "MainFrm.h"

#include "catalogue/NVMySQLObject.h"
#include "catalogue/PasswordStore.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SqlSource.h"
#include "widgets/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

#include <climits>
#include <functional>

namespace norvane::app {

using catalogue::HostPasswords;
using catalogue::KnownHosts;
using catalogue::PasswordStore;
using catalogue::passwordStore;
using catalogue::TNVDataBase;
using catalogue::TNVHost;

namespace {

constexpr int kMaxKnownHosts = 10;
/// Labels end here, just left of the fields.
constexpr int kLabelRight = 93;

/// An editable combo box that reports each opening of its list before the list shows.
class DropDownComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

    std::function<void()> onDropDown;

    void showPopup() override
    {
        if (onDropDown)
            onDropDown();
        // The dialog may have closed while the list was read.
        if (isVisible())
            QComboBox::showPopup();
    }
};

QComboBox* makeCombo(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* combo = new DropDownComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(true);
    // Enter belongs to the OK button, not to adding the typed text as a list item.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setGeometry(left, top, width, combo->sizeHint().height());
    return combo;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setGeometry(left, top, width, edit->sizeHint().height());
    return edit;
}

/// A label at its place, moved left when the font needs more room than the layout gave it,
/// and centred on the height of the field it names so that the texts line up in any font.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  const QWidget* field = nullptr)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    const QSize hint = label->sizeHint();
    const int x = qMax(2, qMin(left, kLabelRight - hint.width()));
    const int y = field ? field->y() + (field->height() - hint.height()) / 2 : top;
    label->setGeometry(x, y, hint.width(), hint.height());
    return label;
}

std::string text(const QString& s)
{
    return s.toStdString();
}

bool sameHost(const std::string& a, const QString& b)
{
    return QString::fromStdString(a).compare(b, Qt::CaseInsensitive) == 0;
}

/// The visible main window, over which the dialog is centred.
QWidget* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return w;
    }
    return nullptr;
}

} // namespace

TLoginForm::TLoginForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginForm"));
    setWindowTitle(QStringLiteral("MySQL logon"));
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    createControls();
    arrangeTabOrder();
    setFixedSize(400, 224);
}

TLoginForm::~TLoginForm() = default;

void TLoginForm::createControls()
{
    gbxLoginfo = new QGroupBox(this);
    gbxLoginfo->setObjectName(QStringLiteral("gbxLoginfo"));
    gbxLoginfo->setGeometry(3, -2, 393, 186);

    cbxHost = makeCombo(gbxLoginfo, "cbxHost", 97, 21, 145);
    lbHost = makeLabel(gbxLoginfo, "lbHost", QStringLiteral("&Host"), 68, 28, cbxHost);
    lbHost->setBuddy(cbxHost);

    // Port 0 leaves the client library's default, shown as such.
    spedPort = new QSpinBox(gbxLoginfo);
    spedPort->setObjectName(QStringLiteral("spedPort"));
    spedPort->setRange(0, 65535);
    spedPort->setSpecialValueText(QStringLiteral("default"));
    spedPort->setValue(3306);
    spedPort->setGeometry(290, 21, 90, cbxHost->height());
    Label1 = new QLabel(QStringLiteral("P&ort"), gbxLoginfo);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(288 - Label1->sizeHint().width() - 4,
                        21 + (cbxHost->height() - Label1->sizeHint().height()) / 2,
                        Label1->sizeHint().width(), Label1->sizeHint().height());
    Label1->setBuddy(spedPort);

    edUserName = makeEdit(gbxLoginfo, "edUserName", 97, 48, 140);
    lbUserName =
        makeLabel(gbxLoginfo, "lbUserName", QStringLiteral("&User name"), 40, 52, edUserName);
    lbUserName->setBuddy(edUserName);

    edPassword = makeEdit(gbxLoginfo, "edPassword", 97, 75, 140);
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    lbPassword =
        makeLabel(gbxLoginfo, "lbPassword", QStringLiteral("&Password"), 44, 76, edPassword);
    lbPassword->setBuddy(edPassword);

    cbxDatabase = makeCombo(gbxLoginfo, "cbxDatabase", 97, 102, 145);
    lbDatabase =
        makeLabel(gbxLoginfo, "lbDatabase", QStringLiteral("Database Name"), 14, 106, cbxDatabase);

    cbxStore = new QCheckBox(QStringLiteral("Store password"), gbxLoginfo);
    cbxStore->setObjectName(QStringLiteral("cbxStore"));
    cbxStore->setGeometry(97, 132, qMax(97, cbxStore->sizeHint().width()),
                          cbxStore->sizeHint().height());
    lbStorePlace = new QLabel(gbxLoginfo);
    lbStorePlace->setObjectName(QStringLiteral("lbStorePlace"));
    lbStorePlace->setStyleSheet(QStringLiteral("QLabel { color: #505050; }"));
    lbStorePlace->setGeometry(cbxStore->geometry().right() + 6, 132,
                              388 - cbxStore->geometry().right() - 6, cbxStore->height());

    lbDatabaseMessage = new QLabel(gbxLoginfo);
    lbDatabaseMessage->setObjectName(QStringLiteral("lbDatabaseMessage"));
    lbDatabaseMessage->setWordWrap(true);
    lbDatabaseMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbDatabaseMessage->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
    // Two lines; the whole message is in the tool tip. The row below says where passwords go.
    lbDatabaseMessage->setGeometry(248, 100, 140, 30);

    cbxTLSMode = new QComboBox(gbxLoginfo);
    cbxTLSMode->setObjectName(QStringLiteral("cbxTLSMode"));
    cbxTLSMode->addItems({QStringLiteral("Preferred"), QStringLiteral("Required"),
                          QStringLiteral("Verify CA"), QStringLiteral("Verify identity"),
                          QStringLiteral("Off")});
    cbxTLSMode->setGeometry(97, 155, 110, cbxTLSMode->sizeHint().height());
    lbTLSMode = makeLabel(gbxLoginfo, "lbTLSMode", QStringLiteral("&TLS"), 70, 159, cbxTLSMode);
    lbTLSMode->setBuddy(cbxTLSMode);
    edTLSCAFile = makeEdit(gbxLoginfo, "edTLSCAFile", 212, 155, 140);
    edTLSCAFile->setPlaceholderText(QStringLiteral("CA file"));
    edTLSCAFile->setFixedHeight(cbxTLSMode->height());
    btnTLSCAFile = new QPushButton(QStringLiteral("..."), gbxLoginfo);
    btnTLSCAFile->setObjectName(QStringLiteral("btnTLSCAFile"));
    btnTLSCAFile->setAutoDefault(false);
    btnTLSCAFile->setGeometry(356, 155, 26, cbxTLSMode->height());

    acOk = new QAction(QStringLiteral("&Ok"), this);
    acOk->setObjectName(QStringLiteral("acOk"));
    addAction(acOk);

    BitBtn1 = new QPushButton(QStringLiteral("&Ok"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(236, 192, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(316, 192, 75, 25);
    BitBtn2->setAutoDefault(false);

    connect(acOk, &QAction::changed, this, [this] { BitBtn1->setEnabled(acOk->isEnabled()); });
    connect(acOk, &QAction::triggered, this, [this] { accept(); });
    connect(BitBtn1, &QPushButton::clicked, acOk, &QAction::trigger);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    for (QComboBox* combo : {cbxHost, cbxDatabase})
        connect(combo, &QComboBox::editTextChanged, this, [this] { acOkUpdate(); });
    connect(edUserName, &QLineEdit::textChanged, this, [this] { acOkUpdate(); });

    // Typing in the host text, and choosing a host from the list (by mouse, keys or code).
    connect(cbxHost->lineEdit(), &QLineEdit::textEdited, this,
            [this] { runGuarded(this, [this] { cbxHostChange(-1); }); });
    connect(cbxHost, &QComboBox::activated, this,
            [this](int index) { runGuarded(this, [this, index] { cbxHostChange(index); }); });
    connect(cbxHost, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_loading.active() && index >= 0)
            runGuarded(this, [this, index] { cbxHostChange(index); });
    });
    connect(edPassword, &QLineEdit::textEdited, this, [this] {
        m_passwordFromEntry = false;
        // What the user types wins over a keyring answer still on its way.
        ++m_passwordRead;
        edPassword->setPlaceholderText(QString());
    });
    connect(&passwordStore(), &PasswordStore::stateChanged, this, [this] { showStorePlace(); });
    connect(cbxStore, &QCheckBox::toggled, this, [this] { showStorePlace(); });
    connect(cbxTLSMode, &QComboBox::currentIndexChanged, this, [this] { updateTlsControls(); });
    connect(btnTLSCAFile, &QPushButton::clicked, this,
            [this] { runGuarded(this, [this] { chooseCaFile(); }); });
    static_cast<DropDownComboBox*>(cbxDatabase)->onDropDown = [this] {
        runGuarded(this, [this] { cbxDatabaseDropDown(); });
    };
    acOkUpdate();
    updateTlsControls();
    showStorePlace();
}

void TLoginForm::arrangeTabOrder()
{
    // Fields first, then the buttons.
    QWidget::setTabOrder(cbxHost, spedPort);
    QWidget::setTabOrder(spedPort, edUserName);
    QWidget::setTabOrder(edUserName, edPassword);
    QWidget::setTabOrder(edPassword, cbxDatabase);
    QWidget::setTabOrder(cbxDatabase, cbxStore);
    QWidget::setTabOrder(cbxStore, cbxTLSMode);
    QWidget::setTabOrder(cbxTLSMode, edTLSCAFile);
    QWidget::setTabOrder(edTLSCAFile, btnTLSCAFile);
    QWidget::setTabOrder(btnTLSCAFile, BitBtn1);
    QWidget::setTabOrder(BitBtn1, BitBtn2);
}

void TLoginForm::LoadValues(TNVHost* host, TNVDataBase* database)
{
    m_loading.begin();
    cbxHost->clear();
    if (KnownHosts) {
        for (int i = 0; i < KnownHosts->Count(); ++i) {
            if (TNVHost* known = KnownHosts->Items(i))
                cbxHost->addItem(QString::fromStdString(known->FHost),
                                 QString::fromStdString(KnownHosts->Keys(i)));
        }
    }
    cbxHost->setCurrentIndex(-1);

    m_ownHost = std::make_unique<TNVHost>();
    WorkHost = m_ownHost.get();
    WorkDataBase = std::make_unique<TNVDataBase>();
    if (host) {
        WorkHost->Assign(host);
        cbxHost->setEditText(QString::fromStdString(host->FHost));
        showHost(host, host->FStorePWD);
        if (host->PasswordInKeyring())
            readStoredPassword(*host, nullptr);
    }
    // Where a password would be kept, asked afresh: the keyring may have come or gone.
    passwordStore().probe();
    if (database) {
        WorkDataBase->Assign(database);
        cbxDatabase->setEditText(QString::fromStdString(database->FDataBase));
    }
    m_loading.end();
    acOkUpdate();
    focusFirstEmptyField();
}

void TLoginForm::showHost(const TNVHost* host, bool withPassword)
{
    spedPort->setValue(host->FPort);
    edUserName->setText(QString::fromStdString(host->FUID));
    cbxStore->setChecked(host->FStorePWD);
    if (withPassword)
        edPassword->setText(QString::fromStdString(host->FPWD));
    cbxTLSMode->setCurrentIndex(host->FTLSMode < cbxTLSMode->count() ? host->FTLSMode : 1);
    edTLSCAFile->setText(QString::fromStdString(host->FTLSCAFile));
}

void TLoginForm::splitHostPort()
{
    // "db.example:3307" and "[::1]:3307"; a bare IPv6 address and a socket path stay whole.
    static const QRegularExpression named(QStringLiteral("^([^:/\\[\\]]+):(\\d{1,5})$"));
    static const QRegularExpression bracketed(QStringLiteral("^\\[([^\\]]+)\\]:(\\d{1,5})$"));
    const QString typed = cbxHost->currentText().trimmed();
    QRegularExpressionMatch match = named.match(typed);
    if (!match.hasMatch())
        match = bracketed.match(typed);
    const int port = match.hasMatch() ? match.captured(2).toInt() : -1;
    if (port < 1 || port > 65535)
        return;
    cbxHost->setEditText(match.captured(1));
    spedPort->setValue(port);
}

void TLoginForm::updateTlsControls()
{
    const bool verifies = cbxTLSMode->currentIndex() == 2 || cbxTLSMode->currentIndex() == 3;
    edTLSCAFile->setEnabled(verifies);
    btnTLSCAFile->setEnabled(verifies);
}

void TLoginForm::chooseCaFile()
{
    widgets::FilePromptOptions options;
    options.title = QStringLiteral("CA certificate");
    options.nameFilters = {QStringLiteral("Certificates (*.pem *.crt)"),
                           QStringLiteral("All files (*)")};
    options.initialPath = edTLSCAFile->text();
    const QString chosen = widgets::prompts().openFileName(this, options);
    if (!chosen.isEmpty())
        edTLSCAFile->setText(chosen);
}

void TLoginForm::showStorePlace()
{
    const PasswordStore& store = passwordStore();
    lbStorePlace->setText(store.placeText());
    lbStorePlace->setEnabled(cbxStore->isChecked());
    QString tip = store.state() == catalogue::KeyringState::Unavailable
                      ? QStringLiteral("No desktop keyring answered (%1): a stored password is "
                                       "kept in hosts.lst, readable by your user only.")
                            .arg(store.reason())
                      : QStringLiteral("A stored password is kept in the desktop keyring, "
                                       "not in hosts.lst.");
    lbStorePlace->setToolTip(tip);
}

void TLoginForm::readStoredPassword(const TNVHost& host, TNVHost* entry)
{
    const int read = ++m_passwordRead;
    const QString key = PasswordStore::keyFor(host);
    const std::string hostName = host.FHost;
    edPassword->setPlaceholderText(QStringLiteral("reading the keyring..."));
    edPassword->setToolTip(QString());
    QPointer<TLoginForm> self(this);
    passwordStore().read(key, [self, read, key, entry, hostName](bool ok, const QString& password,
                                                                 const QString& error) {
        if (!self || read != self->m_passwordRead)
            return;
        self->edPassword->setPlaceholderText(QString());
        if (!self->edPassword->text().isEmpty())
            return;
        if (!ok) {
            self->edPassword->setPlaceholderText(
                error.isEmpty() ? QStringLiteral("not in the keyring: type it")
                                : QStringLiteral("keyring did not answer: type it"));
            self->edPassword->setToolTip(error);
            if (self->isVisible())
                self->edPassword->setFocus();
            return;
        }
        self->edPassword->setText(password);
        self->m_passwordFromEntry = entry != nullptr;
        self->WorkHost->FPWD = password.toStdString();
        // The chosen entry keeps what the keyring holds for the rest of the run.
        for (int i = 0; entry && KnownHosts && i < KnownHosts->Count(); ++i) {
            TNVHost* known = KnownHosts->Items(i);
            if (known == entry && known->FHost == hostName && known->PasswordInKeyring() &&
                PasswordStore::keyFor(*known) == key) {
                known->FPWD = password.toStdString();
                known->PasswordPlace = TNVHost::TPasswordPlace::Keyring;
            }
        }
        self->focusFirstEmptyField();
    });
}

void TLoginForm::SaveValues(TNVHost* host, TNVDataBase* database)
{
    splitHostPort();
    WorkHost->FHost = text(cbxHost->currentText());
    WorkHost->FPort = spedPort->value();
    WorkHost->FUID = text(edUserName->text());
    WorkHost->FPWD = text(edPassword->text());
    WorkHost->FStorePWD = cbxStore->isChecked();
    WorkHost->FTLSMode = static_cast<std::uint8_t>(qMax(0, cbxTLSMode->currentIndex()));
    WorkHost->FTLSCAFile = text(edTLSCAFile->text());
    WorkDataBase->FDataBase = text(cbxDatabase->currentText());
    if (host && host != WorkHost)
        host->Assign(WorkHost);
    if (database) {
        database->Assign(WorkDataBase.get());
        database->Host = host;
    }
    WorkDataBase->Host = WorkHost;
}

void TLoginForm::FillDataBaseList()
{
    QStringList names;
    for (int i = 0; i < cbxDatabase->count(); ++i)
        names << cbxDatabase->itemText(i);
    const QStringList before = names;
    const QString failure = catalogue::ListDataBaseNames(WorkHost, names);
    lbDatabaseMessage->setText(failure);
    lbDatabaseMessage->setToolTip(failure);
    if (names == before)
        return;
    // Refilling the list must not take away what the user typed.
    const QString typed = cbxDatabase->currentText();
    cbxDatabase->clear();
    cbxDatabase->addItems(names);
    cbxDatabase->setCurrentIndex(static_cast<int>(names.indexOf(typed)));
    cbxDatabase->setEditText(typed);
}

void TLoginForm::AddToKnownHosts()
{
    if (!KnownHosts)
        KnownHosts = std::make_unique<catalogue::TNVHosts>();
    if (KnownHosts->IndexOf(text(cbxHost->currentText())) >= 0)
        return;
    auto added = std::make_unique<TNVHost>();
    SaveValues(added.get(), nullptr);
    HostPasswords::noteChanged(passwordStore(), *added, QString(), false);
    const std::string key = added->FHost;
    KnownHosts->InsertObject(0, key, std::move(added));
    while (KnownHosts->Count() > kMaxKnownHosts) {
        const int last = KnownHosts->Count() - 1;
        std::unique_ptr<persist::TBaseObject> dropped(KnownHosts->GetItem(last));
        KnownHosts->Delete(last);
        if (const auto* host = dynamic_cast<const TNVHost*>(dropped.get()))
            HostPasswords::noteRemoved(passwordStore(), *host);
    }
}

void TLoginForm::UpdateChosenHost()
{
    if (!m_chosenHost || !KnownHosts || !sameHost(m_chosenHost->FHost, cbxHost->currentText()))
        return;
    for (int i = 0; i < KnownHosts->Count(); ++i) {
        if (KnownHosts->Items(i) == m_chosenHost) {
            const std::string name = m_chosenHost->FHost;
            const QString oldKey = PasswordStore::keyFor(*m_chosenHost);
            const bool hadStored = m_chosenHost->FStorePWD;
            m_chosenHost->Assign(WorkHost);
            m_chosenHost->FHost = name;
            HostPasswords::noteChanged(passwordStore(), *m_chosenHost, oldKey, hadStored);
            return;
        }
    }
}

void TLoginForm::acOkUpdate()
{
    acOk->setEnabled(!m_listing.active() && !cbxHost->currentText().isEmpty() &&
                     !edUserName->text().isEmpty() && !cbxDatabase->currentText().isEmpty());
}

void TLoginForm::cbxHostChange(int selected)
{
    if (m_loading.active())
        return;
    if (selected >= 0 && KnownHosts) {
        // The item names its list entry by key; the entry may have gone meanwhile.
        const std::string key = cbxHost->itemData(selected).toString().toStdString();
        for (int i = 0; i < KnownHosts->Count(); ++i) {
            TNVHost* chosen = KnownHosts->Items(i);
            if (KnownHosts->Keys(i) == key && chosen) {
                m_chosenHost = chosen;
                WorkHost->Assign(chosen);
                ++m_passwordRead;
                edPassword->setPlaceholderText(QString());
                showHost(chosen, chosen->FStorePWD);
                m_passwordFromEntry = chosen->FStorePWD;
                if (chosen->PasswordInKeyring())
                    readStoredPassword(*chosen, chosen);
                return;
            }
        }
        return;
    }
    // Another host typed: what the chosen entry filled in must not go to it.
    if (m_chosenHost && !sameHost(m_chosenHost->FHost, cbxHost->currentText())) {
        m_chosenHost = nullptr;
        if (m_passwordFromEntry)
            edPassword->clear();
        m_passwordFromEntry = false;
        // Nor what the keyring still has to say about it.
        ++m_passwordRead;
        edPassword->setPlaceholderText(QString());
    }
}

void TLoginForm::cbxDatabaseDropDown()
{
    // The list is read over the shared session; a second reading or OK meanwhile would find it
    // busy.
    if (m_listing.active())
        return;
    {
        const ReentryGuard::Scope listing(m_listing);
        acOkUpdate();
        lbDatabaseMessage->setText(QStringLiteral("Reading the database list..."));
        SaveValues(nullptr, nullptr);
        FillDataBaseList();
    }
    acOkUpdate();
}

bool TLoginForm::FormCloseQuery()
{
    SaveValues(nullptr, nullptr);
    QString failure;
    try {
        WorkDataBase->Connect();
    } catch (...) {
        failure = currentExceptionText();
    }
    const db::SqlSource* query = WorkDataBase->Query;
    const bool connected = query && query->connection() && query->connection()->isConnected();
    if (!failure.isEmpty()) {
        widgets::prompts().showError(this, failure);
        return false;
    }
    return connected;
}

void TLoginForm::done(int result)
{
    if (result == QDialog::Accepted) {
        bool mayClose = false;
        runGuarded(this, [this, &mayClose] {
            // A disabled OK never closes the dialog, however the request came.
            acOkUpdate();
            mayClose = acOk->isEnabled() && FormCloseQuery();
        });
        if (!mayClose) {
            setResult(QDialog::Rejected);
            return;
        }
    } else if (m_listing.active()) {
        // Cancel while the list is read: a connection attempt is given up at once.
        runGuarded(this, [] {
            db::SqlSource* query = catalogue::CatalogueQuery();
            if (query && query->connection())
                query->connection()->stop();
        });
    }
    QDialog::done(result);
}

void TLoginForm::focusFirstEmptyField()
{
    if (cbxHost->currentText().isEmpty())
        cbxHost->setFocus();
    else if (edUserName->text().isEmpty())
        edUserName->setFocus();
    else if (edPassword->text().isEmpty())
        edPassword->setFocus();
    else if (cbxDatabase->currentText().isEmpty())
        cbxDatabase->setFocus();
    else
        BitBtn1->setFocus();
}

bool ShowLoginForm(TNVHost* host, TNVDataBase* database)
{
    TLoginForm dialog(mainWindow());
    dialog.LoadValues(host, database);
    if (widgets::prompts().execDialog(dialog) != QDialog::Accepted)
        return false;
    dialog.SaveValues(host, database);
    dialog.AddToKnownHosts();
    dialog.UpdateChosenHost();
    // A crash must not lose the host just added.
    if (MainForm)
        MainForm->saveKnownHostsAfterLogon();
    return true;
}

} // namespace norvane::app
