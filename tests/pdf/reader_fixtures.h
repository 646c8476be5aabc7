#pragma once
// Helpers for the reader's tests: PDF files assembled by hand with exact offsets (including
// incremental updates and bytes before the header), reading bytes or files with the reader, and
// what qpdf says about a file, as an independent account to compare the reader with.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pdf/reader.h"

namespace folvane::test {

// A PDF written object by object. Offsets in cross-reference sections and startxref count from
// the header (after `junk`), as Acrobat and qpdf read files with bytes before "%PDF-".
class HandPdf {
public:
    explicit HandPdf(const std::string& version = "1.4", const std::string& junk = "");

    // Appends "N G obj\n<body>\nendobj\n" and remembers its offset for the next section.
    void add(int number, const std::string& body, int generation = 0);
    // Appends raw bytes (comments, stray text).
    void raw(const std::string& text) { m_bytes += text; }
    // Writes a cross-reference section for the objects added since the previous section
    // (the first section also lists the free entry 0), "trailer\n<< entries >>", "startxref"
    // and "%%EOF". Returns the section's offset as written.
    int64_t finishSection(const std::string& trailerEntries);

    const std::string& bytes() const { return m_bytes; }
    // The offset of an object as written (header-relative).
    int64_t offsetOf(int number) const { return m_offsets.at(number); }

private:
    int64_t here() const { return static_cast<int64_t>(m_bytes.size() - m_junk); }

    std::string m_bytes;
    size_t m_junk = 0;
    bool m_firstSection = true;
    std::map<int, std::pair<int64_t, int>> m_pending; // number -> offset, generation
    std::map<int, int64_t> m_offsets;
};

// A page tree of `pages` pages under root 2 with catalog 1: pages are objects 3.. and every page
// has the root as parent. Returns the last object number used.
int addFlatPages(HandPdf& pdf, int pages, int count = -1);

struct ReadOutcome {
    int result = -1;
    pdf::ExistingPdf existing;
};

// readPdfStructure over bytes in memory (nothing is written to disk).
ReadOutcome readPdfBytes(const std::string& bytes);
// readPdfStructure over a file on disk.
ReadOutcome readPdfFile(const std::filesystem::path& path);

// qpdf's view of a file: page object numbers in order ("qpdf --show-pages"), the offsets of the
// uncompressed objects ("qpdf --show-xref") and the file key of an encrypted file.
std::vector<int> qpdfPages(const std::filesystem::path& path);
std::map<int, int64_t> qpdfOffsets(const std::filesystem::path& path);
std::string qpdfEncryptionKey(const std::filesystem::path& path);

// Output of a command on standard output only (standard error dropped), e.g. a PDF that a tool
// writes to "-" and that must stay in memory.
std::string commandOutput(const std::string& command);

// Lower-case hex of bytes.
std::string hexOf(const void* bytes, size_t length);

} // namespace folvane::test
