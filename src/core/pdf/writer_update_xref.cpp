// The cross-reference section and trailer of an incremental update: a classic table, or a
// cross-reference stream when the file's newest section is one, listing the update's objects,
// with the trailer entries that carry over from the previous trailer.
#include "pdf/document.h"

#include <algorithm>
#include <string>

#include "pdf/reader.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

// Keys of a previous trailer an update writes itself, or that belong to a cross-reference stream.
bool replacedTrailerKey(const std::string& key)
{
    static const char* const kReplaced[] = {"Size", "Prev", "Root", "Info", "Encrypt", "ID", "Type", "W",
                                             "Index", "Length", "Filter", "DecodeParms", "XRefStm", "F",
                                             "FFilter", "FDecodeParms", "DL"};
    for (const char* replaced : kReplaced)
        if (key == replaced)
            return true;
    return false;
}

void writeIdElement(PdfDocument* doc, const ExistingIdElement& element)
{
    writeChar(doc, element.literal ? '(' : '<');
    writeBytes(doc, element.raw.data(), element.raw.size());
    writeChar(doc, element.literal ? ')' : '>');
}

// The trailer entries of the update, for a classic trailer and a cross-reference stream alike.
void writeTrailerEntries(PdfDocument* doc, int size, int64_t xrefOffset, int infoWritten)
{
    const ExistingPdf& e = doc->existing;
    writeFormatted(doc, "/Size %d ", size);
    if (infoWritten)
        writeFormatted(doc, "/Info %d %d R ", infoWritten,
                       e.infoNumber == infoWritten ? generationOf(e, infoWritten) : 0);
    writeFormatted(doc, "/Root %d %d R ", e.catalogNumber, generationOf(e, e.catalogNumber));
    if (e.previousXref >= 0)
        writeFormatted(doc, "/Prev %ld ", static_cast<long>(e.previousXref));
    if (e.encryptNumber)
        writeFormatted(doc, "/Encrypt %d %d R ", e.encryptNumber, generationOf(e, e.encryptNumber));
    else if (!e.encryptDirect.empty()) {
        writeString(doc, "/Encrypt ");
        writeBytes(doc, e.encryptDirect.data(), e.encryptDirect.size());
        writeChar(doc, ' ');
    }
    if (e.encryption.encrypted) {
        // The first element entered the file key every reader derives: the identifier stays
        // exactly as it was, and so does its absence.
        if (e.id[0].present) {
            writeString(doc, "/ID [");
            writeIdElement(doc, e.id[0]);
            writeIdElement(doc, e.id[1]);
            writeString(doc, "] ");
        }
    } else {
        auto digest = documentDigest(doc, xrefOffset);
        writeString(doc, "/ID [");
        // The first element identifies the file across updates; the second marks this version.
        if (e.id[0].present)
            writeIdElement(doc, e.id[0]);
        else
            writeHexBytes(doc, digest.data(), digest.size());
        writeHexBytes(doc, digest.data(), digest.size());
        writeString(doc, "] ");
    }
    // Whatever else the previous trailer said (custom keys included) carries over.
    for (const auto& [key, text] : e.newestTrailer) {
        if (replacedTrailerKey(key))
            continue;
        writeBytes(doc, text.data(), text.size());
        writeChar(doc, text.find('%') != std::string::npos ? '\r' : ' ');
    }
}

} // namespace

void writeClassicSection(PdfDocument* doc, const std::vector<UpdateEntry>& entries, int64_t xrefOffset,
                         int infoWritten)
{
    writeString(doc, "xref\r0 1\r0000000000 65535 f\r\r");
    for (size_t i = 0; i < entries.size();) {
        size_t run = i + 1;
        while (run < entries.size() && entries[run].number == entries[run - 1].number + 1)
            ++run;
        writeFormatted(doc, "%d %d\r", entries[i].number, static_cast<int>(run - i));
        for (; i < run; ++i)
            writeFormatted(doc, "%010ld %05d n\r\r", static_cast<long>(entries[i].offset), entries[i].generation);
    }
    writeString(doc, "trailer\r <<");
    writeTrailerEntries(doc, doc->numberBase + doc->objectCount + 1, xrefOffset, infoWritten);
    writeString(doc, ">> ");
}

// A cross-reference stream (uncompressed, never encrypted) listing the update's objects and
// itself; its dictionary is the update's trailer.
void writeStreamSection(PdfDocument* doc, std::vector<UpdateEntry> entries, int xrefNumber, int64_t xrefOffset,
                        int infoWritten)
{
    entries.push_back({xrefNumber + doc->numberBase, xrefOffset, 0});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    int64_t largest = 0;
    for (const UpdateEntry& entry : entries)
        largest = std::max(largest, entry.offset);
    int offsetWidth = 1;
    while (offsetWidth < 8 && (largest >> (8 * offsetWidth)) != 0)
        ++offsetWidth;
    std::string index;
    std::string data;
    for (size_t i = 0; i < entries.size();) {
        size_t run = i + 1;
        while (run < entries.size() && entries[run].number == entries[run - 1].number + 1)
            ++run;
        index += std::to_string(entries[i].number) + " " + std::to_string(run - i) + " ";
        for (; i < run; ++i) {
            data += '\1';
            for (int b = offsetWidth - 1; b >= 0; --b)
                data += static_cast<char>((entries[i].offset >> (8 * b)) & 0xFF);
            data += static_cast<char>((entries[i].generation >> 8) & 0xFF);
            data += static_cast<char>(entries[i].generation & 0xFF);
        }
    }
    writeFormatted(doc, "%d 0 obj\r <</Type /XRef /W [1 %d 2] /Index [%s] /Length %d ", xrefNumber + doc->numberBase,
                   offsetWidth, index.c_str(), static_cast<int>(data.size()));
    writeTrailerEntries(doc, doc->numberBase + doc->objectCount + 1, xrefOffset, infoWritten);
    writeString(doc, ">> stream\r\n");
    writeBytes(doc, data.data(), data.size());
    writeString(doc, "\rendstream endobj\r");
}

} // namespace folvane::pdf
