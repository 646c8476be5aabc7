#include "security_tab.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace folvane::gui {

SecurityTab::SecurityTab(const app::OutputSettings& settings, const std::string& settingsPath, QWidget* parent)
    : SheetPage(settings, settingsPath, parent)
{
    setObjectName(QStringLiteral("securityPage"));
    auto* layout = new QVBoxLayout(this);
    m_security = new QCheckBox(QStringLiteral("Password Security"), this);
    m_security->setObjectName(QStringLiteral("security"));
    layout->addWidget(m_security);

    auto* grid = new QGridLayout;
    auto* userLabel = new QLabel(QStringLiteral("Document Open Password"), this);
    auto* ownerLabel = new QLabel(QStringLiteral("Permissions Password"), this);
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_user->setMaxLength(256);
    m_owner = new QLineEdit(this);
    m_owner->setObjectName(QStringLiteral("owner"));
    m_owner->setMaxLength(256);
    // Passwords are masked, so that they cannot be read over the user's shoulder or from a
    // screenshot; the box beside them shows them while it is ticked.
    m_user->setEchoMode(QLineEdit::Password);
    m_owner->setEchoMode(QLineEdit::Password);
    m_showPasswords = new QCheckBox(QStringLiteral("Show"), this);
    m_showPasswords->setObjectName(QStringLiteral("showPasswords"));
    connect(m_showPasswords, &QCheckBox::toggled, this, [this](bool show) {
        QLineEdit::EchoMode mode = show ? QLineEdit::Normal : QLineEdit::Password;
        m_user->setEchoMode(mode);
        m_owner->setEchoMode(mode);
    });
    grid->addWidget(userLabel, 0, 0);
    grid->addWidget(m_user, 0, 1);
    grid->addWidget(ownerLabel, 1, 0);
    grid->addWidget(m_owner, 1, 1);
    grid->addWidget(m_showPasswords, 0, 2);
    layout->addLayout(grid);

    auto* levelLabel = new QLabel(QStringLiteral("Encryption Level"), this);
    layout->addWidget(levelLabel);
    auto* levelRow = new QHBoxLayout;
    m_level = new QButtonGroup(this);
    auto* rc40 = new QRadioButton(QStringLiteral("40-bit RC4"), this);
    rc40->setObjectName(QStringLiteral("level0"));
    auto* rc128 = new QRadioButton(QStringLiteral("128-bit RC4"), this);
    rc128->setObjectName(QStringLiteral("level1"));
    auto* aes128 = new QRadioButton(QStringLiteral("128-bit AES"), this);
    aes128->setObjectName(QStringLiteral("level2"));
    auto* aes256 = new QRadioButton(QStringLiteral("256-bit AES"), this);
    aes256->setObjectName(QStringLiteral("level3"));
    m_level->addButton(rc40, 0);
    m_level->addButton(rc128, 1);
    m_level->addButton(aes128, 2);
    m_level->addButton(aes256, 3);
    levelRow->addWidget(rc40);
    levelRow->addWidget(rc128);
    levelRow->addWidget(aes128);
    levelRow->addWidget(aes256);
    levelRow->addStretch();
    layout->addLayout(levelRow);

    auto* permissions = new QGroupBox(QStringLiteral("Permissions"), this);
    auto* permissionsLayout = new QVBoxLayout(permissions);
    m_print = new QCheckBox(QStringLiteral("Print Allowed"), permissions);
    m_print->setObjectName(QStringLiteral("print"));
    m_copy = new QCheckBox(QStringLiteral("Enable Content Copying or Extraction"), permissions);
    m_copy->setObjectName(QStringLiteral("copy"));
    m_modify = new QCheckBox(QStringLiteral("Enable Changing the Document"), permissions);
    m_modify->setObjectName(QStringLiteral("modify"));
    permissionsLayout->addWidget(m_print);
    permissionsLayout->addWidget(m_copy);
    permissionsLayout->addWidget(m_modify);
    layout->addWidget(permissions);
    layout->addStretch();

    m_dependents = {userLabel, m_user, ownerLabel, m_owner, m_showPasswords, levelLabel, rc40, rc128, aes128, aes256, permissions,
                    m_print, m_copy, m_modify};
}

void SecurityTab::initialise()
{
    const app::OutputSettings& s = m_settings;
    m_security->setChecked(s.securityOn != 0);
    m_user->setText(QString::fromStdString(s.userPassword));
    m_owner->setText(QString::fromStdString(s.ownerPassword));
    if (QAbstractButton* b = m_level->button(static_cast<int>(s.securityLevel)))
        b->setChecked(true);
    m_print->setChecked(s.allowPrint != 0);
    m_copy->setChecked(s.allowCopy != 0);
    m_modify->setChecked(s.allowModify != 0);
    connect(m_security, &QCheckBox::toggled, this, [this] { onSecurityClicked(); });
    onSecurityClicked();
}

void SecurityTab::onSecurityClicked()
{
    bool on = m_security->isChecked();
    for (QWidget* w : m_dependents)
        w->setEnabled(on);
}

void SecurityTab::apply()
{
    app::OutputSettings& s = m_settings;
    int level = m_level->checkedId();
    s.securityOn = m_security->isChecked() ? 1 : 0;
    s.allowPrint = m_print->isChecked() ? 1 : 0;
    s.allowModify = m_modify->isChecked() ? 1 : 0;
    s.securityLevel = static_cast<app::SecurityLevel>(level < 0 ? 0 : level);
    s.allowCopy = m_copy->isChecked() ? 1 : 0;
    s.userPassword = boxText(m_user->text());
    s.ownerPassword = boxText(m_owner->text());
    save(app::SettingsTab::Security);
}

} // namespace folvane::gui
