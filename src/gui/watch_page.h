#pragma once
// WatchPage: the watch-folder page. The user picks the folder to watch, the grouping and the
// output, what happens to converted sources, whether the folder is watched again and again at an
// interval, whether the program starts at login and whether watching starts by itself; "Start"
// runs the watch-folder runner and "Stop" ends it, and one state line shows its progress.
//
// Settings: the switches, the input folder, the interval and "doutput" are read when the page is
// first shown after the program started and written when the page is destroyed with the main
// window (only if it was ever shown); the output settings, the log settings, the mode and the
// three output paths are read every time it is shown; the mode and the output path of the
// current mode are written whenever it is hidden.
//
// While a run goes every control the runner depends on is disabled; the runner works on a copy of
// the page's values taken at Start.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

#include <array>
#include <functional>
#include <string>

#include "app/output_settings.h"
#include "app/settings_location.h"
#include "app/settings_store.h"
#include "gui_common.h"
#include "jobs/job_log.h"
#include "jobs/output_naming.h"

namespace folvane::gui {

class WatchWorker;

class WatchPage : public KeySwallowingPage {
    Q_OBJECT
public:
    WatchPage(const app::SettingsLocation& settings, QWidget* parent = nullptr);
    // Stops a run that still goes, then writes the keys of a closing page.
    ~WatchPage() override;

    // Seams for the dialogs and the shell, so tests answer them without modal windows.
    // A message box with the caption "Folvane" and an error icon.
    void setMessageHook(std::function<void(const QString&)> hook) { m_message = std::move(hook); }
    // A folder dialog titled `title`, opened at `start`: the chosen folder, empty for Cancel.
    void setFolderChooser(std::function<QString(QWidget*, const QString& title, const QString& start)> chooser)
    {
        m_chooseFolder = std::move(chooser);
    }
    // A save dialog for a PDF file titled "Folvane", opened at `start`: the chosen file, empty
    // for Cancel. Used by the output "Browse..." in merge mode and for the "Ask always" question.
    void setPdfFileChooser(std::function<QString(QWidget*, const QString& start)> chooser)
    {
        m_choosePdf = std::move(chooser);
    }
    // Opens a file or folder with the desktop's default application.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }
    // The program written into the autostart entry; the running program unless replaced.
    void setProgramPath(std::string path) { m_programPath = std::move(path); }

    WatchWorker* worker() const { return m_worker; }
    bool wasShown() const { return m_firstShown; }
    // The page's mode (0 merge, 1 per image, 2 per folder) and its stored output paths.
    int mode() const { return m_mode; }
    const jobs::OutputPaths& outputPaths() const { return m_paths; }
    const app::OutputSettings& outputSettings() const { return m_output; }

    QLineEdit* inputEdit() const { return m_input; }
    QPushButton* inputBrowseButton() const { return m_inputBrowse; }
    QPushButton* inputOpenButton() const { return m_inputOpen; }
    QCheckBox* subfolderCheck() const { return m_subdir; }
    QCheckBox* deleteCheck() const { return m_delete; }
    QRadioButton* modeRadio(int mode) const { return m_modeRadios[static_cast<size_t>(mode)]; }
    QLineEdit* outputEdit() const { return m_outputBox; }
    QPushButton* outputBrowseButton() const { return m_outputBrowse; }
    QPushButton* outputOpenButton() const { return m_outputOpen; }
    QCheckBox* keepSubfolderCheck() const { return m_keepsub; }
    QCheckBox* winStartCheck() const { return m_winstart; }
    QCheckBox* autoRunCheck() const { return m_autorun; }
    QCheckBox* intervalCheck() const { return m_runsec; }
    QLineEdit* secondsEdit() const { return m_seconds; }
    QPushButton* settingsButton() const { return m_settingsButton; }
    QLabel* stateLabel() const { return m_state; }
    // Under the state line: "Since Start: N converted, M failed. Last: NAME (Done)" from the
    // first Start on, kept when the run ends, reset by the next Start.
    QLabel* tallyLabel() const { return m_tally; }
    static QString tallyText(int converted, int failed, const QString& lastFile, const QString& lastOutcome);
    QPushButton* startButton() const { return m_start; }

    // Message texts.
    static const QString kNoOutputText;

signals:
    // A run started (1) or ended (0); 0 also when Start was refused.
    void jobState(int state);

public slots:
    // "Start" / "Stop".
    void onStart();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void firstShow();
    void everyShow();
    void saveOnHide();
    void saveOnClose();

    void selectMode(int mode);
    void lock(bool locked);
    void showStartButton(bool running);
    void onRunStarted();
    void onRunEnded();
    void onFileDone(const QString& path, const QString& outcome, const QString& reason);
    void showTally();
    void onInputBrowse();
    void onOutputBrowse();
    void onWinStart();
    void onSettings();
    void openBox(const QLineEdit* box);
    void message(const QString& text);
    QString chooseFolder(const QString& title, const QString& start);
    QString choosePdf(const QString& start);

    app::SettingsLocation m_location;
    app::SettingsStore m_store;
    app::OutputSettings m_output;
    jobs::OutputPaths m_paths;
    jobs::LogSettings m_log;
    int m_mode = jobs::kMergeMode;
    bool m_firstShown = false;
    std::string m_programPath;
    WatchWorker* m_worker = nullptr;

    QLineEdit* m_input = nullptr;
    QPushButton* m_inputBrowse = nullptr;
    QPushButton* m_inputOpen = nullptr;
    QCheckBox* m_subdir = nullptr;
    QCheckBox* m_delete = nullptr;
    std::array<QRadioButton*, 3> m_modeRadios {};
    QLineEdit* m_outputBox = nullptr;
    QPushButton* m_outputBrowse = nullptr;
    QPushButton* m_outputOpen = nullptr;
    QCheckBox* m_keepsub = nullptr;
    QCheckBox* m_winstart = nullptr;
    QCheckBox* m_autorun = nullptr;
    QCheckBox* m_runsec = nullptr;
    QLineEdit* m_seconds = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QLabel* m_state = nullptr;
    QLabel* m_tally = nullptr;
    int m_converted = 0;
    int m_failed = 0;
    QString m_lastFile;
    QString m_lastOutcome;
    QPushButton* m_start = nullptr;

    std::function<void(const QString&)> m_message;
    std::function<QString(QWidget*, const QString&, const QString&)> m_chooseFolder;
    std::function<QString(QWidget*, const QString&)> m_choosePdf;
    std::function<void(const QUrl&)> m_openUrl;
};

} // namespace folvane::gui
