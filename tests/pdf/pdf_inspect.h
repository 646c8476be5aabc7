#pragma once
// Reading back what the writer produced: objects by number through the writer's own
// cross-reference table (which checks that table on the way), stream data, and error capture.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pdf/document.h"

namespace folvane::test {

struct WrittenPdf {
    std::string error;                  // empty when the structure was read completely
    std::map<int, std::string> objects; // number -> text from the header up to "endobj"
    std::string trailer;                // from "trailer" up to "startxref"
    int64_t xrefOffset = -1;
    int size = 0;                       // entries in the cross-reference subsection
};

// Reads a new (non-incremental) file written by the writer. Every cross-reference entry must be
// exactly 20 bytes and point at the header of its own object.
WrittenPdf readWrittenPdf(const std::string& bytes);

// The raw bytes between "stream\r\n" and "\rendstream" of an object's text.
std::string rawStreamData(const std::string& objectText);
// Raw stream data, inflated when the object carries the Flate filter.
std::string streamData(const std::string& objectText);

// Integers of an array entry such as "/Kids [4 0 R 9 0 R ]": the object numbers it refers to.
std::vector<int> referencesIn(const std::string& objectText, const std::string& key);
// The integer following key, or -1.
long integerAfter(const std::string& text, const std::string& key);

// Collects the codes reported through the error hook of a document made by makeDocument.
struct ErrorLog {
    std::vector<int> codes;
    bool has(int code) const;
};
pdf::PdfDocument* makeDocument(ErrorLog* log);

// The bytes of an in-memory document (opened with an empty path).
std::string memoryBytes(const pdf::PdfDocument* doc);

} // namespace folvane::test
