#include "file_list_page.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QMimeData>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "app/app_paths.h"
#include "app/setting_keys.h"
#include "app/settings_schema.h"
#include "file_list.h"
#include "folder_picker.h"
#include "job_runner.h"
#include "jobs/image_inputs.h"
#include "jobs/output_naming.h"
#include "settings_dialog.h"
#include "supported_types.h"

namespace folvane::gui {

const QString FileListPage::kNoFilesText = QStringLiteral("Can't convert, please add files first!");
const QString FileListPage::kRemoveText = QStringLiteral("Remove the selected files from the list?");
const QString FileListPage::kClearText = QStringLiteral("Remove all files from the list?");
const QString FileListPage::kPdfFilter = QStringLiteral("PDF Files (*.pdf)");
const QString FileListPage::kContinueText =
    QStringLiteral("Some files were already converted by an earlier run.\r\n"
                   "Yes: convert only the remaining files. No: convert all files again.");

namespace {

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

QPushButton* makeButton(const QString& text, QWidget* parent, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

QStringList FileListPage::addFilesFilters()
{
    // The file dialog takes patterns separated by spaces.
    QStringList patterns;
    std::string_view extensions = jobs::supportedExtensions();
    for (const QString& extension : QString::fromLatin1(extensions.data(), static_cast<qsizetype>(extensions.size()))
                                        .split(QLatin1Char('.'), Qt::SkipEmptyParts))
        patterns << QStringLiteral("*.") + extension;
    QStringList filters{QStringLiteral("Supported Image Files (%1)").arg(patterns.join(QLatin1Char(' ')))};
    for (const QString& type : supportedImageTypes())
        filters << QString(type).replace(QLatin1Char(';'), QLatin1Char(' '));
    // Linux file names often have no extension at all, so "All Files" takes every name.
    filters << QStringLiteral("All Files (*)");
    return filters;
}

FileListPage::FileListPage(const app::SettingsLocation& settings, QWidget* parent)
    : KeySwallowingPage(parent), m_location(settings), m_store(settings.path),
      m_runner(std::make_unique<JobRunner>(static_cast<jobs::JobObserver&>(*this)))
{
    setObjectName(QStringLiteral("listPage"));
    setAutoFillBackground(true);
    setAcceptDrops(true);

    m_list = new FileList(this);
    m_add = makeButton(QStringLiteral("Add"), this, "addButton");
    m_addFolder = makeButton(QStringLiteral("..."), this, "addFolderButton");
    m_addFolder->setFixedWidth(dluX(16));
    m_remove = makeButton(QStringLiteral("Remove"), this, "removeButton");
    m_up = makeButton(QStringLiteral("Up"), this, "upButton");
    m_down = makeButton(QStringLiteral("Down"), this, "downButton");
    m_convert = makeButton(QStringLiteral("Convert"), this, "convertButton");
    m_convert->setMinimumHeight(dluY(30));
    QFont bold = m_convert->font();
    bold.setBold(true);
    m_convert->setFont(bold);

    auto* buttons = new QVBoxLayout;
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_add, 1);
    addRow->addWidget(m_addFolder);
    buttons->addLayout(addRow);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    buttons->addStretch();
    buttons->addWidget(m_convert);

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setWordWrap(true);
    m_statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_statusLine->hide();
    m_details = new QLabel(this);
    m_details->setObjectName(QStringLiteral("detailsLine"));
    m_details->setWordWrap(true);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_details->hide();
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setFormat(QStringLiteral("%v of %m files"));
    m_progress->hide();
    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(m_list, 1);
    listColumn->addWidget(m_statusLine);
    listColumn->addWidget(m_details);
    listColumn->addWidget(m_progress);

    auto* top = new QHBoxLayout;
    top->addLayout(listColumn, 1);
    top->addLayout(buttons);

    auto* outputGroup = new QGroupBox(QStringLiteral("Output Folder"), this);
    auto* outputLayout = new QVBoxLayout(outputGroup);
    m_modeGroup = new QButtonGroup(this);
    static const char* const modeTexts[3] = {"Merge into single PDF", "Create individual PDF per image",
                                             "Create individual PDF per directory"};
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = new QRadioButton(QString::fromLatin1(modeTexts[mode]), outputGroup);
        radio->setObjectName(QStringLiteral("mode%1").arg(mode));
        m_modeGroup->addButton(radio, mode);
        m_modeRadios[static_cast<size_t>(mode)] = radio;
        outputLayout->addWidget(radio);
    }
    auto* pathRow = new QHBoxLayout;
    m_outputEdit = new QLineEdit(outputGroup);
    m_outputEdit->setObjectName(QStringLiteral("outputEdit"));
    m_outputEdit->setReadOnly(true);
    m_outputBrowse = makeButton(QStringLiteral("..."), outputGroup, "outputBrowseButton");
    m_outputBrowse->setFixedWidth(dluX(16));
    m_openButton = makeButton(QStringLiteral("Open"), outputGroup, "openButton");
    pathRow->addWidget(m_outputEdit, 1);
    pathRow->addWidget(m_outputBrowse);
    pathRow->addWidget(m_openButton);
    outputLayout->addLayout(pathRow);

    auto* defaultGroup = new QGroupBox(QStringLiteral("Default"), this);
    auto* defaultLayout = new QVBoxLayout(defaultGroup);
    m_settings = makeButton(QStringLiteral("Settings"), defaultGroup, "settingsButton");
    m_settings->setMinimumHeight(dluY(20));
    defaultLayout->addStretch();
    defaultLayout->addWidget(m_settings);
    defaultLayout->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(outputGroup, 1);
    bottom->addWidget(defaultGroup);

    // The summary of the last job: counts, where the PDF went, and buttons to open it.
    m_summaryBox = new QFrame(this);
    m_summaryBox->setObjectName(QStringLiteral("summaryBox"));
    m_summaryBox->setFrameShape(QFrame::StyledPanel);
    auto* summaryLayout = new QHBoxLayout(m_summaryBox);
    m_summaryText = new QLabel(m_summaryBox);
    m_summaryText->setObjectName(QStringLiteral("summaryText"));
    m_summaryText->setWordWrap(true);
    m_summaryText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_openPdf = makeButton(QStringLiteral("Open PDF"), m_summaryBox, "openPdfButton");
    m_openFolder = makeButton(QStringLiteral("Open Folder"), m_summaryBox, "openFolderButton");
    summaryLayout->addWidget(m_summaryText, 1);
    summaryLayout->addWidget(m_openPdf);
    summaryLayout->addWidget(m_openFolder);
    m_summaryBox->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(dluX(7), dluY(7), dluX(7), dluY(7));
    layout->addLayout(top, 1);
    layout->addWidget(m_summaryBox);
    layout->addLayout(bottom);

    connect(m_add, &QPushButton::clicked, this, [this] { addFiles(); });
    connect(m_addFolder, &QPushButton::clicked, this, [this] { addFolder(); });
    connect(m_remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(m_up, &QPushButton::clicked, this, [this] { moveUp(); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveDown(); });
    connect(m_convert, &QPushButton::clicked, this, [this] { convert(); });
    connect(m_outputBrowse, &QPushButton::clicked, this, [this] { chooseOutput(); });
    connect(m_openButton, &QPushButton::clicked, this, [this] { openOutputBox(); });
    connect(m_settings, &QPushButton::clicked, this, [this] { openSettings(); });
    connect(m_modeGroup, &QButtonGroup::idClicked, this, [this](int mode) { modeChosen(mode); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        updateButtons();
        showDetails();
    });
    connect(m_openPdf, &QPushButton::clicked, this, [this] { openPath(m_summary.lastPdf); });
    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { openPath(QFileInfo(m_summary.lastPdf).absolutePath()); });
    connect(m_list, &FileList::addFilesRequested, this, [this] { addFiles(); });
    connect(m_list, &FileList::addFolderRequested, this, [this] { addFolder(); });
    connect(m_list, &FileList::removeRequested, this, [this] { removeSelected(); });
    connect(m_list, &FileList::clearAllRequested, this, [this] { clearAll(); });
    connect(m_list, &FileList::upRequested, this, [this] { moveUp(); });
    connect(m_list, &FileList::downRequested, this, [this] { moveDown(); });
    connect(m_list, &FileList::selectAllRequested, this, [this] { selectAll(); });
    connect(m_list, &FileList::openSourceRequested, this, [this] { openSource(); });
    connect(m_list, &FileList::openOutputRequested, this, [this] { openOutput(); });

    updateButtons();
}

FileListPage::~FileListPage()
{
    // A job still running is stopped and waited for while everything it uses is alive.
    m_runner.reset();
    if (m_loaded)
        save();
}

// --- settings ---------------------------------------------------------------------------------

void FileListPage::load()
{
    m_logSettings = jobs::loadLogSettings(m_store, m_location);
    m_mode = app::storedInt(m_store, app::key::outputMode);
    // A mode no radio stands for would make Convert do nothing at all.
    if (m_mode < jobs::kMergeMode || m_mode > jobs::kPerFolderMode)
        m_mode = jobs::kMergeMode;
    std::string folder = app::dataFolder();
    m_paths = jobs::loadOutputPaths(m_store, jobs::OutputPathsReader::FileList);
    // An empty stored path falls back to the default as an absent one does.
    if (m_paths.merged.empty())
        m_paths.merged = folder + std::string(app::kDefaultMergedFileName);
    if (m_paths.perImageFolder.empty())
        m_paths.perImageFolder = folder;
    if (m_paths.perFolderFolder.empty())
        m_paths.perFolderFolder = folder;
    app::AppPaths::createDirectories(folder);
    m_modeRadios[static_cast<size_t>(m_mode)]->setChecked(true);
    m_outputEdit->setText(fromUtf8(jobs::outputPathOf(m_paths, m_mode)));
    updatePlannedNames();
    m_output = app::OutputSettings {};
    app::loadOutputSettings(m_store, m_output, app::OutputSettingsReader::FileList);
    m_loaded = true;
}

void FileListPage::save()
{
    std::string mode = std::to_string(m_mode);
    const app::SettingsStore::Entry entries[] = {
        {app::key::outputMode, mode},
        {app::key::mergedOutputPath, m_paths.merged},
        {app::key::perImageOutputFolder, m_paths.perImageFolder},
        {app::key::perFolderOutputFolder, m_paths.perFolderFolder},
    };
    m_store.putStrings(entries);
}

void FileListPage::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && !m_running)
        load();
    KeySwallowingPage::showEvent(event);
}

void FileListPage::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous() && m_loaded)
        save();
    KeySwallowingPage::hideEvent(event);
}

// --- helpers ----------------------------------------------------------------------------------

QMessageBox::StandardButton FileListPage::message(const QString& text, QMessageBox::StandardButtons buttons,
                                               QMessageBox::Icon icon)
{
    if (m_message)
        return m_message(text, buttons, icon);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, kCaption, shown, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString FileListPage::defaultStartFolder() const
{
    std::string home = app::homeFolder();
    return home.empty() ? QStringLiteral("/") : fromUtf8(home) + QLatin1Char('/');
}

void FileListPage::updatePlannedNames()
{
    m_list->setPlannedNames(
        [this](const std::string& path) { return jobs::plannedPdfName(path, m_mode, m_paths); });
}

void FileListPage::updateButtons()
{
    if (m_running)
        return;
    bool selected = !m_list->selectedRows().empty();
    m_remove->setEnabled(selected);
    m_up->setEnabled(selected);
    m_down->setEnabled(selected);
    m_convert->setEnabled(m_list->rowCount() > 0);
}

void FileListPage::afterAdding()
{
    updateButtons();
    m_list->updateCountHeader();
}

void FileListPage::modeChosen(int mode)
{
    if (mode < jobs::kMergeMode || mode > jobs::kPerFolderMode)
        return;
    m_mode = mode;
    m_outputEdit->setText(fromUtf8(jobs::outputPathOf(m_paths, m_mode)));
    updatePlannedNames();
}

// --- adding rows ------------------------------------------------------------------------------

bool FileListPage::addFile(const QString& path)
{
    jobs::FileRow row;
    std::string file = path.toStdString();
    if (!jobs::makeFileRow(file, row))
        return false;
    row.plannedName = jobs::plannedPdfName(file, m_mode, m_paths);
    m_list->appendRow(std::move(row));
    return true;
}

void FileListPage::addFiles()
{
    if (m_running)
        return;
    QString start = fromUtf8(
        m_store.getString(app::key::lastOpenedFile, app::settingTextDefault(app::key::lastOpenedFile),
                          jobs::kPathCapacity));
    if (start.isEmpty())
        start = defaultStartFolder();
    QStringList files;
    if (m_chooseFiles) {
        files = m_chooseFiles(this, start, addFilesFilters());
    } else {
        QFileDialog dialog(this, kCaption, start);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(addFilesFilters());
        // Types are matched without regard to case, so IMG_0001.JPG counts as a JPEG file.
        dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
        if (dialog.exec() == QDialog::Accepted)
            files = dialog.selectedFiles();
    }
    if (files.isEmpty())
        return;
    setEnabled(false);
    QStringList unreadable;
    for (const QString& file : files) {
        if (!addFile(file))
            unreadable << QStringLiteral("%1 (cannot be read)").arg(QFileInfo(file).fileName());
        // Keeps the window painted while a long selection is read.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_store.putString(app::key::lastOpenedFile, files.last().toStdString());
    setEnabled(true);
    showNotAdded(unreadable);
    afterAdding();
}

void FileListPage::addFolder()
{
    if (m_running)
        return;
    FolderChoice choice;
    choice.initialFolder = fromUtf8(m_store.getString(
        app::key::lastOpenedFolder, app::settingTextDefault(app::key::lastOpenedFolder), jobs::kPathCapacity));
    if (choice.initialFolder.isEmpty())
        choice.initialFolder = defaultStartFolder();
    choice.includeSubfolders = app::storedInt(m_store, app::key::includeSubfolders) != 0;
    choice.filterIndex = 0;
    choice.naturalOrder = folderOrder() == jobs::FolderOrder::Natural;
    bool chosen = false;
    if (m_chooseFolder) {
        chosen = m_chooseFolder(this, choice);
    } else {
        FolderPicker picker(this, QStringLiteral("Please Select Folder"), choice.initialFolder,
                            choice.includeSubfolders, choice.filterIndex);
        picker.offerNaturalOrder(choice.naturalOrder);
        chosen = picker.run();
        choice.includeSubfolders = picker.includeSubfolders();
        choice.filterIndex = picker.filterIndex();
        choice.naturalOrder = picker.naturalOrder();
        choice.folder = picker.result();
    }
    if (!chosen)
        return;
    m_store.putString(app::key::includeSubfolders, choice.includeSubfolders ? "1" : "0");
    m_store.putString(app::key::naturalSort, choice.naturalOrder ? "1" : "0");
    if (!choice.folder.isEmpty())
        m_store.putString(app::key::lastOpenedFolder, choice.folder.toStdString());
    std::string filter = FolderPicker::filterForIndex(choice.filterIndex).toStdString();
    std::vector<std::string> files;
    if (!choice.folder.isEmpty())
        files = jobs::folderImages(choice.folder.toStdString(), choice.includeSubfolders, filter,
                                   choice.naturalOrder ? jobs::FolderOrder::Natural : jobs::FolderOrder::Name);
    showNotAdded({});
    setEnabled(false);
    for (const std::string& file : files) {
        addFile(fromUtf8(file));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    setEnabled(true);
    afterAdding();
}

jobs::FolderOrder FileListPage::folderOrder() const
{
    return app::storedInt(m_store, app::key::naturalSort) == 1 ? jobs::FolderOrder::Natural : jobs::FolderOrder::Name;
}

void FileListPage::showNotAdded(const QStringList& problems)
{
    m_statusLine->setText(problems.isEmpty() ? QString() : QStringLiteral("Not added: ") + problems.join(QStringLiteral("; ")));
    m_statusLine->setVisible(!problems.isEmpty());
}

void FileListPage::dropPaths(const QStringList& paths)
{
    if (m_running)
        return;
    QStringList problems;
    auto notAdded = [&problems](const QString& path, const QString& reason) {
        problems << QStringLiteral("%1 (%2)").arg(QFileInfo(path).fileName(), reason);
    };
    bool recursive = app::storedInt(m_store, app::key::includeSubfolders) == 1;
    setEnabled(false);
    for (const QString& path : paths) {
        QFileInfo info(path);
        if (!info.exists()) {
            notAdded(path, QStringLiteral("no longer exists"));
        } else if (info.isDir()) {
            std::vector<std::string> files = jobs::folderImages(path.toStdString(), recursive,
                                                                jobs::kAllSupportFilter, folderOrder());
            if (files.empty())
                notAdded(path, QStringLiteral("holds no supported images"));
            for (const std::string& file : files) {
                if (!addFile(fromUtf8(file)))
                    notAdded(fromUtf8(file), QStringLiteral("cannot be read"));
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
        } else if (!jobs::isSupportedExtension(path.toStdString())) {
            notAdded(path, QStringLiteral("not a supported image type"));
        } else if (!addFile(path)) {
            notAdded(path, QStringLiteral("cannot be read"));
        }
    }
    setEnabled(true);
    showNotAdded(problems);
    afterAdding();
}

namespace {

// Dropped files are always copied into the list: a move would let the source (a file manager)
// delete the originals once the drop is accepted.
bool acceptAsCopy(QDropEvent* event, bool running)
{
    if (running || !event->mimeData()->hasUrls() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

} // namespace

void FileListPage::dragEnterEvent(QDragEnterEvent* event) { acceptAsCopy(event, m_running); }

void FileListPage::dragMoveEvent(QDragMoveEvent* event) { acceptAsCopy(event, m_running); }

void FileListPage::dropEvent(QDropEvent* event)
{
    if (!acceptAsCopy(event, m_running))
        return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    dropPaths(paths);
}

// --- list operations --------------------------------------------------------------------------

void FileListPage::removeSelected()
{
    if (m_running)
        return;
    size_t count = m_list->selectedRows().size();
    if (count == 0)
        return;
    if (count >= 2 && message(kRemoveText, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning) !=
                          QMessageBox::Ok)
        return;
    m_list->removeSelected();
    updateButtons();
    m_list->updateCountHeader();
}

void FileListPage::clearAll()
{
    if (m_running || m_list->rowCount() == 0)
        return;
    if (message(kClearText, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning) != QMessageBox::Ok)
        return;
    m_list->removeAll();
    updateButtons();
    m_list->updateCountHeader();
}

void FileListPage::moveUp()
{
    if (!m_running)
        m_list->moveUp();
}

void FileListPage::moveDown()
{
    if (!m_running)
        m_list->moveDown();
}

void FileListPage::selectAll()
{
    if (m_running)
        return;
    m_list->selectAll();
    updateButtons();
}

void FileListPage::openSource()
{
    std::vector<size_t> selected = m_list->selectedRows();
    if (selected.empty())
        return;
    openPath(fromUtf8(m_list->row(selected.front()).path));
}

void FileListPage::openPath(const QString& target)
{
    if (target.isEmpty())
        return;
    if (m_open)
        m_open(target);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

void FileListPage::showDetails()
{
    std::vector<size_t> selected = m_list->selectedRows();
    QString text;
    if (selected.size() == 1) {
        const jobs::FileRow& row = m_list->row(selected.front());
        if (row.status == jobs::kStateFailed)
            text = QStringLiteral("%1: Failed: %2")
                       .arg(QFileInfo(QString::fromStdString(row.path)).fileName(),
                            row.failure.empty() ? QStringLiteral("not converted") : QString::fromStdString(row.failure));
    }
    m_details->setText(text);
    m_details->setVisible(!text.isEmpty());
}

void FileListPage::openOutput()
{
    std::vector<size_t> selected = m_list->selectedRows();
    if (selected.empty())
        return;
    openPath(fromUtf8(jobs::splitPath(m_list->row(selected.front()).plannedName).folder));
}

// --- output and settings ----------------------------------------------------------------------

void FileListPage::chooseOutput()
{
    if (m_running)
        return;
    QString current = fromUtf8(jobs::outputPathOf(m_paths, m_mode));
    QString chosen;
    if (m_chooseOutput)
        chosen = m_chooseOutput(this, m_mode, current);
    else if (m_mode == jobs::kMergeMode)
        chosen = QFileDialog::getSaveFileName(this, kCaption, current, kPdfFilter);
    else
        chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Please choose destination folder:"), current);
    if (chosen.isEmpty())
        return;
    std::string path = chosen.toStdString();
    if (m_mode == jobs::kMergeMode)
        m_paths.merged = jobs::chosenMergedPath(path);
    else if (m_mode == jobs::kPerImageMode)
        m_paths.perImageFolder = jobs::chosenOutputFolder(path);
    else
        m_paths.perFolderFolder = jobs::chosenOutputFolder(path);
    m_outputEdit->setText(fromUtf8(jobs::outputPathOf(m_paths, m_mode)));
    updatePlannedNames();
}

void FileListPage::openOutputBox()
{
    openPath(m_outputEdit->text());
}

void FileListPage::openSettings()
{
    if (m_running)
        return;
    SettingsDialog::run(this, m_output, m_store, app::OutputSettingsReader::FileList);
}

} // namespace folvane::gui
