// Password security through folvane-cli: the AES levels as qpdf and MuPDF see the files, the
// default level of a new settings file, and appends that the requested security or the existing
// file's permissions forbid.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/image_files.h"
#include "support/test_support.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

class CliSecurity : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        fs::create_directories(dir / "home");
        // Colour pictures go into the PDF as JPEG data, whose start marker must not show.
        writeBmp24(dir / "a.bmp", 64, 48, [](int x, int y) { return x < 32 ? 0xd02020u : (y < 24 ? 0x2040e0u : 0x30c030u); });
    }

    // folvane-cli in a scratch home with the test's own settings file.
    CommandResult cli(const std::string& arguments)
    {
        std::string home = shellQuote((dir / "home").string());
        return runCommand("env HOME=" + home + " XDG_CONFIG_HOME=" + home + "/config FOLVANE_SETTINGS= " +
                          shellQuote(FOLVANE_CLI) + " " + arguments + " --settings " +
                          shellQuote((dir / "Settings.ini").string()) + " </dev/null");
    }

    CommandResult convert(const fs::path& out, const std::string& settings, const std::string& exists = "overwrite")
    {
        return cli("convert -m merge -e " + exists + " -o " + q(out) + " " + settings + " " + q(dir / "a.bmp"));
    }

    std::string q(const fs::path& path) { return shellQuote(path.string()); }

    // The first page as MuPDF draws it, or "" when it cannot.
    std::string rendered(const fs::path& pdf, const std::string& password)
    {
        fs::path picture = dir / "page.pgm";
        fs::remove(picture);
        std::string option = password.empty() ? "" : "-p " + shellQuote(password) + " ";
        if (runCommand("mutool draw " + option + "-r 36 -o " + q(picture) + " " + q(pdf) + " 1").exitCode != 0)
            return "";
        return readFileBytes(picture);
    }

    fs::path dir;
};

bool hasJpegStart(const std::string& bytes)
{
    return bytes.find("\xFF\xD8\xFF") != std::string::npos;
}

TEST_F(CliSecurity, AesLevelsProtectTheDocument)
{
    fs::path plain = pdfPath("plain.pdf");
    ASSERT_EQ(convert(plain, "--set title=SecretTitle").exitCode, 0);
    ASSERT_TRUE(hasJpegStart(readFileBytes(plain))) << "the picture is JPEG data";
    std::string plainPage = rendered(plain, "");
    ASSERT_FALSE(plainPage.empty());

    struct Level {
        const char* level;
        const char* revision;
        const char* method;
    } levels[] = {{"2", "R = 4\n", "file encryption method: AESv2"}, {"3", "R = 6\n", "file encryption method: AESv3"}};
    for (const Level& l : levels) {
        SCOPED_TRACE(l.level);
        fs::path out = pdfPath(std::string("aes") + l.level + ".pdf", "Üser pw");
        CommandResult result = convert(out, std::string("--set security=1 --set level=") + l.level +
                                                " --set 'user=Üser pw' --set owner=Owner --set print=1 --set copy=0"
                                                " --set modify=0 --set title=SecretTitle");
        ASSERT_EQ(result.exitCode, 0) << result.output;

        std::string shown = runCommand("qpdf --password='Üser pw' --show-encryption " + q(out)).output;
        EXPECT_NE(shown.find(l.revision), std::string::npos) << shown;
        EXPECT_NE(shown.find(l.method), std::string::npos) << shown;
        EXPECT_NE(shown.find("print high resolution: allowed"), std::string::npos) << shown;
        EXPECT_NE(shown.find("extract for any purpose: not allowed"), std::string::npos) << shown;
        EXPECT_NE(shown.find("modify anything: not allowed"), std::string::npos) << shown;
        EXPECT_NE(runCommand("qpdf --password=Owner --show-encryption " + q(out)).output.find("owner password"),
                  std::string::npos);
        EXPECT_NE(runCommand("qpdf --check " + q(out)).exitCode, 0) << "opened without a password";

        EXPECT_EQ(rendered(out, "Üser pw"), plainPage);
        EXPECT_EQ(rendered(out, "wrong"), "");
        std::string bytes = readFileBytes(out);
        EXPECT_EQ(bytes.find("SecretTitle"), std::string::npos);
        EXPECT_FALSE(hasJpegStart(bytes)) << "JPEG data in clear";
    }
}

TEST_F(CliSecurity, NewSettingsFileDefaultsTo256BitAesAndAStoredLevelIsKept)
{
    fs::path fresh = pdfPath("fresh.pdf", "u");
    ASSERT_EQ(convert(fresh, "--set security=1 --set user=u").exitCode, 0);
    EXPECT_NE(runCommand("qpdf --password=u --show-encryption " + q(fresh)).output.find("R = 6\n"), std::string::npos);

    ASSERT_EQ(cli("settings set level 1").exitCode, 0);
    fs::path stored = pdfPath("stored.pdf", "u");
    ASSERT_EQ(convert(stored, "--set security=1 --set user=u").exitCode, 0);
    std::string shown = runCommand("qpdf --password=u --show-encryption " + q(stored)).output;
    EXPECT_NE(shown.find("R = 3\n"), std::string::npos) << shown;
}

TEST_F(CliSecurity, AppendRefusedBySecurityOrPermissionsLeavesTheFile)
{
    fs::path existing = pdfPath("existing.pdf");
    ASSERT_EQ(convert(existing, "").exitCode, 0);
    std::string before = readFileBytes(existing);

    // Security asked for, the file has none: its pages would go out unprotected.
    CommandResult secured = convert(existing, "--set security=1 --set user=u --set owner=o", "append");
    EXPECT_NE(secured.exitCode, 0);
    EXPECT_NE(secured.output.find("cannot add password security to an existing PDF"), std::string::npos)
        << secured.output;
    EXPECT_EQ(readFileBytes(existing), before);

    // Files that open with the empty user password: their permission bits decide.
    struct Case {
        const char* name;
        const char* restriction;
        bool allowed;
    } cases[] = {{"no-modify", "--modify=none", false},
                 {"no-assembly", "--assemble=n", false},
                 {"all-allowed", "", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path locked = pdfPath(std::string(c.name) + ".pdf");
        ASSERT_EQ(runCommand("qpdf --allow-weak-crypto --encrypt '' owner 128 --use-aes=n " +
                             std::string(c.restriction) + " -- " + q(existing) + " " + q(locked))
                      .exitCode,
                  0);
        std::string original = readFileBytes(locked);
        CommandResult result = convert(locked, "--set security=1 --set user=u", "append");
        if (c.allowed) {
            EXPECT_EQ(result.exitCode, 0) << result.output;
            EXPECT_EQ(runCommand("qpdf --show-npages " + q(locked)).output, "2\n");
            continue;
        }
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.output.find("the PDF file's permissions do not allow adding pages"), std::string::npos)
            << result.output;
        EXPECT_EQ(readFileBytes(locked), original);
    }
}

} // namespace
} // namespace folvane::test
