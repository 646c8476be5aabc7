#include "jobs/job_log.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_paths.h"
#include "app/setting_keys.h"
#include "jobs/output_naming.h"

namespace folvane::jobs {

namespace {

std::tm localTime(std::time_t when)
{
    std::tm parts {};
    if (!::localtime_r(&when, &parts))
        parts = std::tm {};
    return parts;
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string timeStamp(std::time_t when)
{
    std::tm t = localTime(when);
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string timeStamp()
{
    return timeStamp(std::time(nullptr));
}

std::string logFileName(std::time_t when)
{
    std::tm t = localTime(when);
    char text[48];
    std::snprintf(text, sizeof text, "%d_%02d_%02d.log", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return text;
}

LogSettings loadLogSettings(const app::SettingsStore& store, const app::SettingsLocation& location)
{
    LogSettings settings;
    settings.enabled = store.getInt(app::key::recordLog, 0) == 1;
    settings.folder = store.getString(app::key::logFolder, "", kPathCapacity);
    if (settings.folder.empty())
        settings.folder = app::defaultLogFolder(location);
    return settings;
}

JobLog::JobLog()
    : m_clock([] { return std::time(nullptr); })
{
}

void JobLog::appendRecord(std::string_view tag, std::string_view value)
{
    m_text.append(tag);
    m_text.append(": ");
    size_t start = m_text.size();
    m_text.append(value);
    for (size_t i = start; i < m_text.size(); ++i)
        if (m_text[i] == '\r' || m_text[i] == '\n')
            m_text[i] = ' ';
    m_text.append("\r\n");
}

void JobLog::recordTime()
{
    appendRecord(kTagTime, timeStamp(m_clock()));
}

std::string JobLog::currentLogFilePath() const
{
    std::string folder = m_settings.folder;
    if (!folder.empty() && folder.back() != '/')
        folder.push_back('/');
    return folder + logFileName(m_clock());
}

bool JobLog::flushLog()
{
    bool written = false;
    if (m_settings.enabled) {
        std::string path = currentLogFilePath();
        app::AppPaths::createDirectories(path);
        // Non-blocking, so that a pipe put in place of the file cannot hang the job.
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (fd >= 0) {
            // One write per job keeps the records of two jobs that end together apart.
            written = writeAll(fd, m_text);
            written = ::close(fd) == 0 && written;
        }
    }
    m_text.clear();
    return written;
}

} // namespace folvane::jobs
