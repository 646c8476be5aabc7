#include "options_page.h"

#include <QFileDialog>
#include <QHideEvent>
#include <QShowEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/setting_keys.h"
#include "app/settings_schema.h"

namespace folvane::gui {

namespace {

QComboBox* makeCombo(QWidget* parent, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->addItems(items);
    return combo;
}

// A group holding one labelled combo box.
QGroupBox* comboGroup(QWidget* parent, const QString& title, const QString& label, QComboBox* combo)
{
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    auto* text = new QLabel(label, group);
    text->setMinimumWidth(dluX(80));
    row->addWidget(text);
    row->addWidget(combo, 1);
    return group;
}

void setIndex(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

} // namespace

OptionsPage::OptionsPage(const app::SettingsLocation& settings, QWidget* parent)
    : KeySwallowingPage(parent), m_store(settings.path),
      m_defaultLogFolder(QString::fromStdString(app::defaultLogFolder(settings)))
{
    setObjectName(QStringLiteral("optionPage"));
    setAutoFillBackground(true);

    m_after = makeCombo(this, {QStringLiteral("Do Nothing"), QStringLiteral("Shut Down"), QStringLiteral("Stand By"),
                               QStringLiteral("Restart"), QStringLiteral("Log Off"), QStringLiteral("Exit Program"),
                               QStringLiteral("Open Output")});
    m_exists = makeCombo(this, {QStringLiteral("Ask always"), QStringLiteral("Overwrite"),
                                QStringLiteral("Create new file"), QStringLiteral("Append")});
    m_priority = makeCombo(this, {QStringLiteral("Idle"), QStringLiteral("Below Normal"), QStringLiteral("Normal"),
                                  QStringLiteral("Above Normal"), QStringLiteral("High")});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(dluX(12), dluY(10), dluX(12), dluY(10));
    layout->addWidget(comboGroup(this, QStringLiteral("After Conversion"), QStringLiteral("After Conversion:"), m_after));
    layout->addWidget(comboGroup(this, QStringLiteral("Existing File"), QStringLiteral("If output file exists:"), m_exists));
    layout->addWidget(comboGroup(this, QStringLiteral("Process"), QStringLiteral("Process Priority:"), m_priority));

    // The fourth group carries its check box as title.
    auto* logGroup = new QGroupBox(this);
    auto* logLayout = new QVBoxLayout(logGroup);
    m_log = new QCheckBox(QStringLiteral("Record Log"), logGroup);
    logLayout->addWidget(m_log);
    auto* folderRow = new QHBoxLayout;
    m_logPath = new QLineEdit(logGroup);
    m_logPath->setReadOnly(true);
    m_logPath->setEnabled(false);
    m_browse = new QPushButton(QStringLiteral("..."), logGroup);
    m_browse->setEnabled(false);
    m_browse->setFixedWidth(dluX(20));
    folderRow->addWidget(m_logPath, 1);
    folderRow->addWidget(m_browse);
    logLayout->addLayout(folderRow);
    layout->addWidget(logGroup);
    layout->addStretch();

    connect(m_log, &QCheckBox::clicked, this, [this] { onLogClicked(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { onBrowse(); });

    load();
}

OptionsPage::~OptionsPage() { save(); }

void OptionsPage::load()
{
    int after = app::storedInt(m_store, app::key::afterConversion);
    int exists = app::storedInt(m_store, app::key::existingOutput);
    int priority = app::storedInt(m_store, app::key::processPriority);
    int log = app::storedInt(m_store, app::key::recordLog);
    QString folder = QString::fromStdString(m_store.getString(app::key::logFolder, ""));
    if (folder.isEmpty())
        folder = m_defaultLogFolder;
    m_logPath->setText(folder);
    setIndex(m_after, after);
    setIndex(m_exists, exists);
    setIndex(m_priority, priority);
    m_log->setChecked(log == 1);
    m_logPath->setEnabled(log == 1);
    m_browse->setEnabled(log == 1);
}

void OptionsPage::save()
{
    std::string after = std::to_string(m_after->currentIndex());
    std::string exists = std::to_string(m_exists->currentIndex());
    std::string priority = std::to_string(m_priority->currentIndex());
    std::string log = m_log->isChecked() ? "1" : "0";
    std::string folder = m_logPath->text().toStdString();
    const app::SettingsStore::Entry entries[] = {
        {app::key::afterConversion, after}, {app::key::existingOutput, exists}, {app::key::processPriority, priority},
        {app::key::recordLog, log},         {app::key::logFolder, folder},
    };
    m_store.putStrings(entries);
}

void OptionsPage::showEvent(QShowEvent* event)
{
    load();
    KeySwallowingPage::showEvent(event);
}

void OptionsPage::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        save();
    KeySwallowingPage::hideEvent(event);
}

void OptionsPage::onLogClicked()
{
    bool on = m_log->isChecked();
    m_logPath->setEnabled(on);
    m_browse->setEnabled(on);
}

void OptionsPage::onBrowse()
{
    QString folder;
    if (m_chooseFolder)
        folder = m_chooseFolder(this);
    else
        folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Log Folder"), m_logPath->text());
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (!folder.isEmpty())
        m_logPath->setText(folder);
}

} // namespace folvane::gui
