#include "app/app_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "app_test_env.h"

namespace fs = std::filesystem;
namespace AppPaths = folvane::app::AppPaths;
using folvane::test::writeFileBytes;

namespace {

using AppPathsTest = folvane::test::ScratchHomeTest;

TEST_F(AppPathsTest, ModulePathIsTheRunningProgramsFolder)
{
    std::string folder = AppPaths::modulePath("");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(AppPaths::fileExists(AppPaths::modulePath("folvane_app_tests")));
    EXPECT_EQ(AppPaths::modulePath("help.html"), folder + "help.html");
}

TEST_F(AppPathsTest, CreateDirectoriesMakesEveryLevelBeforeASlash)
{
    const std::string base = dir().string();
    AppPaths::createDirectories(base + "/a/b/c");
    EXPECT_TRUE(fs::is_directory(base + "/a/b"));
    EXPECT_FALSE(fs::exists(base + "/a/b/c"));

    AppPaths::createDirectories(base + "/a/b/c/");
    EXPECT_TRUE(fs::is_directory(base + "/a/b/c"));

    // A file in the way stops the levels below it, silently.
    writeFileBytes(base + "/file", "x");
    AppPaths::createDirectories(base + "/file/d/e/");
    EXPECT_TRUE(fs::is_regular_file(base + "/file"));
    AppPaths::createDirectories("");
    AppPaths::createDirectories("no-slash-here");
    EXPECT_FALSE(fs::exists("no-slash-here"));
}

TEST_F(AppPathsTest, ExistenceChecksTellFilesFromFolders)
{
    const std::string base = dir().string();
    writeFileBytes(base + "/file.jpg", "x");
    fs::create_directory(base + "/folder");
    fs::create_symlink(base + "/missing", base + "/dangling");
    ASSERT_EQ(::mkfifo((base + "/fifo").c_str(), 0600), 0);

    struct Case {
        std::string path;
        bool file, folder, path_;
    } cases[] = {
        {base + "/file.jpg", true, false, true},
        {base + "/folder", false, true, true},
        {base + "/folder/", false, true, true},
        {base + "/file.jpg/", false, false, false},
        {base + "/missing", false, false, false},
        {base + "/dangling", false, false, false},
        {base + "/fifo", true, false, true},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AppPaths::fileExists(c.path), c.file) << c.path;
        EXPECT_EQ(AppPaths::folderExists(c.path), c.folder) << c.path;
        EXPECT_EQ(AppPaths::pathExists(c.path), c.path_) << c.path;
    }
}

TEST_F(AppPathsTest, DataFolderLiesBelowHome)
{
    const std::string home = (dir() / "home").string();
    EXPECT_EQ(folvane::app::dataFolder(), home + "/Quillmar/Folvane/");
    EXPECT_EQ(AppPaths::makeDataFolderPath("/Other/"), home + "/Quillmar/Other/");
    setVariable("HOME", home + "//");
    EXPECT_EQ(folvane::app::dataFolder(), home + "/Quillmar/Folvane/");
    // Without a usable HOME the account's home folder is taken.
    setVariable("HOME", "relative");
    EXPECT_EQ(folvane::app::homeFolder().front(), '/');
}

} // namespace
