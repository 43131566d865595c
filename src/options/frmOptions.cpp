#include "options/frmOptions.h"

#include "diagnostics/ErrorReport.h"
#include "options/StartAtLogin.h"
#include "options/modIEToolBar.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/PasswordHint.h"
#include "settings/SettingsTable.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <exception>

namespace {

constexpr const char* kEnableStart = "Start Tessaly when I log in";
constexpr const char* kDisableStart = "Don't start Tessaly when I log in";

QString fromBytes(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string toBytes(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* makePasswordBox(QWidget* parent, const char* name, QFormLayout* form, const char* labelName,
                           const char* caption) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEchoMode(QLineEdit::Password);
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setBuddy(box);
    form->addRow(label, box);
    return box;
}

// A progress port that shows nothing, for a host that hands none in.
class NoProgress final : public options::ProgressPort {
public:
    void show(const std::string&) override {}
    void close() override {}
};

} // namespace

frmOptions::frmOptions(platform::Prompt& prompt, options::OptionsHost host, QWidget* mainWindow)
    : QDialog(mainWindow), m_prompt(prompt), m_host(std::move(host)), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Tessaly -Options"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (!m_host.progress)
        m_host.progress = std::make_shared<NoProgress>();
    if (mainWindow)
        setWindowIcon(mainWindow->windowIcon());

    m_tbsOptions = new QTabWidget(this);
    m_tbsOptions->setObjectName(QStringLiteral("tbsOptions"));

    // Page 0: Preferences.
    auto* page0 = new QFrame;
    page0->setObjectName(QStringLiteral("fraOption0"));
    page0->setFrameShape(QFrame::NoFrame);
    m_chkIEInte = new QCheckBox(QStringLiteral("Integrate with Internet Explorer"), page0);
    m_chkIEInte->setObjectName(QStringLiteral("chkIEInte"));
    m_chkStrongLocks = new QCheckBox(QStringLiteral("Lock new files with strong encryption (.TSX)"), page0);
    m_chkStrongLocks->setObjectName(QStringLiteral("chkStrongLocks"));
    // What the choice means, in one line under it.
    auto* lblStrongLocks = new QLabel(QStringLiteral("Strong locks encrypt content and name with a key made from the "
                                                     "password; the others only hide and scramble the file."),
                                      page0);
    lblStrongLocks->setObjectName(QStringLiteral("lblStrongLocks"));
    lblStrongLocks->setWordWrap(true);
    m_chkStrongLocks->setToolTip(lblStrongLocks->text());
    // No browser on this system reads the toolbar button's values: the choice is kept (and still
    // recorded when set) but not offered.
    m_chkIEInte->setVisible(false);
    // Locking the window again: after idle minutes (0: never) and when restored from the tray.
    auto* lblIdleLock = new QLabel(QStringLiteral("Lock after idle minutes (0 = never):"), page0);
    lblIdleLock->setObjectName(QStringLiteral("lblIdleLock"));
    m_spnIdleLock = new QSpinBox(page0);
    m_spnIdleLock->setObjectName(QStringLiteral("spnIdleLock"));
    m_spnIdleLock->setRange(0, 24 * 60);
    lblIdleLock->setBuddy(m_spnIdleLock);
    m_chkLockOnRestore = new QCheckBox(QStringLiteral("Ask for the password when restored from the tray"), page0);
    m_chkLockOnRestore->setObjectName(QStringLiteral("chkLockOnRestore"));
    // Without a system tray the window minimizes to the task bar and is never hidden, so there is
    // nothing to restore from: the choice is off, and the note beside it says why.
    m_lblNoTray = new QLabel(QStringLiteral("This desktop has no system tray: Tessaly minimizes to the task bar "
                                            "instead, so this choice has no effect here."),
                             page0);
    m_lblNoTray->setObjectName(QStringLiteral("lblNoTray"));
    m_lblNoTray->setWordWrap(true);
    m_lblNoTray->setVisible(false);
    m_cmdUpgrade = makeButton(page0, "cmdUpgrade", "Check for Upgrade");
    m_cmdEnableStart = makeButton(page0, "cmdEnableStart", kEnableStart);
    auto* prefs = new QVBoxLayout(page0);
    prefs->addWidget(m_chkIEInte);
    prefs->addWidget(m_chkStrongLocks);
    prefs->addWidget(lblStrongLocks);
    auto* idleRow = new QHBoxLayout;
    idleRow->addWidget(lblIdleLock);
    idleRow->addWidget(m_spnIdleLock);
    idleRow->addStretch();
    prefs->addLayout(idleRow);
    prefs->addWidget(m_chkLockOnRestore);
    prefs->addWidget(m_lblNoTray);
    prefs->addSpacing(8);
    prefs->addWidget(m_cmdEnableStart, 0, Qt::AlignLeft);
    prefs->addWidget(m_cmdUpgrade, 0, Qt::AlignLeft);
    prefs->addStretch();

    // Page 1: Change Password.
    auto* page1 = new QFrame;
    page1->setObjectName(QStringLiteral("fraOption1"));
    page1->setFrameShape(QFrame::NoFrame);
    auto* form = new QFormLayout;
    m_txtOldPass = makePasswordBox(page1, "txtOldPass", form, "lblOldPass", "Old Password:");
    m_txtNewPass = makePasswordBox(page1, "txtNewPass", form, "lblNewPass", "New Password:");
    form->addRow(QString(), settings::MakeShortPasswordHint(m_txtNewPass, page1));
    m_txtNewConfirm = makePasswordBox(page1, "txtNewConfirm", form, "lblNewConfirm", "Confirm New Password:");
    m_cmdChange = makeButton(page1, "cmdChange", "&Change Password");
    auto* change = new QVBoxLayout(page1);
    change->addLayout(form);
    change->addWidget(m_cmdChange, 0, Qt::AlignRight);
    change->addStretch();

    // The pages lie over the tab strip's client area; the selected tab's page is in front.
    m_tbsOptions->addTab(page0, QStringLiteral("Preferences"));
    m_tbsOptions->addTab(page1, QStringLiteral("Change Password"));

    m_cmdClose = makeButton(this, "cmdClose", "Close");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tbsOptions);
    layout->addLayout(bottom);
    setMinimumWidth(380);

    connect(m_cmdEnableStart, &QPushButton::clicked, this, &frmOptions::cmdEnableStart_Click);
    connect(m_chkIEInte, &QCheckBox::clicked, this, &frmOptions::chkIEInte_Click);
    connect(m_chkStrongLocks, &QCheckBox::clicked, this, &frmOptions::chkStrongLocks_Click);
    connect(m_cmdUpgrade, &QPushButton::clicked, this, &frmOptions::cmdUpgrade_Click);
    connect(m_chkLockOnRestore, &QCheckBox::clicked, this, &frmOptions::chkLockOnRestore_Click);
    connect(m_cmdChange, &QPushButton::clicked, this, &frmOptions::cmdChange_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    // The window sees keys before its controls (Ctrl+Tab turns the page wherever the focus is).
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    Form_Load();
}

frmOptions::~frmOptions() = default;

void frmOptions::Form_Load() {
    if (m_mainWindow)
        move(m_mainWindow->frameGeometry().topLeft() + QPoint(60, 60));
    m_tbsOptions->setCurrentIndex(0);
    setStartCaption();
    m_chkStrongLocks->setChecked(settings::StrongLocks.get());
    m_spnIdleLock->setValue(settings::IdleLockMinutes.get());
    m_chkLockOnRestore->setChecked(settings::LockOnRestore.get());
    const bool tray = m_host.trayAvailable ? m_host.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
    m_chkLockOnRestore->setEnabled(tray);
    m_lblNoTray->setVisible(!tray);
    if (!tray)
        m_chkLockOnRestore->setToolTip(m_lblNoTray->text());
    // Without an upgrade address the check could only say it is switched off: it is not offered.
    m_cmdUpgrade->setVisible(!settings::UpgradeHost.get().empty());
    // Connected once the stored value is shown, so showing it writes nothing.
    connect(m_spnIdleLock, &QSpinBox::valueChanged, this, &frmOptions::spnIdleLock_Changed, Qt::UniqueConnection);
    const std::string ieadd = settings::IeAdd.get();
    if (!ieadd.empty()) {
        std::string lower = ieadd;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        m_chkIEInte->setChecked(lower.find("add") != std::string::npos);
    }
}

void frmOptions::setStartCaption() {
    m_cmdEnableStart->setText(QString::fromLatin1(options::StartsAtLogin(m_host.app) ? kDisableStart : kEnableStart));
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
            if (event->type() == QEvent::ShortcutOverride) {
                event->accept(); // no shortcut takes it: the key press comes here
            } else {
                const int next = m_tbsOptions->currentIndex() + 1;
                m_tbsOptions->setCurrentIndex(next < m_tbsOptions->count() ? next : 0);
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::closeEvent(QCloseEvent* event) {
    if (m_checking) {
        // The upgrade check waits inside this window's handler: close when it has ended.
        m_closeAfterCheck = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmOptions::cmdEnableStart_Click() {
    try {
        const options::StartChange change = m_cmdEnableStart->text() == QLatin1String(kEnableStart)
                                                ? options::EnableStartAtLogin(m_host.app)
                                                : options::DisableStartAtLogin(m_host.app);
        if (!change.done)
            m_prompt.show(change.message, platform::Buttons::OK, platform::Icon::Exclamation);
        setStartCaption();
    } catch (const platform::SysError& e) {
        ReportError("frmOptions", e.number(), e.description(), "cmdEnableStart_Click");
    } catch (const std::exception& e) {
        ReportError("frmOptions", platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(),
                    "cmdEnableStart_Click");
    }
}

void frmOptions::chkIEInte_Click(bool checked) {
    if (checked) {
        const std::string caption = m_mainWindow ? toBytes(m_mainWindow->windowTitle()) : std::string("Tessaly");
        options::AddIEButton(caption, m_host.app);
        settings::IeAdd.set("add");
    } else {
        options::RemoveIEButton();
        settings::IeAdd.set("remove");
    }
}

// Lock Files and Lock Folder and Files read the choice when they start.
void frmOptions::spnIdleLock_Changed(int minutes) {
    settings::IdleLockMinutes.set(minutes);
    emit lockSettingsChanged();
}

void frmOptions::chkLockOnRestore_Click(bool checked) {
    settings::LockOnRestore.set(checked);
    emit lockSettingsChanged();
}

void frmOptions::chkStrongLocks_Click(bool checked) {
    settings::StrongLocks.set(checked);
}

void frmOptions::cmdUpgrade_Click() {
    m_checking = true;
    m_cmdUpgrade->setEnabled(false);
    m_cmdClose->setEnabled(false);
    options::cmdUpgrade_Click(m_prompt, *m_host.progress, m_host.upgradeTimeoutMs);
    m_cmdUpgrade->setEnabled(true);
    m_cmdClose->setEnabled(true);
    m_checking = false;
    if (m_closeAfterCheck)
        close();
}

void frmOptions::cmdChange_Click() {
    if (!m_host.changePassword)
        return;
    options::PasswordChange fields{toBytes(m_txtOldPass->text()), toBytes(m_txtNewPass->text()),
                                   toBytes(m_txtNewConfirm->text())};
    m_host.changePassword(fields);
    m_txtNewPass->setText(fromBytes(fields.newPassword));
    m_txtNewConfirm->setText(fromBytes(fields.newConfirm));
}
