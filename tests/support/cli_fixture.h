#pragma once
// A fixture that runs folvane-cli (the FOLVANE_CLI path of the test target) as a process with its
// own settings file and its own HOME and XDG folders below a scratch folder, so no test reads or
// changes the real home folder; standard input is /dev/null and standard output and error are
// pipes.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace folvane::test {

class CliFixture : public PdfTest {
protected:
    void SetUp() override
    {
        dir = scratchDir();
        std::filesystem::create_directories(dir / "home");
    }

    // `environment` is put before the program, e.g. "FOLVANE_USER_PASSWORD=x".
    CommandResult cli(const std::string& arguments, const std::string& environment = "")
    {
        std::string home = shellQuote((dir / "home").string());
        return runCommand("env -u FOLVANE_USER_PASSWORD -u FOLVANE_OWNER_PASSWORD HOME=" + home +
                          " XDG_CONFIG_HOME=" + home + "/config XDG_DATA_HOME=" + home + "/data FOLVANE_SETTINGS= " +
                          environment + " " + shellQuote(FOLVANE_CLI) + " " + arguments + " --settings " +
                          shellQuote((dir / "Settings.ini").string()) + " </dev/null");
    }

    std::string q(const std::filesystem::path& path) { return shellQuote(path.string()); }

    // The value after "NAME:" in pdfinfo's output (extra arguments such as "-upw pw" first).
    std::string pdfinfo(const std::filesystem::path& pdf, const std::string& name, const std::string& extra = "")
    {
        CommandResult info = runCommand("pdfinfo " + extra + " " + q(pdf));
        size_t at = ("\n" + info.output).find("\n" + name + ":");
        if (at == std::string::npos)
            return {};
        size_t start = info.output.find_first_not_of(' ', at + name.size() + 1);
        return info.output.substr(start, info.output.find('\n', start) - start);
    }

    bool printed(const CommandResult& result, const std::string& line)
    {
        return ("\n" + result.output).find("\n" + line + "\n") != std::string::npos;
    }

    std::filesystem::path dir;
};

} // namespace folvane::test
