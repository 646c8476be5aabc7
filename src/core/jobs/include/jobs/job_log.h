#pragma once
// The job log: tagged lines about every output document and source image of a job, collected in
// memory while the job runs and appended to a file named after the day when the job ends.
//
// A record is "<tag>: <value>\r\n". The log file "<year>_<MM>_<DD>.log" lies in the configured
// folder and only ever grows; several jobs of one day share it.
//
// Threads: a JobLog belongs to one page and is used by that page's job worker only (there is
// never more than one job per page), so it takes no lock. A job that writes several documents at
// once gives each document a JobLog of its own and appends them to the page's log in input order.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "app/settings_location.h"
#include "app/settings_store.h"

namespace folvane::jobs {

// Record tags and outcome words.
inline constexpr std::string_view kTagTime = "[Time]";
inline constexpr std::string_view kTagInput = "[Input]";
inline constexpr std::string_view kTagOutput = "[Output]";
inline constexpr std::string_view kTagState = "[State]";
// After "[State]: Failed": why, in the words the command line prints (a refused append too).
inline constexpr std::string_view kTagReason = "[Reason]";
inline constexpr std::string_view kTagNote = "[Note]"; // a converted source that lacks something
inline constexpr std::string_view kStateSucceed = "Succeed";
inline constexpr std::string_view kStateFailed = "Failed";
inline constexpr std::string_view kStateCreateFailed = "Create Failed";

// The local time `when` as "%d/%02d/%02d %d:%02d:%02d" (year/month/day hour:minute:second, the
// hour not padded), e.g. "2014/05/30 9:05:07".
std::string timeStamp(std::time_t when);
// The current local time in that form.
std::string timeStamp();

// The name of the log file for the local date of `when`: "%d_%02d_%02d.log", e.g. "2014_05_30.log".
std::string logFileName(std::time_t when);

// Whether the log file is written, and where. Read when a conversion page is shown.
struct LogSettings {
    bool enabled = false; // "log" is 1
    std::string folder;   // "logpath"
};

// "log" and "logpath" of the settings file. An empty "logpath" (only a hand-edited file has one)
// becomes the default log folder of the settings location.
LogSettings loadLogSettings(const app::SettingsStore& store, const app::SettingsLocation& location);

class JobLog {
public:
    using Clock = std::function<std::time_t()>;

    JobLog();

    void setSettings(LogSettings settings) { m_settings = std::move(settings); }
    const LogSettings& settings() const { return m_settings; }

    // The time source of "[Time]" records and of the log file's name; the system clock unless a
    // test replaces it.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    const Clock& clock() const { return m_clock; }

    // Appends "<tag>: <value>\r\n". The value is taken whole, except that carriage returns and
    // line feeds in it (possible in Linux file names) become spaces, so a record stays one line.
    void appendRecord(std::string_view tag, std::string_view value);

    // Appends a "[Time]" record with the clock's current local time.
    void recordTime();

    // The records not yet flushed.
    const std::string& text() const { return m_text; }

    // Appends the records `other` collected, as they stand (they are complete records already);
    // `other` keeps them.
    void appendRecordsOf(const JobLog& other) { m_text += other.m_text; }

    // When logging is enabled: creates every missing level of the folder and appends the records
    // to the file named after the clock's current day in one write. In every case the records are
    // then dropped. Folder and file errors are not reported to the job (the records are lost);
    // the result only tells whether the records reached the file, for front ends that want to
    // mention it.
    bool flushLog();

    // The file flushLog writes to now: the folder (a "/" added when missing) and logFileName.
    std::string currentLogFilePath() const;

private:
    LogSettings m_settings;
    Clock m_clock;
    std::string m_text;
};

} // namespace folvane::jobs
