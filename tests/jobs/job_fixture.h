#pragma once
// What the job tests share: the contexts a job or a watch run talks to (built here only; jobs
// write through the real engine), an observer that records every update, rows for image files, and looks at what
// a run left behind (log lines, page counts and sizes of the written PDFs).

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../services/fake_system_actions.h"
#include "jobs/conversion_job.h"
#include "jobs/image_inputs.h"
#include "jobs/watch_runner.h"
#include "support/appended_pdf.h"
#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {

namespace fs = std::filesystem;

inline jobs::JobContext jobContext(jobs::JobObserver& observer, services::SystemActions& actions,
                                   std::function<int()> afterAction = {})
{
    return jobs::JobContext {observer, actions, std::move(afterAction)};
}

inline jobs::WatchContext watchContext(jobs::JobObserver& observer, services::SystemActions& actions,
                                       std::function<int()> afterAction,
                                       decltype(jobs::WatchContext::fileDone) fileDone,
                                       decltype(jobs::WatchContext::notice) notice)
{
    return jobs::WatchContext {observer, actions, std::move(afterAction), std::move(fileDone),
                               std::move(notice), {}};
}

inline jobs::OutputPolicy outputPolicy(int policy, jobs::NamingStyle style = jobs::NamingStyle::List,
                                       jobs::JobObserver* observer = nullptr)
{
    return jobs::OutputPolicy {policy, style, observer};
}

// Records the front end's updates as lines of text and answers its questions as told; hooks let
// a test act at a given update (request a stop, take a folder away).
class RecordingObserver : public jobs::JobObserver {
public:
    std::vector<std::string> events;
    std::vector<std::string> stateLines;
    jobs::ContinueAnswer continueAnswer = jobs::kNewConvert;
    int continueQuestions = 0;
    std::function<void(size_t)> onSelect;
    std::function<void(size_t, const std::string&)> onStatus;
    std::function<void(const std::string&)> onStateLine;
    std::function<void(const std::string&)> onOutput; // a document was opened under this path

    void rowSelected(size_t row) override
    {
        events.push_back("select " + std::to_string(row));
        if (onSelect)
            onSelect(row);
    }
    void rowStatus(size_t row, const std::string& status) override
    {
        events.push_back("status " + std::to_string(row) + " " + status);
        if (onStatus)
            onStatus(row, status);
    }
    void rowsReordered(const std::vector<size_t>& previous) override
    {
        std::string text = "reordered";
        for (size_t i : previous)
            text += " " + std::to_string(i);
        events.push_back(text);
    }
    void outputNameShown(const std::string& path) override
    {
        events.push_back("output " + path);
        if (onOutput)
            onOutput(path);
    }
    void jobStateChanged(bool running) override { events.push_back(running ? "started" : "ended"); }
    jobs::ContinueAnswer askContinue() override
    {
        ++continueQuestions;
        return continueAnswer;
    }
    void watchStateLine(const std::string& text) override
    {
        stateLines.push_back(text);
        if (onStateLine)
            onStateLine(text);
    }
    bool saw(const std::string& event) const
    {
        for (const std::string& e : events)
            if (e == event)
                return true;
        return false;
    }
};

// Rows for the paths; a path that is no file still gets a row, as the command line gives it.
inline std::vector<jobs::FileRow> fileRows(const std::vector<std::string>& paths)
{
    std::vector<jobs::FileRow> rows;
    for (const std::string& path : paths) {
        jobs::FileRow row;
        if (!jobs::makeFileRow(path, row))
            row.path = path;
        rows.push_back(row);
    }
    return rows;
}

inline std::vector<std::string> statuses(const std::vector<jobs::FileRow>& rows)
{
    std::vector<std::string> out;
    for (const jobs::FileRow& row : rows)
        out.push_back(row.status);
    return out;
}

// The records of a job log file, one per line.
inline std::vector<std::string> logLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A one-colour BMP; its shape tells its page apart from others.
inline std::string bmpFile(const fs::path& path, int width = 40, int height = 30, uint32_t colour = 0x3366cc)
{
    fs::create_directories(path.parent_path());
    writeBmp24(path, width, height, [colour](int, int) { return colour; });
    return path.string();
}

// A file that starts like a JPEG and holds nothing decodable.
inline std::string damagedFile(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    writeFileBytes(path, "\xff\xd8\xff\xe0 not really a jpeg");
    return path.string();
}

// The shape of every page as pdfinfo reports it: 'L' wider than tall, 'P' taller, 'S' square.
inline std::string pageShapes(const fs::path& pdf)
{
    CommandResult info = runCommand("pdfinfo -f 1 -l 9999 " + shellQuote(pdf.string()));
    std::string shapes;
    for (size_t at = info.output.find(" size: "); at != std::string::npos; at = info.output.find(" size: ", at + 1)) {
        double width = 0, height = 0;
        if (std::sscanf(info.output.c_str() + at, " size: %lf x %lf", &width, &height) == 2)
            shapes += width > height + 0.5 ? 'L' : height > width + 0.5 ? 'P' : 'S';
    }
    return shapes;
}

} // namespace folvane::test
