#include "support/test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace folvane::test {

CommandResult runCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.output.append(chunk.data(), n);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool haveTool(const std::string& program)
{
    return runCommand("command -v " + shellQuote(program) + " >/dev/null").exitCode == 0;
}

std::string readFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path scratchDir()
{
    namespace fs = std::filesystem;
    static std::string preparedFor; // the test whose folder was already emptied
    // Fixed at the first call: tests that point TMPDIR at a folder of their own must not move
    // the scratch folders into it.
    static const fs::path root = [] {
        const char* base = std::getenv("FOLVANE_TEST_TMP");
        return base ? fs::path(base) : fs::temp_directory_path() / "folvane-tests";
    }();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/')
            c = '_';
    fs::path dir = root / name;
    if (preparedFor != name) {
        fs::remove_all(dir);
        preparedFor = name;
    }
    fs::create_directories(dir);
    return dir;
}

::testing::AssertionResult qpdfCheck(const std::filesystem::path& pdf, const std::string& password)
{
    std::string option = password.empty() ? "" : "--password=" + shellQuote(password) + " ";
    CommandResult r = runCommand("qpdf --check " + option + shellQuote(pdf.string()));
    if (r.exitCode == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "qpdf --check " << pdf << " exited " << r.exitCode << ":\n" << r.output;
}

std::filesystem::path PdfTest::pdfPath(const std::string& name)
{
    return pdfPath(name, "");
}

std::filesystem::path PdfTest::pdfPath(const std::string& name, const std::string& password)
{
    auto path = scratchDir() / name;
    m_pdfs.emplace_back(path, password);
    return path;
}

std::filesystem::path PdfTest::keepPdfBytes(const std::string& name, const std::string& bytes)
{
    auto path = pdfPath(name);
    writeFileBytes(path, bytes);
    return path;
}

void PdfTest::TearDown()
{
    for (const auto& [pdf, password] : m_pdfs) {
        if (!std::filesystem::exists(pdf)) {
            ADD_FAILURE() << "expected PDF was not written: " << pdf;
            continue;
        }
        EXPECT_TRUE(qpdfCheck(pdf, password));
    }
}

} // namespace folvane::test
