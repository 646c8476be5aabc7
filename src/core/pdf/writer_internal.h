#pragma once
// Helpers shared by the writer's own files; not part of the writer's public contract.

#include <array>
#include <cstdint>
#include <vector>

#include "pdf/document.h"

namespace folvane::pdf {

inline bool isValid(const PdfDocument* doc)
{
    return doc && doc->tag == kValidityTag;
}

// Passes a problem to the document's error hook. The message is formatted with vsnprintf
// (messages are diagnostics only and never reach the PDF).
void reportError(PdfDocument* doc, int code, const char* format, ...) __attribute__((format(printf, 3, 4)));

inline int currentScope(const PdfDocument* doc)
{
    return doc->scopes[doc->scopeDepth - 1];
}

// Reports a call made outside `allowed` (a set of Scope bits) and returns false then. Most
// callers carry on anyway; those that would corrupt the document's structure stop.
bool checkScope(PdfDocument* doc, int allowed, const char* operation);
// Enters a nested scope; more than kMaxScopeDepth levels is reported and refused.
bool pushScope(PdfDocument* doc, int scope);
void popScope(PdfDocument* doc);
// Resets the stack to object scope, or to object plus document scope.
void resetScopes(PdfDocument* doc, bool documentOpen);

// Resets every table and counter for a new output in `mode` (0 new file, 1 incremental update).
bool resetForOutput(PdfDocument* doc, int mode);
// The closing sequence of an incremental update.
void closeAppend(PdfDocument* doc);

// One object of an incremental update, for its cross-reference section.
struct UpdateEntry {
    int number;
    int64_t offset; // as written (counted the way the file counts)
    int generation;
};
// The update's section and trailer, sorted entries given: a classic table, or a cross-reference
// stream under the reserved object `xrefNumber` (which the section lists itself). `xrefOffset`
// is where the section starts; `infoWritten` the information dictionary's number as written.
void writeClassicSection(PdfDocument* doc, const std::vector<UpdateEntry>& entries, int64_t xrefOffset,
                         int infoWritten);
void writeStreamSection(PdfDocument* doc, std::vector<UpdateEntry> entries, int xrefNumber, int64_t xrefOffset,
                        int infoWritten);

// Output buffer.
bool makeRoom(PdfDocument* doc, size_t count);
void startCompression(PdfDocument* doc);
void finishCompression(PdfDocument* doc);
void releaseOutputBuffer(PdfDocument* doc);

// The "N 0 R " reference to object `number` (numberBase added).
void writeReference(PdfDocument* doc, const char* key, int number);

// Pages: writes the page tree at close and returns the number of its root. In an incremental
// update the root of the new pages gets the existing root as parent (its number as written).
int writePageTree(PdfDocument* doc, int writtenParent = 0);
// Ends a page left open at close.
void endOpenPage(PdfDocument* doc);

// Document information dictionary, written first by the closing sequence.
void writeInfoDictionary(PdfDocument* doc);
// The information dictionary of an incremental update: the existing one rewritten under its own
// number (values set for this update replace the ones read, the others are kept), or a new one.
// Returns its number as written and sets *offset to where it starts.
int writeAppendInfoDictionary(PdfDocument* doc, int64_t* offset);

// Closing helpers shared by new files and updates.
void writePlaceholders(PdfDocument* doc);
std::array<uint8_t, 16> documentDigest(PdfDocument* doc, int64_t xrefOffset);

// Images: the "/XObject" resources of the page being ended (clears the used-on-page flags), and
// the release of every image slot and table (at close and before a new output is opened).
void writeImageResources(PdfDocument* doc);
void releaseImages(PdfDocument* doc);

} // namespace folvane::pdf
