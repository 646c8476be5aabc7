// folvane-cli watch run as a process on image files the test writes, each run with its own
// settings file and its own HOME and XDG folders below the scratch folder.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WatchCliTest : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        fs::create_directories(dir / "home");
        fs::create_directories(dir / "in");
    }

    void bmp(const std::string& name, int width = 40, int height = 30)
    {
        writeBmp24(dir / "in" / name, width, height,
                   [](int x, int y) { return static_cast<uint32_t>((x * 2654435761u) ^ (y * 40503u)) & 0xffffffu; });
    }

    std::string environment()
    {
        std::string home = shellQuote((dir / "home").string());
        return "env HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home +
               "/data FOLVANE_SETTINGS= ";
    }

    std::string settingsArgument() { return " --settings " + shellQuote((dir / "Settings.ini").string()); }

    CommandResult cli(const std::string& arguments)
    {
        return runCommand(environment() + shellQuote(FOLVANE_CLI) + " " + arguments + settingsArgument() +
                          " </dev/null");
    }

    // Starts folvane-cli in the background (its own process, output discarded); returns its id.
    pid_t start(const std::string& arguments)
    {
        std::string command = "exec " + environment() + shellQuote(FOLVANE_CLI) + " " + arguments +
                              settingsArgument() + " </dev/null >/dev/null 2>&1";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    }

    int waitFor(pid_t pid)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }

    std::string q(const fs::path& path) { return shellQuote(path.string()); }

    bool printed(const CommandResult& result, const std::string& line)
    {
        return ("\n" + result.output).find("\n" + line + "\n") != std::string::npos;
    }

    fs::path dir;
};

TEST_F(WatchCliTest, SinglePassConvertsKeepsSourcesAndReportsFailures)
{
    bmp("a.bmp");
    writeFileBytes(dir / "in/b.jp", "not an image");
    CommandResult result = cli("watch -m image -o " + q(dir / "out") + " " + q(dir / "in"));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(printed(result, "Succeed " + (dir / "in/a.bmp").string())) << result.output;
    EXPECT_TRUE(printed(result, "Failed " + (dir / "in/b.jp").string())) << result.output;
    EXPECT_TRUE(printed(result, "folvane-cli: " + (dir / "in/b.jp").string() + ": Failed: not a readable image"))
        << result.output;
    EXPECT_TRUE(fs::exists(dir / "in/a.bmp"));
    EXPECT_FALSE(fs::exists(dir / "in/_converted"));
    pdfPath("out/a.pdf");
}

// Overwrite replaces an earlier PDF only with a complete one: a source that now fails leaves it.
TEST_F(WatchCliTest, OverwriteWithAFailingSourceKeepsTheEarlierPdf)
{
    bmp("a.bmp");
    std::string watch = "watch -m image -e overwrite --settle 0 -o " + q(dir / "out") + " " + q(dir / "in");
    ASSERT_EQ(cli(watch).exitCode, 0);
    std::string earlier = readFileBytes(pdfPath("out/a.pdf"));
    fs::remove(dir / "in/a.bmp");
    writeFileBytes(dir / "in/a.jp", "not an image");
    pid_t pid = start(watch + " --interval 1");
    for (int i = 0; i < 100 && !fs::exists(dir / "in/_failed/a.jp"); ++i)
        std::this_thread::sleep_for(100ms);
    ::kill(pid, SIGTERM);
    waitFor(pid);
    EXPECT_TRUE(fs::exists(dir / "in/_failed/a.jp"));
    EXPECT_EQ(readFileBytes(dir / "out/a.pdf"), earlier);
}

TEST_F(WatchCliTest, MissingFolderIsRefused)
{
    CommandResult result = cli("watch -m merge -o " + q(dir / "out.pdf") + " " + q(dir / "nowhere"));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("You must select a folder for monitoring."), std::string::npos) << result.output;
}

TEST_F(WatchCliTest, SigtermStopsTheWatchWithStatusZeroAfterMovingAside)
{
    bmp("a.bmp");
    fs::create_directories(dir / "log");
    pid_t pid = start("watch --interval 1 --delete-success -m merge --log " + q(dir / "log") + " -o " +
                      q(dir / "out/all.pdf") + " " + q(dir / "in"));
    for (int i = 0; i < 100 && fs::exists(dir / "in/a.bmp"); ++i)
        std::this_thread::sleep_for(100ms);
    std::this_thread::sleep_for(200ms);
    ::kill(pid, SIGTERM);
    int status = waitFor(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(dir / "in/a.bmp")) << "deleted after its PDF was written";
    EXPECT_TRUE(fs::is_directory(dir / "in/_converted"));
    pdfPath("out/all.pdf");
    bool logged = false;
    for (const auto& entry : fs::directory_iterator(dir / "log"))
        logged = logged || readFileBytes(entry.path()).find("[Input]: " + (dir / "in/a.bmp").string()) != std::string::npos;
    EXPECT_TRUE(logged) << "the log is written when monitoring ends";
}

// Killing the watch at any moment loses no source and leaves no partial PDF under a final name:
// every source is still in the input folder, in "_converted" or "_failed", or deleted with its
// PDF written.
TEST_F(WatchCliTest, KillNineAtRandomMomentsLosesNothing)
{
    if (!haveTool("qpdf"))
        GTEST_SKIP() << "qpdf missing";
    std::vector<std::string> names;
    auto addBatch = [&] {
        size_t first = names.size();
        for (size_t i = first; i < first + 50; ++i) {
            names.push_back("img" + std::to_string(1000 + i));
            bmp(names.back() + ".bmp", 480, 360);
        }
    };
    addBatch();
    std::mt19937 random(12345);
    auto deadline = std::chrono::steady_clock::now() + 15s;
    int round = 0;
    std::set<std::string> checked; // a PDF under its final name never changes again
    auto located = [&](const std::string& name) {
        int places = fs::exists(dir / "in" / (name + ".bmp")) + fs::exists(dir / "in/_converted" / (name + ".bmp")) +
                     fs::exists(dir / "in/_failed" / (name + ".bmp"));
        return places;
    };
    auto pdfsOf = [&](const std::string& name) {
        std::vector<fs::path> found;
        if (!fs::exists(dir / "out"))
            return found;
        for (const auto& entry : fs::directory_iterator(dir / "out")) {
            std::string file = entry.path().filename().string();
            if (file.rfind(name, 0) == 0 && entry.path().extension() == ".pdf")
                found.push_back(entry.path());
        }
        return found;
    };
    while (std::chrono::steady_clock::now() < deadline) {
        bool deleting = round % 2 == 1;
        pid_t pid = start(std::string("watch --interval 0 --settle 0.2 -m image") +
                          (deleting ? " --delete-success" : "") + " -o " + q(dir / "out") + " " + q(dir / "in"));
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 700));
        ::kill(pid, SIGKILL);
        waitFor(pid);
        ++round;
        int remaining = 0;
        for (const std::string& name : names) {
            int places = located(name);
            ASSERT_LE(places, 1) << name << " after round " << round;
            if (places == 0) {
                ASSERT_FALSE(pdfsOf(name).empty()) << name << " deleted without its PDF, round " << round;
            }
            remaining += fs::exists(dir / "in" / (name + ".bmp"));
        }
        for (const fs::path& pdf : pdfsOf("")) {
            if (checked.insert(pdf.string()).second) {
                ASSERT_TRUE(qpdfCheck(pdf)) << pdf << " round " << round;
            }
        }
        // Everything handled: more files arrive, so that the later kills also hit work.
        if (remaining == 0)
            addBatch();
    }
    EXPECT_GE(round, 6);
    // Every PDF left behind is checked once more when the test ends.
    for (const fs::path& pdf : pdfsOf(""))
        pdfPath(fs::relative(pdf, scratchDir()).string());
}

// A thousand tiny sources and fifty kill -9 at random moments of the passes (a fixed seed),
// alternating between moving converted sources aside and deleting them; then one run that is
// left to finish. After every kill and at the end each source is in exactly one place: the input
// folder, "_converted", "_failed", or deleted with its PDF written; every PDF under a final name
// is valid; and the last run has handled every source that was left.
TEST_F(WatchCliTest, ThousandSourcesSurviveFiftyKillNines)
{
    if (!haveTool("qpdf"))
        GTEST_SKIP() << "qpdf missing";
    constexpr int kSources = 1000;
    constexpr int kKills = 50;
    std::vector<std::string> names;
    for (int i = 0; i < kSources; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%04d", i);
        names.push_back(name);
        writeBmp24(dir / "in" / (names.back() + ".bmp"), 8, 8,
                   [i](int x, int y) { return static_cast<uint32_t>(i * 7919 + x * 131 + y * 17) & 0xffffffu; });
    }
    // Output names are the source's name, or that name with a "(NEWnnn)" number.
    std::map<std::string, std::vector<fs::path>> pdfs;
    auto scanOutputs = [&] {
        pdfs.clear();
        if (!fs::exists(dir / "out"))
            return;
        for (const auto& entry : fs::directory_iterator(dir / "out")) {
            std::string file = entry.path().filename().string();
            if (file[0] != '.' && entry.path().extension() == ".pdf")
                pdfs[file.substr(0, 5)].push_back(entry.path());
        }
    };
    auto places = [&](const std::string& name) {
        return int(fs::exists(dir / "in" / (name + ".bmp"))) + int(fs::exists(dir / "in/_converted" / (name + ".bmp"))) +
               int(fs::exists(dir / "in/_failed" / (name + ".bmp")));
    };
    auto checkEveryone = [&](const std::string& when) {
        scanOutputs();
        int waiting = 0;
        for (const std::string& name : names) {
            int found = places(name);
            EXPECT_LE(found, 1) << name << " " << when;
            if (found == 0) {
                EXPECT_FALSE(pdfs[name].empty()) << name << " deleted without its PDF " << when;
            }
            waiting += fs::exists(dir / "in" / (name + ".bmp"));
        }
        return waiting;
    };

    std::mt19937 random(4242);
    for (int kill = 0; kill < kKills; ++kill) {
        bool deleting = kill % 2 == 1;
        pid_t pid = start(std::string("watch --interval 0 --settle 0.2 -m image") +
                          (deleting ? " --delete-success" : "") + " -o " + q(dir / "out") + " " + q(dir / "in"));
        // A pass converts only files it has seen unchanged for the settle time: most kills fall
        // after it, some before.
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 1000));
        ::kill(pid, SIGKILL);
        waitFor(pid);
        checkEveryone("after kill " + std::to_string(kill + 1));
        if (HasFailure())
            return;
    }
    int waitingAfterKills = checkEveryone("after the kills");

    // The next run picks up the rest: it is stopped (SIGTERM, after its pass) once the input
    // folder holds no source.
    pid_t pid = start("watch --interval 1 --settle 0.2 -m image -o " + q(dir / "out") + " " + q(dir / "in"));
    auto deadline = std::chrono::steady_clock::now() + 120s;
    while (checkEveryone("during the last run") > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(200ms);
    std::this_thread::sleep_for(300ms);
    ::kill(pid, SIGTERM);
    int status = waitFor(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(checkEveryone("at the end"), 0);

    int converted = 0;
    int deleted = 0;
    int failed = 0;
    for (const std::string& name : names) {
        converted += fs::exists(dir / "in/_converted" / (name + ".bmp"));
        failed += fs::exists(dir / "in/_failed" / (name + ".bmp"));
        deleted += places(name) == 0;
    }
    EXPECT_EQ(failed, 0) << "every source is a valid image";
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
    EXPECT_EQ(converted + deleted, kSources);
    std::printf("[ kill -9  ] %d sources, %d kills, %d waiting after them; %d moved aside, %d deleted, 0 lost\n",
                kSources, kKills, waitingAfterKills, converted, deleted);
    for (auto& [name, files] : pdfs)
        for (const fs::path& pdf : files)
            pdfPath(fs::relative(pdf, scratchDir()).string());
}

} // namespace
} // namespace folvane::test
