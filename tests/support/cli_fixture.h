#pragma once
// A fixture that runs folvane-cli (the FOLVANE_CLI path of the test target) in a CliSession of
// its own scratch folder, so no test reads or changes the real home folder, and checks every PDF
// it hands out.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/cli_runner.h"
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
        return CliSession(FOLVANE_CLI, dir).run(arguments, environment);
    }

    std::string q(const std::filesystem::path& path) { return folvane::test::q(path); }

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

    bool printed(const CommandResult& result, const std::string& line) { return printedLine(result.output, line); }

    std::filesystem::path dir;
};

} // namespace folvane::test
