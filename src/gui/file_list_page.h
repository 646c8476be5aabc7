#pragma once
// FileListPage: the file-list page, the main working page of the main window. The user collects
// images in the list (Add, the Add Folder "...", dropped files), orders and prunes them, picks
// the grouping mode and output location, opens the settings sheet and runs the conversion job,
// whose progress shows in the list's Status column.
//
// Settings: "log", "logpath", "outMode", "outPath0" to "outPath2" and every output setting are
// read each time the page is shown; "outMode" and the three paths are written each time it is
// hidden and when it is destroyed. "OpenFile", "openDir" and "subdir" are read and written
// around the Add Files and Add Folder dialogs, "exists" when Convert is pressed, and "after" by
// the job when it ends.
//
// While a job runs every control that could change what the job reads is disabled, the list
// ignores keys, drops and its context menu, and jobState(1) tells the main window to refuse
// page switches and closing until jobState(0).
//
// Dialogs and message boxes go through replaceable hooks, so tests answer them without modal
// windows.

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <functional>
#include <memory>

#include "app/output_settings.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "gui_common.h"
#include "job_summary.h"
#include "jobs/conversion_job.h"
#include "jobs/image_inputs.h"
#include "jobs/job_log.h"
#include "services/system_actions.h"

namespace folvane::gui {

class FileList;
class JobRunner;

class FileListPage : public KeySwallowingPage, private jobs::JobObserver {
    Q_OBJECT
public:
    static const QString kNoFilesText;      // "Can't convert, please add files first!"
    static const QString kRemoveText;       // asks before removing several rows
    static const QString kClearText;        // asks before Clear All
    static const QString kContinueText;     // the continue question of a per-image run
    static const QString kPdfFilter;        // the filter of the PDF file dialogs

    FileListPage(const app::SettingsLocation& settings, QWidget* parent = nullptr);
    ~FileListPage() override;

    // --- hooks -------------------------------------------------------------------------------
    // A message box with caption "Folvane": returns the button pressed.
    using MessageHook =
        std::function<QMessageBox::StandardButton(const QString& text, QMessageBox::StandardButtons buttons,
                                                  QMessageBox::Icon icon)>;
    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    // The Add Files dialog: start folder and name filters in; the chosen files (none: cancelled).
    using FilesChooser =
        std::function<QStringList(QWidget* owner, const QString& startFolder, const QStringList& filters)>;
    void setFilesChooser(FilesChooser chooser) { m_chooseFiles = std::move(chooser); }
    // The Add Folder picker: initial folder, include-subfolders and filter index in and out, and
    // the chosen folder (with trailing "/", empty when it is no folder). False when cancelled.
    struct FolderChoice {
        QString initialFolder;
        bool includeSubfolders = false;
        int filterIndex = 0;
        bool naturalOrder = false; // folder entries in natural order (page2 before page10)
        QString folder;
    };
    using FolderChooser = std::function<bool(QWidget* owner, FolderChoice& choice)>;
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }
    // The output "..." dialog: a PDF file for merging (mode 0), a folder otherwise. Empty when
    // cancelled.
    using OutputChooser = std::function<QString(QWidget* owner, int mode, const QString& current)>;
    void setOutputChooser(OutputChooser chooser) { m_chooseOutput = std::move(chooser); }
    // The name asked for under "Ask always" when an output file exists. Empty for Cancel.
    using SaveNameChooser = std::function<QString(QWidget* owner, const QString& existingPath)>;
    void setSaveNameChooser(SaveNameChooser chooser) { m_chooseSaveName = std::move(chooser); }
    // Opens a file or folder with the user's default application.
    void setOpener(std::function<void(const QString& target)> opener) { m_open = std::move(opener); }
    // The system actions of the after-conversion step.
    void setSystemActions(services::SystemActions* actions) { m_actions = actions; }

    // --- operations (buttons, menu items, keys) ------------------------------------------------
    // Appends a row for the file; false (nothing added) when it cannot be opened for reading.
    bool addFile(const QString& path);
    void addFiles();
    void addFolder();
    // Files and folders dropped on the page, in order: supported files are added, a folder adds
    // its supported images as Add Folder does (with subfolders and natural order as last chosen
    // there). What cannot be added is named in the status line. Ignored while a job runs.
    void dropPaths(const QStringList& paths);
    void removeSelected();
    void clearAll();
    void moveUp();
    void moveDown();
    void selectAll();
    // The menu's "Open Source File" (the first selected row's image) and "Open Output" (the
    // folder of its "PDF Files" text).
    void openSource();
    void openOutput();
    // The output "..." and "Open" buttons.
    void chooseOutput();
    void openOutputBox();
    // The settings sheet over a copy of the page's output settings; reloaded from the file on OK.
    void openSettings();
    // Convert, or Stop while a job runs.
    void convert();

    void load();
    void save();

    // --- state for tests and the main window ----------------------------------------------------
    bool converting() const { return m_running; }
    // Handles events until a running job has ended and the page is unlocked again.
    void waitForJob();
    int mode() const { return m_mode; }
    const app::OutputSettings& outputSettings() const { return m_output; }
    // The Add Files dialog's name filters: all supported types, one per type, all files. Patterns
    // are separated by spaces, as the file dialog wants them.
    static QStringList addFilesFilters();

    FileList* fileList() const { return m_list; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* addFolderButton() const { return m_addFolder; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* upButton() const { return m_up; }
    QPushButton* downButton() const { return m_down; }
    QPushButton* convertButton() const { return m_convert; }
    QRadioButton* modeRadio(int mode) const { return m_modeRadios[static_cast<size_t>(mode)]; }
    QLineEdit* outputEdit() const { return m_outputEdit; }
    QPushButton* outputBrowseButton() const { return m_outputBrowse; }
    QPushButton* openButton() const { return m_openButton; }
    QPushButton* settingsButton() const { return m_settings; }
    // The line under the list that names files that could not be added.
    QLabel* statusLine() const { return m_statusLine; }
    // The line under the list that says why the selected row failed.
    QLabel* detailsLine() const { return m_details; }
    // "n of N files" while a job runs.
    QProgressBar* progressBar() const { return m_progress; }
    // The summary of the last job, shown from its end until the next job starts.
    QFrame* summaryBox() const { return m_summaryBox; }
    QLabel* summaryLabel() const { return m_summaryText; }
    QPushButton* openPdfButton() const { return m_openPdf; }
    QPushButton* openFolderButton() const { return m_openFolder; }

signals:
    // 1 when a job starts, 0 when it has ended.
    void jobState(int state);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // JobObserver, called on this page's thread.
    void rowSelected(size_t row) override;
    void rowStatus(size_t row, const std::string& status) override;
    void rowsReordered(const std::vector<size_t>& previousIndex) override;
    void outputNameShown(const std::string& path) override;
    void jobStateChanged(bool running) override;
    void textRecognised(size_t row, int frames, double seconds) override;
    jobs::ContinueAnswer askContinue() override;
    std::string askOutputName(const std::string& existingPath) override;

    QMessageBox::StandardButton message(const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::Icon icon);
    void modeChosen(int mode);
    void updatePlannedNames();
    void updateButtons();
    void afterAdding();
    void showNotAdded(const QStringList& problems);
    jobs::FolderOrder folderOrder() const;
    void setLocked(bool locked);
    void jobFinished(std::vector<jobs::FileRow>&& rows, const jobs::JobReport& report);
    void showDetails();
    void openPath(const QString& target);
    QString defaultStartFolder() const;

    app::SettingsLocation m_location;
    app::SettingsStore m_store;
    app::OutputSettings m_output;
    jobs::OutputPaths m_paths;
    jobs::LogSettings m_logSettings;
    int m_mode = 0;
    bool m_loaded = false;
    bool m_running = false;
    jobs::JobState m_state;

    FileList* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_addFolder = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QPushButton* m_convert = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    std::array<QRadioButton*, 3> m_modeRadios {};
    QLineEdit* m_outputEdit = nullptr;
    QPushButton* m_outputBrowse = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_settings = nullptr;
    QLabel* m_statusLine = nullptr;
    QLabel* m_details = nullptr;
    QProgressBar* m_progress = nullptr;
    QFrame* m_summaryBox = nullptr;
    QLabel* m_summaryText = nullptr;
    QPushButton* m_openPdf = nullptr;
    QPushButton* m_openFolder = nullptr;
    JobSummary m_summary;
    int m_jobConverted = 0;
    int m_jobFailed = 0;
    int m_textPages = 0;      // pages whose text recognition read during this job
    double m_textSeconds = 0; // the time it took

    MessageHook m_message;
    FilesChooser m_chooseFiles;
    FolderChooser m_chooseFolder;
    OutputChooser m_chooseOutput;
    SaveNameChooser m_chooseSaveName;
    std::function<void(const QString&)> m_open;
    services::SystemActions* m_actions = nullptr;

    // Last, so it is torn down (stopping a running job) before anything the job uses.
    std::unique_ptr<JobRunner> m_runner;
};

} // namespace folvane::gui
