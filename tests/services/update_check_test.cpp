#include "services/update_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "local_http_server.h"
#include "support/test_support.h"

namespace folvane::services {
namespace {

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A proxy from the environment must not see requests to the local server.
        unsetenv("http_proxy");
        unsetenv("HTTP_PROXY");
        unsetenv("all_proxy");
        unsetenv("ALL_PROXY");
    }
    void TearDown() override { unsetenv("FOLVANE_UPDATE_URL"); }
};

TEST_F(UpdateCheck, VersionTextReadsItsLeadingNumberOnly)
{
    EXPECT_FLOAT_EQ(parseVersionText("6.8"), 6.8f);
    EXPECT_FLOAT_EQ(parseVersionText("  \t\r\n6.71\n"), 6.71f);
    EXPECT_FLOAT_EQ(parseVersionText("7.0 beta"), 7.0f);
    EXPECT_FLOAT_EQ(parseVersionText("+7"), 7.0f);
    EXPECT_FLOAT_EQ(parseVersionText("-1.5x"), -1.5f);
    EXPECT_FLOAT_EQ(parseVersionText(".5"), 0.5f);
    EXPECT_FLOAT_EQ(parseVersionText("7."), 7.0f);
    EXPECT_FLOAT_EQ(parseVersionText("6.8e1"), 68.0f);
    EXPECT_FLOAT_EQ(parseVersionText("6.8e"), 6.8f);   // an exponent without digits is not part of it
    EXPECT_FLOAT_EQ(parseVersionText("6.8e+"), 6.8f);
    EXPECT_FLOAT_EQ(parseVersionText(""), 0.0f);
    EXPECT_FLOAT_EQ(parseVersionText("<html>404</html>"), 0.0f);
    EXPECT_FLOAT_EQ(parseVersionText("."), 0.0f);
    EXPECT_FLOAT_EQ(parseVersionText("inf"), 0.0f);
    EXPECT_FLOAT_EQ(parseVersionText("0x10"), 0.0f);
    EXPECT_FLOAT_EQ(parseVersionText("1e999"), 0.0f); // beyond a float
    EXPECT_FLOAT_EQ(parseVersionText(std::string_view("6.9\0" "9", 5)), 6.9f);
}

TEST_F(UpdateCheck, VersionsShowWithOneDecimalWhateverTheirPrecision)
{
    EXPECT_EQ(formatVersion(kOwnVersion), "v 6.7");
    EXPECT_EQ(formatVersion(6.71f), "v 6.7");
    EXPECT_EQ(formatVersion(0.0f), "v 0.0");
    EXPECT_EQ(formatVersion(7.0f), "v 7.0");
    // Newer is a float comparison, so 6.71 is newer though it shows as the same.
    EXPECT_GT(parseVersionText("6.71"), kOwnVersion);
    EXPECT_FALSE(parseVersionText("6.7") > kOwnVersion);
}

TEST_F(UpdateCheck, AddressesComeFromTheEnvironmentWhenSet)
{
    unsetenv("FOLVANE_UPDATE_URL");
    std::string builtIn = updateServerAddress();
    EXPECT_EQ(builtIn.rfind("https://", 0), 0u) << builtIn;
    EXPECT_EQ(versionFileUrl(), builtIn + "/update/folvane.txt");
    EXPECT_EQ(downloadUrl().rfind("https://", 0), 0u) << downloadUrl();
    EXPECT_EQ(downloadUrl().find(".exe"), std::string::npos) << "a Linux download page, not a Windows program";
    setenv("FOLVANE_UPDATE_URL", "http://127.0.0.1:9/", 1);
    EXPECT_EQ(versionFileUrl(), "http://127.0.0.1:9/update/folvane.txt");
    EXPECT_EQ(downloadUrl(), "http://127.0.0.1:9/folvane/download/linux/");
}

TEST_F(UpdateCheck, FetchReadsTheBodyOfTheVersionFile)
{
    struct Case {
        const char* body;
        float expected;
    } cases[] = {{"6.8", 6.8f}, {"6.7\r\n", 6.7f}, {"6.71", 6.71f}, {"7.0 beta", 7.0f}, {"", 0.0f},
                 {"Not Found", 0.0f}};
    for (const Case& c : cases) {
        test::LocalHttpServer server(c.body);
        setenv("FOLVANE_UPDATE_URL", server.address().c_str(), 1);
        float remote = -1.0f;
        ASSERT_TRUE(fetchLatestVersion(remote)) << c.body;
        EXPECT_FLOAT_EQ(remote, c.expected) << c.body;
        std::string request = server.lastRequest();
        EXPECT_EQ(request.rfind("GET /update/folvane.txt HTTP/1.1\r\n", 0), 0u) << request;
        EXPECT_NE(request.find("Cache-Control: no-cache"), std::string::npos);
        EXPECT_NE(request.find("Accept: */*"), std::string::npos);
    }
}

TEST_F(UpdateCheck, FetchKeepsOnlyTheStartOfAHugeBody)
{
    test::LocalHttpServer server("8.25" + std::string(300 * 1024, ' '));
    float remote = 0.0f;
    setenv("FOLVANE_UPDATE_URL", server.address().c_str(), 1);
    ASSERT_TRUE(fetchLatestVersion(remote, versionFileUrl()));
    EXPECT_FLOAT_EQ(remote, 8.25f);
}

// Plain HTTP is refused unless a test named the server; a stalled transfer is abandoned.
TEST_F(UpdateCheck, FetchNeedsHttpsAndGivesUpOnAStalledServer)
{
    test::LocalHttpServer server("6.8");
    float remote = 3.0f;
    unsetenv("FOLVANE_UPDATE_URL");
    EXPECT_FALSE(fetchLatestVersion(remote, server.address() + "/update/folvane.txt"));
    EXPECT_EQ(server.lastRequest(), "") << "nothing was sent in the clear";

    test::LocalHttpServer stalled("6.8", true);
    setenv("FOLVANE_UPDATE_URL", stalled.address().c_str(), 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetchLatestVersion(remote, versionFileUrl(), TransferLimits{1024, 1}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FLOAT_EQ(remote, 3.0f);
}

TEST_F(UpdateCheck, FetchFailsWithoutAServerAndLeavesTheVersionAlone)
{
    float remote = 3.0f;
    EXPECT_FALSE(fetchLatestVersion(remote, test::closedLocalAddress() + "/update/folvane.txt"));
    EXPECT_FLOAT_EQ(remote, 3.0f);
    EXPECT_FALSE(fetchLatestVersion(remote, "http://127.0.0.1:0/update/folvane.txt"));
    EXPECT_FALSE(fetchLatestVersion(remote, "file:///etc/hostname")); // only HTTP is spoken
    EXPECT_FLOAT_EQ(remote, 3.0f);
    std::string failure;
    EXPECT_FALSE(fetchLatestVersion(remote, test::closedLocalAddress() + "/update/folvane.txt", {}, failure));
    EXPECT_FALSE(failure.empty()) << "the transfer's error is given";
}

// libcurl is opened on the first check; one that cannot be loaded takes the same failure path,
// with the loader's reason. Run in a fresh process whose library path leads to a damaged copy.
TEST_F(UpdateCheck, ALibcurlThatCannotBeLoadedFailsWithTheReason)
{
    const auto dir = test::scratchDir();
    test::writeFileBytes(dir / "libcurl.so.4", "not a library");
    const char* old = std::getenv("LD_LIBRARY_PATH");
    const std::string saved = old ? old : "";
    setenv("LD_LIBRARY_PATH", dir.c_str(), 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            float remote = 3.0f;
            std::string failure;
            bool fetched = fetchLatestVersion(remote, "https://127.0.0.1:9/update/folvane.txt", {}, failure);
            std::fprintf(stderr, "fetched=%d remote=%g: %s\n", fetched, static_cast<double>(remote), failure.c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "fetched=0 remote=3: libcurl\\.so\\.4 could not be loaded \\(.*libcurl\\.so\\.4.*install the package libcurl4\\)");
    if (old)
        setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
    else
        unsetenv("LD_LIBRARY_PATH");
}

} // namespace
} // namespace folvane::services
