// The conversion job with several workers against the same job with one, on real image files:
// the same statuses, observer updates, log text, output names and file contents.

#include "jobs/conversion_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <thread>

#include "../engine/intake_fixtures.h"
#include "job_fixture.h"

namespace folvane::jobs {
namespace {

namespace fs = std::filesystem;

// Records every update as a line of text and the threads the updates arrive on.
class EventLog : public JobObserver {
public:
    std::vector<std::string> events;
    std::vector<std::string> questions;
    std::set<std::thread::id> threads;
    std::function<std::string(const std::string&)> answer; // askOutputName; empty: Cancel

    void rowSelected(size_t row) override { note("select " + std::to_string(row)); }
    void rowStatus(size_t row, const std::string& status) override
    {
        note("status " + std::to_string(row) + " " + status);
    }
    void rowsReordered(const std::vector<size_t>& previous) override
    {
        std::string text = "reorder";
        for (size_t index : previous)
            text += " " + std::to_string(index);
        note(text);
    }
    void outputNameShown(const std::string& path) override { note("output " + path); }
    void jobStateChanged(bool running) override { note(running ? "running" : "ended"); }
    std::string askOutputName(const std::string& existingPath) override
    {
        note("ask " + existingPath);
        questions.push_back(existingPath);
        return answer ? answer(existingPath) : std::string();
    }

private:
    void note(const std::string& text)
    {
        std::lock_guard lock(m_mutex);
        events.push_back(text);
        threads.insert(std::this_thread::get_id());
    }
    std::mutex m_mutex;
};

// Blanks what differs between two runs anyway: the dates and the file identifier.
std::string withoutRunDetails(std::string pdf)
{
    for (const char* key : {"/CreationDate (", "/ModDate (", "/ID ["}) {
        const char close = key[std::string(key).size() - 1] == '(' ? ')' : ']';
        for (size_t at = pdf.find(key); at != std::string::npos; at = pdf.find(key, at + 1)) {
            size_t end = pdf.find(close, at);
            for (size_t i = at + std::string(key).size(); i < end && end != std::string::npos; ++i)
                pdf[i] = '#';
        }
    }
    return pdf;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Everything a run leaves that must not depend on the number of workers; the output folder
// appears as "<out>".
struct Outcome {
    std::vector<std::string> statuses;
    std::vector<std::string> events;
    std::string log;
    std::vector<std::string> outputs;          // path, created, written, appended
    std::map<std::string, std::string> files;  // name in the output folder -> contents
    bool stopped = false;
    bool operator==(const Outcome&) const = default;
};

class ParallelJob : public test::PdfTest {
protected:
    void SetUp() override
    {
        dir = test::scratchDir();
        fs::create_directories(dir / "in");
    }

    std::string bmp(const std::string& name, uint32_t colour)
    {
        fs::path path = dir / "in" / name;
        fs::create_directories(path.parent_path());
        test::writeBmp24(path, 40, 30, [colour](int x, int) { return x < 4 ? 0xffffffu : colour; });
        return path.string();
    }
    std::string tiff(const std::string& name, int width = 32, int height = 24)
    {
        fs::path path = dir / "in" / name;
        fs::create_directories(path.parent_path());
        test::TiffPage page;
        page.width = width;
        page.height = height;
        page.value = [](int x, int y, int) { return static_cast<uint8_t>((x * 7 + y * 3) & 0xff); };
        test::writeTiff(path, {page, page, page});
        return path.string();
    }
    std::string png(const std::string& name)
    {
        fs::path path = dir / "in" / name;
        fs::create_directories(path.parent_path());
        test::writePngGray(path, 50, 20, [](int x, int y) { return static_cast<uint8_t>(x * 5 + y); });
        return path.string();
    }
    std::string damaged(const std::string& name, const std::string& bytes)
    {
        fs::path path = dir / "in" / name;
        fs::create_directories(path.parent_path());
        test::writeFileBytes(path, bytes);
        return path.string();
    }

    static std::vector<FileRow> rows(const std::vector<std::string>& paths)
    {
        std::vector<FileRow> out;
        for (const std::string& path : paths) {
            FileRow row;
            if (!makeFileRow(path, row))
                row.path = path; // a missing file still gets a row, as the command line gives it
            out.push_back(row);
        }
        return out;
    }

    // Runs a job into the fresh folder `outName` and collects what it left.
    Outcome convert(std::vector<FileRow>& list, int mode, int workers, const std::string& outName,
                    int policy = kCreateNewFile, EventLog* observer = nullptr)
    {
        fs::path out = dir / outName;
        fs::create_directories(out);
        EventLog ownObserver;
        EventLog& events = observer ? *observer : ownObserver;
        state.log.setClock([] { return std::time_t {1400000000}; });
        JobSettings settings;
        settings.mode = mode;
        settings.workers = workers;
        settings.output.imagesPerPage = 1;
        settings.output.jpegQuality = 75;
        settings.output.bookmarksOn = 1;
        settings.paths = {(out / "merged.pdf").string(), out.string() + "/", out.string() + "/"};
        if (beginJob(state, list, mode, policy, events)) {
            JobContext context = test::jobContext(events, actions);
            JobReport report = runJob(state, list, settings, context);
            outcome.stopped = report.stopped;
            for (const OutputRecord& output : report.outputs)
                outcome.outputs.push_back(replaceAll(output.path, out.string(), "<out>") + " " +
                                          std::to_string(output.created) + std::to_string(output.written) +
                                          std::to_string(output.appended));
        }
        for (const FileRow& row : list)
            outcome.statuses.push_back(row.status);
        for (const std::string& event : events.events)
            outcome.events.push_back(replaceAll(event, out.string(), "<out>"));
        for (const auto& entry : fs::directory_iterator(out)) {
            std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".pdf")
                pdfPath(outName + "/" + name);
            outcome.files[name] = withoutRunDetails(test::readFileBytes(entry.path()));
        }
        Outcome result = std::move(outcome);
        outcome = Outcome {};
        return result;
    }

    fs::path dir;
    JobState state;
    test::FakeSystemActions actions;
    Outcome outcome;
};

// The log text is flushed (and emptied) at the end of runJob; a folder lets the test read it.
std::string flushedLog(const fs::path& folder)
{
    std::string text;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            text += test::readFileBytes(entry.path());
    return text;
}

class ParallelJobWithLog : public ParallelJob {
protected:
    Outcome run(std::vector<FileRow> list, int mode, int workers, int policy = kCreateNewFile,
                EventLog* observer = nullptr)
    {
        std::string name = "out-j" + std::to_string(workers) + "-" + std::to_string(++m_runs);
        fs::path logFolder = dir / ("log-" + name);
        state.log.setSettings(LogSettings {true, logFolder.string()});
        Outcome result = convert(list, mode, workers, name, policy, observer);
        result.log = replaceAll(flushedLog(logFolder), (dir / name).string(), "<out>");
        return result;
    }

private:
    int m_runs = 0;
};

void expectSameOutcome(const Outcome& one, const Outcome& many, int workers)
{
    EXPECT_EQ(one.statuses, many.statuses) << workers << " workers";
    EXPECT_EQ(one.events, many.events) << workers << " workers";
    EXPECT_EQ(one.log, many.log) << workers << " workers";
    EXPECT_EQ(one.outputs, many.outputs) << workers << " workers";
    EXPECT_EQ(one.stopped, many.stopped) << workers << " workers";
    ASSERT_EQ(one.files.size(), many.files.size()) << workers << " workers";
    for (const auto& [name, bytes] : one.files) {
        auto found = many.files.find(name);
        ASSERT_NE(found, many.files.end()) << name << " missing with " << workers << " workers";
        EXPECT_TRUE(found->second == bytes) << name << " differs with " << workers << " workers";
    }
}

int pageCount(const fs::path& pdf)
{
    test::CommandResult result = test::runCommand("qpdf --show-npages " + test::shellQuote(pdf.string()));
    return result.exitCode == 0 ? std::atoi(result.output.c_str()) : -1;
}

TEST_F(ParallelJobWithLog, PerImageWithDamagedInputsMatchesOneWorker)
{
    std::vector<std::string> inputs = {
        bmp("a.bmp", 0x3366cc),
        damaged("broken.jpg", "\xff\xd8\xff\xe0 not really a jpeg"),
        tiff("pages.tif"),
        damaged("empty.png", ""),
        png("gray.png"),
        (dir / "in/missing.bmp").string(),
        bmp("one/same.bmp", 0xcc3300),
        damaged("two/same.bmp", "BM but nothing else"),
        bmp("three/same.bmp", 0x00aa00),
        bmp("z.bmp", 0x101010),
    };
    Outcome one = run(rows(inputs), kPerImageMode, 1);
    EXPECT_EQ(one.statuses, (std::vector<std::string> {"Succeed", "Failed", "Succeed", "Failed", "Succeed", "Failed",
                                                       "Succeed", "Failed", "Succeed", "Succeed"}));
    // The damaged second "same" took and gave back same001.pdf, which the third then got.
    EXPECT_EQ(one.files.count("same.pdf"), 1u);
    EXPECT_EQ(one.files.count("same001.pdf"), 1u);
    EXPECT_EQ(one.files.count("same002.pdf"), 0u);
    EXPECT_EQ(one.files.size(), 6u);
    EXPECT_EQ(pageCount(dir / "out-j1-1/pages.pdf"), 3);
    EXPECT_NE(one.log.find("[State]: Failed"), std::string::npos);

    for (int workers : {2, 4})
        expectSameOutcome(one, run(rows(inputs), kPerImageMode, workers), workers);
}

TEST_F(ParallelJobWithLog, PerFolderWithDamagedInputsMatchesOneWorker)
{
    std::vector<std::string> inputs = {
        bmp("b/p/2.bmp", 0x202020),    damaged("a/q/bad.jpg", "\xff\xd8 nothing"), bmp("a/p/1.bmp", 0x404040),
        tiff("a/q/pages.tif"),         bmp("c/r/only.bmp", 0x606060),             damaged("d/s/empty.bmp", ""),
        bmp("a/p/3.bmp", 0x808080),    png("e/p/gray.png"),
    };
    // After sorting: a/p (2 rows) and a/q (2) and b/p (1), c/r, d/s, e/p. a/p and a/q differ, so
    // b/p and e/p each make a new document named after p: p001.pdf, p002.pdf.
    Outcome one = run(rows(inputs), kPerFolderMode, 1);
    EXPECT_EQ(one.files.count("p.pdf") + one.files.count("p001.pdf") + one.files.count("p002.pdf"), 3u);
    EXPECT_EQ(one.files.count("s.pdf"), 0u) << "a folder of damaged images leaves no PDF";
    EXPECT_EQ(pageCount(dir / "out-j1-1/q.pdf"), 3);
    EXPECT_EQ(pageCount(dir / "out-j1-1/p.pdf"), 2);

    for (int workers : {2, 4})
        expectSameOutcome(one, run(rows(inputs), kPerFolderMode, workers), workers);
}

TEST_F(ParallelJobWithLog, InputsSharingOneOutputNameAreNamedAsByOneWorker)
{
    // Twelve images of one name in different folders, one of them damaged: with "Create new
    // file" each gets its own numbered name, in input order; overwriting keeps the last good
    // one; appending collects every good one in one file.
    std::vector<std::string> inputs;
    for (int i = 0; i < 12; ++i) {
        char folder[16];
        std::snprintf(folder, sizeof folder, "f%02d/scan.bmp", i);
        uint32_t gray = static_cast<uint32_t>(10 + 20 * i) * 0x010101u;
        inputs.push_back(i == 5 ? damaged(folder, "BM") : bmp(folder, gray));
    }
    for (int policy : {kCreateNewFile, kOverwrite, kAppend}) {
        SCOPED_TRACE(policy);
        Outcome one = run(rows(inputs), kPerImageMode, 1, policy);
        expectSameOutcome(one, run(rows(inputs), kPerImageMode, 4, policy), 4);
        expectSameOutcome(one, run(rows(inputs), kPerImageMode, 3, policy), 3);
    }

    // The pictures of the numbered files follow the input order: scan.pdf holds f00, scanNNN.pdf
    // the NNN-th good image after it.
    Outcome many = run(rows(inputs), kPerImageMode, 4);
    EXPECT_EQ(many.files.size(), 11u);
    fs::path out = dir / "out-j4-10";
    fs::create_directories(dir / "render");
    for (int i = 0; i < 12; ++i) {
        if (i == 5)
            continue;
        int number = i < 5 ? i : i - 1;
        char name[32];
        if (number == 0)
            std::snprintf(name, sizeof name, "scan.pdf");
        else
            std::snprintf(name, sizeof name, "scan%03d.pdf", number);
        test::Rendered page = test::renderGray(out / name, 1, dir / "render");
        ASSERT_GT(page.width, 20) << name;
        EXPECT_NEAR(page.at(page.width / 2, page.height / 2), 10 + 20 * i, 6) << name;
    }
}

TEST_F(ParallelJobWithLog, QuestionsAreAskedOnTheJobsThreadInInputOrder)
{
    // "Ask always" with every output existing: the first question gets a typed name that a later
    // document also wants, the others are cancelled.
    std::vector<std::string> inputs = {bmp("a.bmp", 0x111111), bmp("b.bmp", 0x222222), bmp("x/chosen.bmp", 0x333333),
                                       bmp("c.bmp", 0x444444)};
    std::vector<Outcome> outcomes;
    for (int workers : {1, 3}) {
        std::string name = "out-j" + std::to_string(workers) + "-" + std::to_string(outcomes.size() + 1);
        fs::create_directories(dir / name);
        for (const char* existing : {"a.pdf", "b.pdf", "c.pdf"})
            ASSERT_EQ(test::runCommand("qpdf --empty " + test::shellQuote((dir / name / existing).string())).exitCode,
                      0);
        EventLog observer;
        std::string chosen = (dir / name / "chosen.pdf").string();
        observer.answer = [chosen](const std::string& path) {
            return path.ends_with("/a.pdf") ? chosen : std::string();
        };
        outcomes.push_back(run(rows(inputs), kPerImageMode, workers, kAskAlways, &observer));
        EXPECT_EQ(observer.threads, std::set<std::thread::id> {std::this_thread::get_id()});
        ASSERT_EQ(observer.questions.size(), 4u);
        EXPECT_TRUE(observer.questions[0].ends_with("/a.pdf"));
        EXPECT_TRUE(observer.questions[1].ends_with("/b.pdf"));
        // chosen.pdf was written by the first document, so the third one is asked about it.
        EXPECT_TRUE(observer.questions[2].ends_with("/chosen.pdf"));
        EXPECT_TRUE(observer.questions[3].ends_with("/c.pdf"));
        outcomes.back().events.clear(); // the questions sit in other places among the updates
    }
    expectSameOutcome(outcomes[0], outcomes[1], 3);
    EXPECT_EQ(outcomes[0].files.count("chosen001.pdf"), 1u);
}

TEST_F(ParallelJobWithLog, StopLeavesCompleteFilesAndAContinuableRun)
{
    std::vector<std::string> inputs;
    for (int i = 0; i < 16; ++i)
        inputs.push_back(i == 1 ? damaged("bad.jpg", "\xff\xd8") : tiff("t" + std::to_string(i) + ".tif", 400, 300));
    std::vector<FileRow> list = rows(inputs);

    // Stop as soon as the fourth PDF is on disk: the workers may have taken a few rows after it,
    // never all of them.
    EventLog observer;
    fs::path logFolder = dir / "log-stop";
    state.log.setSettings(LogSettings {true, logFolder.string()});
    std::atomic<bool> ended {false};
    std::thread stopper([&] {
        while (!ended && !fs::exists(dir / "stop/t3.pdf"))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.stopRequested = 1;
    });
    Outcome stopped = convert(list, kPerImageMode, 3, "stop", kCreateNewFile, &observer);
    ended = true;
    stopper.join();
    EXPECT_TRUE(stopped.stopped);

    // The rows started form a prefix; each is finished, the rest untouched.
    size_t started = 0;
    while (started < list.size() && list[started].converted == 1)
        ++started;
    EXPECT_GE(started, 4u);
    ASSERT_LT(started, list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].converted == 1, i < started) << i;
        EXPECT_EQ(list[i].status, i >= started ? "-" : i == 1 ? "Failed" : "Succeed") << i;
    }
    // Only complete PDFs are left (the fixture checks each), no temporary file, and the log
    // holds exactly the rows started.
    for (const auto& [name, bytes] : stopped.files)
        EXPECT_TRUE(name.ends_with(".pdf") && name[0] != '.') << name;
    EXPECT_EQ(stopped.files.size(), started - 1);
    std::string log = flushedLog(logFolder);
    size_t inputsLogged = 0;
    for (size_t at = log.find("[Input]"); at != std::string::npos; at = log.find("[Input]", at + 1))
        ++inputsLogged;
    EXPECT_EQ(inputsLogged, started);

    // Continuing converts only the rows not started.
    struct Continue : EventLog {
        ContinueAnswer askContinue() override { return kContinueConvert; }
    } continuing;
    fs::remove_all(logFolder);
    Outcome rest = convert(list, kPerImageMode, 3, "stop", kCreateNewFile, &continuing);
    EXPECT_FALSE(rest.stopped);
    for (size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list[i].status, i == 1 ? "Failed" : "Succeed") << i;
    log = flushedLog(logFolder);
    EXPECT_EQ(log.find(inputs[0]), std::string::npos);
    EXPECT_NE(log.find(inputs.back()), std::string::npos);
    EXPECT_EQ(rest.files.size(), list.size() - 1);
}

} // namespace
} // namespace folvane::jobs
