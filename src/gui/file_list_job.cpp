// The conversion job of the file-list page: Convert and Stop, the locking of the page while the
// job runs, and the job's observer calls, which arrive on the user-interface thread.

#include "file_list_page.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

#include "app/setting_keys.h"
#include "engine/engine.h"
#include "file_list.h"
#include "job_runner.h"
#include "services/after_action.h"

namespace folvane::gui {

namespace {

// The real system actions, except that the output is opened through the desktop services of the
// user-interface thread rather than by starting a program from the job's worker.
class GuiSystemActions : public services::LinuxSystemActions {
public:
    void openWithDefaultApplication(const std::string& target) override
    {
        QString path = QString::fromStdString(target);
        QMetaObject::invokeMethod(
            qApp, [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }, Qt::QueuedConnection);
    }
};

GuiSystemActions& guiSystemActions()
{
    static GuiSystemActions actions;
    return actions;
}

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

} // namespace

// --- the job ----------------------------------------------------------------------------------

void FileListPage::convert()
{
    if (m_running) {
        m_runner->requestStop();
        return;
    }
    if (m_list->rowCount() == 0) {
        message(kNoFilesText, QMessageBox::Ok, QMessageBox::Critical);
        return;
    }
    // A missing recognition language would leave every page without its text.
    if (m_output.recognizeText == 1) {
        std::string problem = engine::textRecognitionProblem(m_output.recognitionLanguages);
        if (!problem.empty()) {
            message(QString::fromStdString(problem), QMessageBox::Ok, QMessageBox::Critical);
            return;
        }
    }
    int policy = m_store.getInt(app::key::existingOutput, jobs::kCreateNewFile);
    std::vector<jobs::FileRow> rows = m_list->rows();
    m_state.log.setSettings(m_logSettings);
    // beginJob reports the start (which locks the page) and may ask the continue question.
    if (!jobs::beginJob(m_state, rows, m_mode, policy, *this))
        return;
    // The rows this job converts are those beginJob left without a status.
    int total = static_cast<int>(std::count_if(rows.begin(), rows.end(),
                                               [](const jobs::FileRow& row) { return row.status == jobs::kStatusNone; }));
    m_jobConverted = m_jobFailed = 0;
    m_textPages = 0;
    m_textSeconds = 0;
    m_progress->setFormat(QStringLiteral("%v of %m files"));
    m_summaryBox->hide();
    m_progress->setRange(0, std::max(total, 1));
    m_progress->setValue(0);
    m_progress->show();
    jobs::JobSettings settings;
    settings.mode = m_mode;
    settings.paths = m_paths;
    settings.output = m_output;
    services::SystemActions& actions = m_actions ? *m_actions : guiSystemActions();
    app::SettingsStore store = m_store;
    m_runner->start(m_state, std::move(rows), std::move(settings), actions,
                    [store] { return store.getInt(app::key::afterConversion, services::kDoNothing); },
                    [this](std::vector<jobs::FileRow>&& done, const jobs::JobReport& report) {
                        jobFinished(std::move(done), report);
                    });
}

void FileListPage::waitForJob()
{
    m_runner->waitForFinished();
}

void FileListPage::setLocked(bool locked)
{
    m_list->setLocked(locked);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_add, m_addFolder, m_settings, m_outputEdit,
                                                           m_outputBrowse, m_openButton})
        widget->setEnabled(!locked);
    for (QRadioButton* radio : m_modeRadios)
        radio->setEnabled(!locked);
    m_convert->setText(locked ? QStringLiteral("Stop") : QStringLiteral("Convert"));
    if (locked) {
        m_remove->setEnabled(false);
        m_up->setEnabled(false);
        m_down->setEnabled(false);
        m_convert->setEnabled(true);
    }
}

void FileListPage::jobFinished(std::vector<jobs::FileRow>&& rows, const jobs::JobReport& report)
{
    // The job's rows carry the converted flags a later per-image run needs, and the reasons of
    // the rows that failed.
    m_list->setRows(std::move(rows));
    m_running = false;
    setLocked(false);
    updateButtons();
    showDetails();
    m_progress->hide();
    m_summary = summarizeJob(m_jobConverted, m_jobFailed, report);
    m_summaryText->setText(summaryText(m_summary));
    m_openPdf->setEnabled(!m_summary.lastPdf.isEmpty());
    m_openFolder->setEnabled(!m_summary.lastPdf.isEmpty());
    m_summaryBox->show();
    emit jobState(0);
}

// --- JobObserver ------------------------------------------------------------------------------

void FileListPage::rowSelected(size_t row)
{
    if (row < m_list->rowCount())
        m_list->selectOnly(row);
}

void FileListPage::rowStatus(size_t row, const std::string& status)
{
    m_list->setStatus(row, status);
    if (status == jobs::kStateSucceed)
        ++m_jobConverted;
    else if (status == jobs::kStateFailed)
        ++m_jobFailed;
    else
        return;
    m_progress->setValue(std::min(m_jobConverted + m_jobFailed, m_progress->maximum()));
}

// With text recognition on, the progress bar also says how many pages were read and how long that
// took, the part of a job's time that recognition usually takes.
void FileListPage::textRecognised(size_t, int frames, double seconds)
{
    m_textPages += frames;
    m_textSeconds += seconds;
    m_progress->setFormat(QStringLiteral("%v of %m files, text read on %1 %2 in %3 s")
                              .arg(m_textPages)
                              .arg(m_textPages == 1 ? QStringLiteral("page") : QStringLiteral("pages"))
                              .arg(m_textSeconds, 0, 'f', 1));
}

void FileListPage::rowsReordered(const std::vector<size_t>& previousIndex) { m_list->reorder(previousIndex); }

void FileListPage::outputNameShown(const std::string& path) { m_outputEdit->setText(fromUtf8(path)); }

void FileListPage::jobStateChanged(bool running)
{
    // The end is reported once the worker has handed its rows back (jobFinished).
    if (!running || m_running)
        return;
    m_running = true;
    setLocked(true);
    emit jobState(1);
}

jobs::ContinueAnswer FileListPage::askContinue()
{
    return message(kContinueText, QMessageBox::Yes | QMessageBox::No, QMessageBox::Information) == QMessageBox::Yes
               ? jobs::kContinueConvert
               : jobs::kNewConvert;
}

std::string FileListPage::askOutputName(const std::string& existingPath)
{
    QString existing = fromUtf8(existingPath);
    QString chosen;
    if (m_chooseSaveName)
        chosen = m_chooseSaveName(this, existing);
    else
        chosen = askNameForExistingPdf(this, existing, true);
    return chosen.toStdString();
}

} // namespace folvane::gui
