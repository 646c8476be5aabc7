#pragma once
// Helpers shared by the test suites: scratch folders, running external checkers,
// and a fixture that validates every PDF a test writes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace folvane::test {

struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs a shell command and captures what it prints.
CommandResult runCommand(const std::string& command);

// True when the named program is on PATH.
bool haveTool(const std::string& program);

// Quotes a path for the shell.
std::string shellQuote(const std::string& text);

std::string readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh, empty folder for the running test, below the build tree.
std::filesystem::path scratchDir();

// `qpdf --check` must exit 0 (warnings exit 3 and fail too). An encrypted file whose user
// password is not empty is checked with the password given.
::testing::AssertionResult qpdfCheck(const std::filesystem::path& pdf, const std::string& password = "");

// Base fixture for tests that write PDF files: every path handed out by pdfPath() must exist
// when the test ends and must pass qpdf --check; the fixture checks this itself.
class PdfTest : public ::testing::Test {
protected:
    std::filesystem::path pdfPath(const std::string& name);
    // For an encrypted file that only opens with a password.
    std::filesystem::path pdfPath(const std::string& name, const std::string& password);
    // Stores bytes produced in memory as a PDF file that is then checked like the others.
    std::filesystem::path keepPdfBytes(const std::string& name, const std::string& bytes);
    void TearDown() override;

private:
    std::vector<std::pair<std::filesystem::path, std::string>> m_pdfs; // path, password
};

} // namespace folvane::test
