#include "watch_page.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <cctype>

#include "app/app_paths.h"
#include "app/setting_keys.h"
#include "app/settings_schema.h"
#include "autostart.h"
#include "engine/engine.h"
#include "jobs/watch_runner.h"
#include "watch_worker.h"
#include "settings_dialog.h"

namespace folvane::gui {

const QString WatchPage::kNoOutputText = QStringLiteral("You must select an output for the PDF files.");

namespace {

// The output key of each mode.
const std::string_view kOutputKeys[3] = {app::key::mergedOutputPath, app::key::perImageOutputFolder,
                                         app::key::perFolderOutputFolder};

// The number at the start of a text ("12s" is 12, "" is 0), as the interval box is read.
int leadingNumber(const QString& text)
{
    int value = 0;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > 0x7f)
            break;
        value = value * 10 + (c.unicode() - '0');
        if (value > 999)
            return 999;
    }
    return value;
}

std::string& pathOfMode(jobs::OutputPaths& paths, int mode)
{
    return mode == jobs::kPerImageMode ? paths.perImageFolder
           : mode == jobs::kPerFolderMode ? paths.perFolderFolder : paths.merged;
}

QPushButton* smallButton(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QCheckBox* check(const QString& text, const char* name, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

} // namespace

WatchPage::WatchPage(const app::SettingsLocation& settings, QWidget* parent)
    : KeySwallowingPage(parent), m_location(settings), m_store(settings.path), m_programPath(runningProgramPath())
{
    setObjectName(QStringLiteral("watchPage"));
    setAutoFillBackground(true);

    m_worker = new WatchWorker(this);
    m_worker->setAfterAction([store = m_store] { return app::storedInt(store, app::key::afterConversion); });
    m_worker->setOutputNameAsker([this](const std::string& existing) {
        QString path = QString::fromStdString(existing);
        return (m_choosePdf ? m_choosePdf(this, path) : askNameForExistingPdf(this, path, false)).toStdString();
    });
    connect(m_worker, &WatchWorker::runStarted, this, &WatchPage::onRunStarted);
    connect(m_worker, &WatchWorker::runEnded, this, &WatchPage::onRunEnded);
    connect(m_worker, &WatchWorker::stateLine, this, [this](const QString& text) {
        m_state->setText(text);
        m_state->setToolTip(text);
    });
    connect(m_worker, &WatchWorker::fileDone, this, &WatchPage::onFileDone);
    buildControls();
}

WatchPage::~WatchPage()
{
    // The runner goes first: it reads nothing of the page, but its reports come here.
    delete m_worker;
    m_worker = nullptr;
    saveOnClose();
}

void WatchPage::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(dluX(8), dluY(6), dluX(8), dluY(6));
    layout->setSpacing(dluY(4));

    auto* inputGroup = new QGroupBox(QStringLiteral("Input"), this);
    auto* inputGrid = new QGridLayout(inputGroup);
    m_input = new QLineEdit(inputGroup);
    m_input->setObjectName(QStringLiteral("inputEdit"));
    m_input->setReadOnly(true);
    m_inputBrowse = smallButton(QStringLiteral("Browse..."), "inputBrowse", inputGroup);
    m_inputOpen = smallButton(QStringLiteral("..."), "inputOpen", inputGroup);
    m_inputOpen->setFixedWidth(dluX(20));
    m_subdir = check(QStringLiteral("Include subfolder"), "subdirCheck", inputGroup);
    m_delete = check(QStringLiteral("Delete source file when success"), "deleteCheck", inputGroup);
    inputGrid->addWidget(new QLabel(QStringLiteral("Input Folder:"), inputGroup), 0, 0);
    inputGrid->addWidget(m_input, 0, 1);
    inputGrid->addWidget(m_inputBrowse, 0, 2);
    inputGrid->addWidget(m_inputOpen, 0, 3);
    auto* inputChecks = new QHBoxLayout;
    inputChecks->addWidget(m_subdir);
    inputChecks->addWidget(m_delete);
    inputChecks->addStretch();
    // The boxes take the whole width, so a large font does not widen the page.
    inputGrid->addLayout(inputChecks, 1, 0, 1, 4);
    layout->addWidget(inputGroup);

    auto* outputGroup = new QGroupBox(QStringLiteral("Output"), this);
    auto* outputGrid = new QGridLayout(outputGroup);
    static const char* const radioTexts[3] = {"Merge into single PDF", "Create individual PDF per image",
                                              "Create individual PDF per folder"};
    // One above the other: side by side they are wider than the page with a large font.
    auto* radios = new QGridLayout;
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = new QRadioButton(QString::fromLatin1(radioTexts[mode]), outputGroup);
        radio->setObjectName(QStringLiteral("modeRadio%1").arg(mode));
        m_modeRadios[static_cast<size_t>(mode)] = radio;
        radios->addWidget(radio, mode, 0);
        connect(radio, &QRadioButton::clicked, this, [this, mode] { selectMode(mode); });
    }
    radios->setColumnStretch(1, 1);
    m_outputBox = new QLineEdit(outputGroup);
    m_outputBox->setObjectName(QStringLiteral("outputEdit"));
    m_outputBox->setReadOnly(true);
    m_outputBrowse = smallButton(QStringLiteral("Browse..."), "outputBrowse", outputGroup);
    m_outputOpen = smallButton(QStringLiteral("..."), "outputOpen", outputGroup);
    m_outputOpen->setFixedWidth(dluX(20));
    m_keepsub = check(QStringLiteral("Keep original subfolder"), "keepsubCheck", outputGroup);
    outputGrid->addLayout(radios, 0, 0, 1, 4);
    outputGrid->addWidget(new QLabel(QStringLiteral("Out Folder:"), outputGroup), 1, 0);
    outputGrid->addWidget(m_outputBox, 1, 1);
    outputGrid->addWidget(m_outputBrowse, 1, 2);
    outputGrid->addWidget(m_outputOpen, 1, 3);
    outputGrid->addWidget(m_keepsub, 2, 0, 1, 4);
    layout->addWidget(outputGroup);

    auto* middle = new QHBoxLayout;
    auto* settingsGroup = new QGroupBox(QStringLiteral("Settings"), this);
    auto* settingsGrid = new QGridLayout(settingsGroup);
    m_winstart = check(QStringLiteral("Start at login"), "winstartCheck", settingsGroup);
    m_autorun = check(QStringLiteral("Auto run at next"), "autorunCheck", settingsGroup);
    m_runsec = check(QStringLiteral("Monitoring interval"), "runsecCheck", settingsGroup);
    m_seconds = new QLineEdit(settingsGroup);
    m_seconds->setObjectName(QStringLiteral("secondsEdit"));
    m_seconds->setMaxLength(3);
    m_seconds->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), m_seconds));
    m_seconds->setFixedWidth(dluX(24));
    settingsGrid->addWidget(m_winstart, 0, 0, 1, 3);
    settingsGrid->addWidget(m_autorun, 0, 3, 1, 3);
    settingsGrid->addWidget(m_runsec, 1, 0, 1, 3);
    settingsGrid->addWidget(m_seconds, 1, 3);
    settingsGrid->addWidget(new QLabel(QStringLiteral("seconds"), settingsGroup), 1, 4);
    settingsGrid->setColumnStretch(5, 1);
    middle->addWidget(settingsGroup, 3);

    auto* defaultGroup = new QGroupBox(QStringLiteral("Default"), this);
    auto* defaultLayout = new QVBoxLayout(defaultGroup);
    m_settingsButton = smallButton(QStringLiteral("Settings"), "settingsButton", defaultGroup);
    defaultLayout->addWidget(m_settingsButton);
    middle->addWidget(defaultGroup, 1);
    layout->addLayout(middle);

    auto* bottom = new QHBoxLayout;
    auto* stateGroup = new QGroupBox(QStringLiteral("State"), this);
    auto* stateLayout = new QVBoxLayout(stateGroup);
    m_state = new QLabel(stateGroup);
    m_state->setObjectName(QStringLiteral("stateLine"));
    // A long path must not widen the page: the line is cut at the page's edge.
    m_state->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stateLayout->addWidget(m_state);
    // What the run has done since Start: counts and the last file, kept after the run ends.
    m_tally = new QLabel(stateGroup);
    m_tally->setObjectName(QStringLiteral("tallyLine"));
    m_tally->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_tally->hide();
    stateLayout->addWidget(m_tally);
    bottom->addWidget(stateGroup, 1);
    m_start = smallButton(QStringLiteral("Start"), "startButton", this);
    m_start->setMinimumSize(dluX(70), dluY(30));
    m_start->setIconSize(QSize(24, 24));
    QFont big = m_start->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 3);
    m_start->setFont(big);
    bottom->addWidget(m_start);
    layout->addLayout(bottom);
    layout->addStretch();

    connect(m_inputBrowse, &QPushButton::clicked, this, &WatchPage::onInputBrowse);
    connect(m_outputBrowse, &QPushButton::clicked, this, &WatchPage::onOutputBrowse);
    connect(m_inputOpen, &QPushButton::clicked, this, [this] { openBox(m_input); });
    connect(m_outputOpen, &QPushButton::clicked, this, [this] { openBox(m_outputBox); });
    connect(m_winstart, &QCheckBox::clicked, this, &WatchPage::onWinStart);
    connect(m_runsec, &QCheckBox::clicked, this, [this] { m_seconds->setEnabled(m_runsec->isChecked()); });
    connect(m_settingsButton, &QPushButton::clicked, this, &WatchPage::onSettings);
    connect(m_start, &QPushButton::clicked, this, &WatchPage::onStart);
}

void WatchPage::showEvent(QShowEvent* event)
{
    // A window coming back from the task bar is no new show of the page.
    if (!event->spontaneous()) {
        bool first = !m_firstShown;
        if (first)
            firstShow();
        everyShow();
        // Watching starts once this show is complete, so it runs with the mode and paths above.
        if (first && m_autorun->isChecked())
            QTimer::singleShot(0, this, [this] {
                if (!m_worker->running())
                    onStart();
            });
    }
    KeySwallowingPage::showEvent(event);
}

void WatchPage::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous() && m_firstShown)
        saveOnHide();
    KeySwallowingPage::hideEvent(event);
}

void WatchPage::firstShow()
{
    m_firstShown = true;
    showStartButton(false);
    m_keepsub->setChecked(app::storedInt(m_store, app::key::keepSubfolders) == 1);
    m_subdir->setChecked(app::storedInt(m_store, app::key::includeSubfolders) == 1);
    m_delete->setChecked(app::storedInt(m_store, app::key::deleteSourceOnSuccess) == 1);
    m_autorun->setChecked(app::storedInt(m_store, app::key::autoRunWatch) == 1);
    m_winstart->setChecked(app::storedInt(m_store, app::key::startAtLogin) == 1);
    m_runsec->setChecked(app::storedInt(m_store, app::key::repeatScan) == 1);
    m_seconds->setText(QString::fromStdString(app::storedText(m_store, app::key::scanIntervalSeconds, 32)).left(3));

    std::string input = m_store.getString(app::key::watchInputFolder, "", jobs::kPathCapacity);
    m_input->setText(QString::fromStdString(input));
    app::AppPaths::createDirectories(input);
    std::string output = m_store.getString(app::key::watchOutputFolder, "", jobs::kPathCapacity);
    m_outputBox->setText(QString::fromStdString(output));
    app::AppPaths::createDirectories(output);

    m_seconds->setEnabled(m_runsec->isChecked());
}

void WatchPage::everyShow()
{
    m_log = jobs::loadLogSettings(m_store, m_location);
    app::loadOutputSettings(m_store, m_output, app::OutputSettingsReader::WatchFolder);
    int mode = app::storedInt(m_store, app::key::outputMode);
    // A hand-edited file may hold a mode the page has no radio for: merging, as the default.
    if (mode < jobs::kMergeMode || mode > jobs::kPerFolderMode)
        mode = jobs::kMergeMode;
    m_paths = jobs::loadOutputPaths(m_store, jobs::OutputPathsReader::WatchFolder);
    m_modeRadios[static_cast<size_t>(mode)]->setChecked(true);
    selectMode(mode);
    m_state->clear();
    m_state->setToolTip(QString());
}

void WatchPage::saveOnHide()
{
    std::string output = m_outputBox->text().toStdString();
    std::string mode = std::to_string(m_mode);
    const app::SettingsStore::Entry entries[] = {{app::key::outputMode, mode}, {kOutputKeys[m_mode], output}};
    m_store.putStrings(entries);
}

void WatchPage::saveOnClose()
{
    if (!m_firstShown)
        return;
    std::string input = m_input->text().toStdString();
    std::string output = m_outputBox->text().toStdString();
    std::string seconds = m_seconds->text().toStdString();
    auto flag = [](const QCheckBox* box) { return std::string_view(box->isChecked() ? "1" : "0"); };
    const app::SettingsStore::Entry entries[] = {
        {app::key::watchInputFolder, input},
        {app::key::watchOutputFolder, output},
        {app::key::keepSubfolders, flag(m_keepsub)},
        {app::key::includeSubfolders, flag(m_subdir)},
        {app::key::deleteSourceOnSuccess, flag(m_delete)},
        {app::key::autoRunWatch, flag(m_autorun)},
        {app::key::startAtLogin, flag(m_winstart)},
        {app::key::repeatScan, flag(m_runsec)},
        {app::key::scanIntervalSeconds, seconds},
    };
    m_store.putStrings(entries);
    // A page that was hidden wrote its mode and output then, and neither can have changed since;
    // writing them again would undo a newer choice of the file-list page, which shares them.
    if (!isHidden())
        saveOnHide();
}

void WatchPage::selectMode(int mode)
{
    m_mode = mode;
    m_outputBox->setText(QString::fromStdString(pathOfMode(m_paths, mode)));
    m_keepsub->setEnabled(mode == jobs::kPerImageMode && !m_worker->running());
}

void WatchPage::lock(bool locked)
{
    for (QWidget* control : std::initializer_list<QWidget*> {m_inputBrowse, m_outputBrowse, m_subdir, m_delete,
                                                             m_winstart, m_autorun, m_runsec, m_settingsButton})
        control->setEnabled(!locked);
    for (QRadioButton* radio : m_modeRadios)
        radio->setEnabled(!locked);
    m_keepsub->setEnabled(!locked && m_mode == jobs::kPerImageMode);
    m_seconds->setEnabled(!locked && m_runsec->isChecked());
}

void WatchPage::showStartButton(bool running)
{
    m_start->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    m_start->setIcon(style()->standardIcon(running ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
}

void WatchPage::onStart()
{
    if (m_worker->running()) {
        // The button stays disabled until the runner has ended.
        m_start->setEnabled(false);
        m_worker->stop();
        return;
    }
    jobs::WatchSettings settings;
    settings.inputFolder = m_input->text().toStdString();
    if (settings.inputFolder.empty() || !app::AppPaths::folderExists(settings.inputFolder)) {
        message(QString::fromUtf8(jobs::kWatchNoFolder.data(), qsizetype(jobs::kWatchNoFolder.size())));
        emit jobState(0);
        return;
    }
    settings.mode = m_mode;
    settings.paths = m_paths;
    pathOfMode(settings.paths, m_mode) = m_outputBox->text().toStdString();
    // Without an output the PDF files would land in whatever folder the program was started from.
    const std::string& output = jobs::outputPathOf(settings.paths, settings.mode);
    if (output.empty()) {
        message(kNoOutputText);
        emit jobState(0);
        return;
    }
    app::AppPaths::createDirectories(output);
    settings.output = m_output;
    settings.includeSubfolders = m_subdir->isChecked();
    settings.deleteOnSuccess = m_delete->isChecked();
    settings.keepSubfolders = m_keepsub->isChecked();
    settings.repeat = m_runsec->isChecked();
    settings.intervalSeconds = leadingNumber(m_seconds->text());
    int policy = app::storedInt(m_store, app::key::existingOutput);
    // A combination that would lose pages is refused before anything starts.
    std::string conflict = jobs::overwriteDeleteConflict(settings, policy);
    if (!conflict.empty()) {
        message(QString::fromStdString(conflict));
        emit jobState(0);
        return;
    }
    if (settings.output.recognizeText == 1) {
        std::string problem = engine::textRecognitionProblem(settings.output.recognitionLanguages);
        if (!problem.empty()) {
            message(QString::fromStdString(problem));
            emit jobState(0);
            return;
        }
    }
    m_worker->start(std::move(settings), policy, m_log);
}

void WatchPage::onRunStarted()
{
    m_converted = m_failed = 0;
    m_lastFile.clear();
    m_lastOutcome.clear();
    showTally();
    lock(true);
    showStartButton(true);
    m_start->setEnabled(true);
    emit jobState(1);
}

void WatchPage::onFileDone(const QString& path, const QString& outcome, const QString& reason)
{
    if (outcome == QLatin1String(jobs::kStateSucceed)) {
        ++m_converted;
        m_lastOutcome = QStringLiteral("Done");
    } else if (outcome == QLatin1String(jobs::kStateFailed)) {
        ++m_failed;
        m_lastOutcome = reason.isEmpty() ? QStringLiteral("Failed") : QStringLiteral("Failed: ") + reason;
    } else {
        return; // a skipped file was not handled
    }
    m_lastFile = path;
    showTally();
}

QString WatchPage::tallyText(int converted, int failed, const QString& lastFile, const QString& lastOutcome)
{
    QString text = QStringLiteral("Since Start: %1 converted, %2 failed").arg(converted).arg(failed);
    if (!lastFile.isEmpty())
        text += QStringLiteral(". Last: %1 (%2)").arg(QFileInfo(lastFile).fileName(), lastOutcome);
    return text;
}

void WatchPage::showTally()
{
    QString text = tallyText(m_converted, m_failed, m_lastFile, m_lastOutcome);
    m_tally->setText(text);
    m_tally->setToolTip(m_lastFile.isEmpty() ? text : text + QStringLiteral("\n") + m_lastFile);
    m_tally->show();
}

void WatchPage::onRunEnded()
{
    lock(false);
    showStartButton(false);
    m_start->setEnabled(true);
    emit jobState(0);
}

QString WatchPage::chooseFolder(const QString& title, const QString& start)
{
    if (m_chooseFolder)
        return m_chooseFolder(this, title, start);
    return QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
}

QString WatchPage::choosePdf(const QString& start)
{
    if (m_choosePdf)
        return m_choosePdf(this, start);
    return QFileDialog::getSaveFileName(this, kCaption, start, QStringLiteral("PDF Files (*.pdf)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void WatchPage::onInputBrowse()
{
    QString folder = chooseFolder(QStringLiteral("Select Input Folder"), m_input->text());
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    m_input->setText(folder);
}

void WatchPage::onOutputBrowse()
{
    std::string chosen;
    if (m_mode == jobs::kMergeMode) {
        QString file = choosePdf(m_outputBox->text());
        if (file.isEmpty())
            return;
        chosen = jobs::chosenMergedPath(file.toStdString());
    } else {
        QString folder = chooseFolder(QStringLiteral("Select Output Folder"), m_outputBox->text());
        if (folder.isEmpty())
            return;
        chosen = jobs::chosenOutputFolder(folder.toStdString());
    }
    pathOfMode(m_paths, m_mode) = chosen;
    m_outputBox->setText(QString::fromStdString(chosen));
}

void WatchPage::onWinStart()
{
    // Failures are not reported: the box keeps what the user set.
    if (m_winstart->isChecked())
        writeAutostartEntry(m_programPath);
    else
        removeAutostartEntry();
}

void WatchPage::onSettings()
{
    SettingsDialog::run(this, m_output, m_store, app::OutputSettingsReader::WatchFolder, SettingsDialog::watchTabs());
}

void WatchPage::openBox(const QLineEdit* box)
{
    if (box->text().isEmpty())
        return;
    QUrl url = QUrl::fromLocalFile(box->text());
    if (m_openUrl)
        m_openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void WatchPage::message(const QString& text)
{
    if (m_message) {
        m_message(text);
        return;
    }
    QMessageBox::critical(this, kCaption, text);
}

} // namespace folvane::gui
