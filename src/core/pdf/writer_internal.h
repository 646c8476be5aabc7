#pragma once
// Helpers shared by the writer's own files; not part of the writer's public contract.

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

// Reports a call made outside `allowed` (a set of Scope bits). The caller carries on anyway.
void checkScope(PdfDocument* doc, int allowed, const char* operation);
// Enters a nested scope; more than kMaxScopeDepth levels is reported and refused.
bool pushScope(PdfDocument* doc, int scope);
void popScope(PdfDocument* doc);
// Resets the stack to object scope, or to object plus document scope.
void resetScopes(PdfDocument* doc, bool documentOpen);

// Output buffer.
bool makeRoom(PdfDocument* doc, size_t count);
void startCompression(PdfDocument* doc);
void finishCompression(PdfDocument* doc);
void releaseOutputBuffer(PdfDocument* doc);

// The "N 0 R " reference to object `number` (numberBase added).
void writeReference(PdfDocument* doc, const char* key, int number);

// Pages: writes the page tree at close and returns the number of its root.
int writePageTree(PdfDocument* doc);
// Ends a page left open at close.
void endOpenPage(PdfDocument* doc);

// Document information dictionary, written first by the closing sequence.
void writeInfoDictionary(PdfDocument* doc);

} // namespace folvane::pdf
