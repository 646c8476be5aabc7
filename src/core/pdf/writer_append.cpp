// Incremental updates: opening an existing PDF for appending pages, and the closing sequence
// that adds the new pages' subtree, rewrites the page-tree root (and the catalog and the
// document information when they change), and chains a new cross-reference section to the old
// ones. The existing bytes are never changed; a failed final write is cut off again.
#include "pdf/document.h"

#include <cstring>
#include <string_view>
#include <unistd.h>

#include "pdf/fonts.h"
#include "pdf/outline.h"
#include "pdf/reader.h"
#include "pdf/reader_internal.h"
#include "pdf/security.h"
#include "pdf/writeback.h"
#include "pdf/writer_internal.h"

namespace folvane::pdf {

namespace {

int generationOf(const ExistingPdf& existing, int number)
{
    if (number < 1 || static_cast<size_t>(number) >= existing.generations.size())
        return 0;
    return existing.generations[static_cast<size_t>(number)];
}

struct DictionaryEntry {
    std::string key;  // without the slash
    std::string text; // "/Key value" as written
};

// The top-level entries of the first dictionary in an object's text, each with its value as
// written (strings stay byte for byte, so encrypted strings keep working under the same number).
bool dictionaryEntries(const std::string& objectText, std::vector<DictionaryEntry>* entries)
{
    size_t open = objectText.find("<<", reader::bodyStart(objectText));
    if (open == std::string::npos)
        return false;
    std::string_view body(objectText);
    reader::Scanner scan(body.substr(open + 2));
    for (;;) {
        scan.skipBlanks();
        if (scan.startsWith(">>"))
            return true;
        if (scan.peek() != '/')
            return false;
        size_t start = scan.index();
        std::string key;
        if (!scan.readName(&key) || !scan.skipValue())
            return false;
        // A value of several tokens ("3 0 R") runs up to the next key or the end.
        for (scan.skipBlanks(); !scan.atEnd() && scan.peek() != '/' && !scan.startsWith(">>"); scan.skipBlanks()) {
            if (!scan.skipValue())
                return false;
        }
        entries->push_back({key, std::string(body.substr(open + 2 + start, scan.index() - start))});
    }
}

// "N G obj\r <<" ... ">> endobj " of an existing object rewritten under its own number.
void beginRewrite(PdfDocument* doc, int number, int64_t* offset)
{
    *offset = currentOffset(doc);
    writeFormatted(doc, "%d %d obj\r <<", number, generationOf(doc->existing, number));
}

// The entries as copied into a rewritten dictionary.
std::string entriesText(const std::vector<DictionaryEntry>& entries)
{
    std::string text;
    for (const auto& entry : entries) {
        text += entry.text;
        // A "%" in the copied text may open a comment running to the end of the line; a line
        // end keeps what follows out of it.
        text += entry.text.find('%') != std::string::npos ? '\r' : ' ';
    }
    return text;
}

void writeEntries(PdfDocument* doc, const std::vector<DictionaryEntry>& entries)
{
    std::string text = entriesText(entries);
    writeBytes(doc, text.data(), text.size());
}

bool hasViewerSettings(const PdfDocument* doc)
{
    const ViewerSettings& v = doc->viewer;
    return v.pageMode != 0 || v.openFit != 0 || v.flags != 0 || v.openPage > 1;
}

// The existing catalog with its open action, viewer preferences and page mode replaced.
bool rewriteCatalog(PdfDocument* doc, int64_t* offset)
{
    std::vector<DictionaryEntry> entries;
    if (!dictionaryEntries(doc->existing.catalogText, &entries))
        return false;
    std::erase_if(entries, [](const DictionaryEntry& e) {
        return e.key == "OpenAction" || e.key == "ViewerPreferences" || e.key == "PageMode";
    });
    beginRewrite(doc, doc->existing.catalogNumber, offset);
    writeEntries(doc, entries);
    writeCatalogViewerEntries(doc);
    writeString(doc, ">> endobj ");
    return true;
}

using Kids = std::vector<std::pair<int, int>>; // number, generation

// Whether the reader takes a rewritten page-tree root as written: one object that ends at its
// own "endobj", whose /Count is `count` and whose kids are `kids`. Entries copied from a damaged
// root can change how the text scans (an unbalanced string or a comment across the new entries);
// such an update is refused rather than written unreadable.
bool rootReadsBack(PdfDocument* doc, const std::string& object, int count, const Kids& kids)
{
    reader::Scanner scan(object);
    std::string text;
    if (!scan.objectText(&text, object.size(), false) || text.size() + 1 != object.size())
        return false;
    reader::Scanner root(text);
    std::string name;
    int64_t value = 0;
    if (!root.findKey("/Count") || !root.readName(&name))
        return false;
    root.skipBlanks();
    if (!root.readInteger(&value) || value != count)
        return false;
    reader::ReadContext unused; // the kids are a direct array: nothing is loaded
    Kids read;
    return reader::readKids(unused, doc->existing, text, &read) == 1 && read == kids;
}

// The existing page-tree root with the new count and the new subtree added to its kids.
bool rewritePageRoot(PdfDocument* doc, int subtreeRoot, int64_t* offset)
{
    std::vector<DictionaryEntry> entries;
    if (!dictionaryEntries(doc->existing.pageTreeRootText, &entries))
        return false;
    // The kids the reader walked (a damaged root may name /Kids more than once, or hide one in a
    // value), read from the array object when /Kids refers to one; the new subtree follows them.
    reader::ReadContext context;
    Kids kids;
    if (!context.open(doc->sink) || reader::readKids(context, doc->existing, doc->existing.pageTreeRootText, &kids) != 1)
        return false;
    kids.emplace_back(subtreeRoot + doc->numberBase, 0);
    std::string kidsText;
    for (const auto& [kid, generation] : kids)
        kidsText += std::to_string(kid) + " " + std::to_string(generation) + " R ";
    std::erase_if(entries, [](const DictionaryEntry& e) { return e.key == "Count" || e.key == "Kids"; });
    // The new count and kids come first: readers that look keys up by prefix (ours among them)
    // must meet "/Count" before a longer key such as "/CountBox" that the root may also hold.
    const int number = doc->existing.pageTreeRoot;
    const int count = doc->existing.pageCount + doc->pageCount;
    std::string object = std::to_string(number) + " " + std::to_string(generationOf(doc->existing, number)) +
                         " obj\r <</Count " + std::to_string(count) + " /Kids [" + kidsText + "] " +
                         entriesText(entries) + ">> endobj ";
    if (!rootReadsBack(doc, object, count, kids))
        return false;
    *offset = currentOffset(doc);
    writeBytes(doc, object.data(), object.size());
    return true;
}

void writeEntry(PdfDocument* doc, int number, int64_t offset)
{
    writeFormatted(doc, "%d 1\r%010ld %05d n\r\r", number, static_cast<long>(offset),
                   generationOf(doc->existing, number));
}

void writeAppendTrailer(PdfDocument* doc, int64_t xrefOffset, int infoWritten)
{
    const ExistingPdf& e = doc->existing;
    writeFormatted(doc, "trailer\r <</Size %d ", doc->numberBase + doc->objectCount + 1);
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
    auto digest = documentDigest(doc, xrefOffset);
    writeString(doc, "/ID [");
    if (e.id[0].present) {
        // The first element identifies the file across updates (and enters its encryption key).
        writeChar(doc, e.id[0].literal ? '(' : '<');
        writeBytes(doc, e.id[0].raw.data(), e.id[0].raw.size());
        writeChar(doc, e.id[0].literal ? ')' : '>');
    } else {
        writeHexBytes(doc, digest.data(), digest.size());
    }
    writeHexBytes(doc, digest.data(), digest.size());
    writeString(doc, "] >> ");
    writeFormatted(doc, "\rstartxref\r%ld\r%%%%EOF\r\n", static_cast<long>(xrefOffset));
}

} // namespace

int openForAppend(PdfDocument* doc, const std::string& path)
{
    if (!isValid(doc))
        return -1;
    checkScope(doc, kScopeObject, "openForAppend");
    int headerOffset = 0;
    if (checkAppendHeader(path, &headerOffset) != 1 || !resetForOutput(doc, 1))
        return -1;
    // Reads anywhere, writes only at the end: the existing bytes cannot be touched.
    FILE* file = std::fopen(path.c_str(), "a+b");
    if (!file) {
        resetForOutput(doc, 0);
        return -1;
    }
    int lastByte = -1;
    if (fseeko(file, -1, SEEK_END) == 0)
        lastByte = std::fgetc(file);
    if (fseeko(file, 0, SEEK_END) != 0 || ReadPdfStructure(doc, file) != 1) {
        std::fclose(file);
        resetForOutput(doc, 0);
        return -1;
    }
    const ExistingPdf& e = doc->existing;
    doc->writeback.reset();
    doc->sink = file;
    doc->outputPath = path;
    doc->appendOriginalSize = e.fileSize;
    // New offsets continue the file, counted the way its own offsets are.
    doc->out.flushed = e.fileSize - e.offsetBase;
    doc->numberBase = e.highestNumber;
    if (e.encryption.encrypted) {
        // New objects are encrypted with the existing file's key.
        SecurityState& s = doc->security;
        s.encrypted = true;
        s.revision = e.encryption.revision;
        s.keyLength = e.encryption.keyLength;
        s.permissions = e.encryption.permissions;
        std::memcpy(s.fileKey, e.encryption.fileKey, sizeof e.encryption.fileKey);
    }
    resetScopes(doc, true);
    // The update starts on a line of its own.
    if (lastByte != '\r' && lastByte != '\n')
        writeChar(doc, '\r');
    return 1;
}

bool appendPermitted(const PdfDocument* doc)
{
    if (!isValid(doc) || doc->writeMode != 1)
        return false;
    const ExistingEncryption& e = doc->existing.encryption;
    if (!e.encrypted || e.openedAsOwner)
        return true;
    auto p = static_cast<uint32_t>(e.permissions);
    bool modify = (p & (1u << 3)) != 0;
    bool assemble = (p & (1u << 10)) != 0;
    return modify && (e.revision < 3 || assemble);
}

void abandonAppend(PdfDocument* doc)
{
    if (!isValid(doc) || doc->writeMode != 1 || !doc->sink)
        return;
    // Nothing is normally flushed before the close; should a large update have reached the file,
    // it is cut back to its original length.
    fflush(doc->sink);
    if (doc->appendOriginalSize > 0 &&
        ::ftruncate(fileno(doc->sink), static_cast<off_t>(doc->appendOriginalSize)) != 0)
        doc->writeFailed = true;
    std::fclose(doc->sink);
    doc->sink = nullptr;
    releaseOutputBuffer(doc);
    resetForOutput(doc, 0);
    resetScopes(doc, false);
}

void closeAppend(PdfDocument* doc)
{
    writeFontObjects(doc);
    int subtreeRoot = doc->pageCount > 0 ? writePageTree(doc, doc->existing.pageTreeRoot) : 0;

    int64_t catalogOffset = -1;
    if (hasViewerSettings(doc) && !rewriteCatalog(doc, &catalogOffset)) {
        reportError(doc, kErrArgument, "the existing catalog could not be rewritten");
        catalogOffset = -1;
    }
    int64_t infoOffset = -1;
    int infoWritten = writeAppendInfoDictionary(doc, &infoOffset);
    int64_t rootOffset = -1;
    bool pagesLost = false;
    if (subtreeRoot && !rewritePageRoot(doc, subtreeRoot, &rootOffset)) {
        // The new pages would hang under no root: the update must not count as written.
        reportError(doc, kErrArgument, "the existing page tree could not be extended");
        pagesLost = true;
    }
    // Bookmarks are not added to an existing outline; numbers they reserved become placeholders.
    writePlaceholders(doc);

    writeChar(doc, '\r');
    int64_t xrefOffset = currentOffset(doc);
    writeString(doc, "xref\r0 1\r0000000000 65535 f\r\r");
    if (catalogOffset >= 0)
        writeEntry(doc, doc->existing.catalogNumber, catalogOffset);
    if (rootOffset >= 0)
        writeEntry(doc, doc->existing.pageTreeRoot, rootOffset);
    if (infoOffset >= 0 && infoWritten == doc->existing.infoNumber)
        writeEntry(doc, infoWritten, infoOffset);
    if (doc->objectCount > 0) {
        writeFormatted(doc, "%d %d\r", doc->numberBase + 1, doc->objectCount);
        for (int n = 1; n <= doc->objectCount; ++n)
            writeFormatted(doc, "%010ld 00000 n\r\r", static_cast<long>(doc->offsets[static_cast<size_t>(n)]));
    }
    writeAppendTrailer(doc, xrefOffset, infoWritten);

    // A failed write must not leave a damaged tail on a good file: cut it back to its old size.
    flushOutput(doc);
    bool failed = doc->writeFailed || std::fflush(doc->sink) != 0 || pagesLost;
    if (failed) {
        doc->writeFailed = true;
        if (::ftruncate(fileno(doc->sink), static_cast<off_t>(doc->appendOriginalSize)) != 0)
            reportError(doc, kErrWrite, "could not restore %s to its original size", doc->outputPath.c_str());
    }
}

} // namespace folvane::pdf
