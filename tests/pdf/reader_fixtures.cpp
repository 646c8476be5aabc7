#include "pdf/reader_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "pdf/document.h"
#include "support/test_support.h"

namespace folvane::test {

HandPdf::HandPdf(const std::string& version, const std::string& junk) : m_junk(junk.size())
{
    m_bytes = junk + "%PDF-" + version + "\n%\xE2\xE3\xCF\xD3\n";
}

void HandPdf::add(int number, const std::string& body, int generation)
{
    m_pending[number] = {here(), generation};
    m_offsets[number] = here();
    m_bytes += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
}

int64_t HandPdf::finishSection(const std::string& trailerEntries)
{
    int64_t xref = here();
    std::string table = "xref\n";
    std::vector<std::pair<int, std::string>> entries;
    char line[32];
    if (m_firstSection)
        entries.emplace_back(0, "0000000000 65535 f\r\n");
    for (const auto& [number, place] : m_pending) {
        std::snprintf(line, sizeof line, "%010lld %05d n\r\n", static_cast<long long>(place.first), place.second);
        entries.emplace_back(number, line);
    }
    // Consecutive numbers form one subsection.
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        while (j < entries.size() && entries[j].first == entries[j - 1].first + 1)
            ++j;
        table += std::to_string(entries[i].first) + " " + std::to_string(j - i) + "\n";
        for (size_t k = i; k < j; ++k)
            table += entries[k].second;
        i = j;
    }
    m_bytes += table + "trailer\n<< " + trailerEntries + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    m_pending.clear();
    m_firstSection = false;
    return xref;
}

int addFlatPages(HandPdf& pdf, int pages, int count)
{
    std::string kids;
    for (int i = 0; i < pages; ++i)
        kids += std::to_string(3 + i) + " 0 R ";
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count < 0 ? pages : count) +
                   " /MediaBox [0 0 200 200] >>");
    for (int i = 0; i < pages; ++i)
        pdf.add(3 + i, "<< /Type /Page /Parent 2 0 R >>");
    return 2 + pages;
}

namespace {

ReadOutcome readFrom(FILE* file)
{
    ReadOutcome outcome;
    pdf::PdfDocument* doc = pdf::newPdfDocument();
    outcome.result = pdf::readPdfStructure(doc, file);
    outcome.existing = doc->existing;
    pdf::freePdfDocument(doc);
    return outcome;
}

} // namespace

ReadOutcome readPdfBytes(const std::string& bytes)
{
    std::string copy = bytes;
    FILE* file = fmemopen(copy.data(), copy.size(), "rb");
    if (!file)
        return {};
    ReadOutcome outcome = readFrom(file);
    std::fclose(file);
    return outcome;
}

ReadOutcome readPdfFile(const std::filesystem::path& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {};
    ReadOutcome outcome = readFrom(file);
    std::fclose(file);
    return outcome;
}

std::vector<int> qpdfPages(const std::filesystem::path& path)
{
    std::vector<int> pages;
    std::istringstream lines(runCommand("qpdf --show-pages " + shellQuote(path.string())).output);
    std::string line;
    while (std::getline(lines, line)) {
        int index = 0;
        int number = 0;
        if (std::sscanf(line.c_str(), "page %d: %d 0 R", &index, &number) == 2)
            pages.push_back(number);
    }
    return pages;
}

std::map<int, int64_t> qpdfOffsets(const std::filesystem::path& path)
{
    std::map<int, int64_t> offsets;
    std::istringstream lines(runCommand("qpdf --show-xref " + shellQuote(path.string())).output);
    std::string line;
    while (std::getline(lines, line)) {
        int number = 0;
        int generation = 0;
        long long offset = 0;
        if (std::sscanf(line.c_str(), "%d/%d: uncompressed; offset = %lld", &number, &generation, &offset) == 3)
            offsets[number] = offset;
    }
    return offsets;
}

std::string qpdfEncryptionKey(const std::filesystem::path& path)
{
    std::istringstream lines(
        runCommand("qpdf --show-encryption-key --show-encryption " + shellQuote(path.string())).output);
    std::string line;
    const std::string prefix = "Encryption key = ";
    while (std::getline(lines, line))
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    return {};
}

std::string commandOutput(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(("(" + command + ") 2>/dev/null").c_str(), "r");
    if (!pipe)
        return out;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, n);
    ::pclose(pipe);
    return out;
}

std::string hexOf(const void* bytes, size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        auto b = static_cast<const uint8_t*>(bytes)[i];
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace folvane::test
