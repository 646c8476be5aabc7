#pragma once
// Plain records behind the outline, the catalog's viewer entries and the document information
// dictionary. They live in PdfDocument and are filled by addBookmark, the viewer parameters and
// setInfoField; everything is written at close.

#include <cstdint>
#include <string>
#include <vector>

namespace folvane::pdf {

// One outline item. Entry 0 of the table is the outline root. The table lives in memory from
// the document's reallocation hook, so the record stays trivially copyable: the title is a
// block from the allocation hook, released with the table.
struct OutlineEntry {
    int32_t objectNumber = 0; // reserved when the entry is created
    int32_t previous = 0;     // object number of the previous sibling, 0 = none
    int32_t next = 0;         // object number of the next sibling, 0 = none
    int32_t parent = 0;       // entry index, 0 = root
    int32_t firstChild = 0;   // entry index, 0 = none
    int32_t lastChild = 0;    // entry index, 0 = none
    int32_t count = 0;        // descendants shown when this entry is open
    int32_t open = 1;         // 1 expanded, 0 collapsed; the root is always open
    int32_t fit = 0;          // destination form, see DestinationFit
    int32_t page = 0;         // 1-based page index the entry points at, 0 = no page yet
    char* title = nullptr;    // text value bytes (ASCII or FE FF UTF-16BE), not terminated
    uint32_t titleLength = 0;
};

struct ViewerSettings {
    int pageMode = 0;   // PageMode
    int openFit = 0;    // OpenFit
    int openPage = 1;   // 1-based, limited to the page count when written
    unsigned flags = 0; // ViewerFlag bits
};

// A further information entry beyond the five standard text fields.
struct InfoEntry {
    std::string key;   // name without the slash
    std::string value; // text value bytes, or the name for the trapping key
    bool valueIsName = false;
};

enum InfoField : int {
    kInfoTitle = 0,
    kInfoAuthor,
    kInfoSubject,
    kInfoKeywords,
    kInfoCreator,
    kInfoFieldCount
};

struct DocumentInfo {
    // Text value bytes (ASCII or FE FF UTF-16BE, not terminated); empty = not set.
    std::string fields[kInfoFieldCount];
    std::vector<InfoEntry> further; // oldest first; written newest first
    // Creation date text kept from an existing file; empty = the time of closing.
    std::string creationDate;
};

} // namespace folvane::pdf
