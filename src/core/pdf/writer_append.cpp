// Incremental updates: opening an existing PDF for appending pages, and the closing sequence
// that adds the new pages' subtree, rewrites the page-tree root (and the catalog and the
// document information when they change), and chains a new cross-reference section to the old
// ones. The existing bytes are never changed; a failed final write is cut off again.
#include "pdf/document.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

#include "pdf/fonts.h"
#include "pdf/outline.h"
#include "pdf/reader.h"
#include "reader_internal.h"
#include "pdf/security.h"
#include "writeback.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

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
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!reader::dictionaryEntries(std::string_view(objectText).substr(open), &pairs))
        return false;
    for (auto& [key, text] : pairs)
        entries->push_back({std::move(key), std::move(text)});
    return true;
}

// "N G obj\r <<" ... ">> endobj\r" of an existing object rewritten under its own number.
void beginRewrite(PdfDocument* doc, int number, int64_t* offset)
{
    *offset = currentOffset(doc);
    writeFormatted(doc, "%d %d obj\r <<", number, generationOf(doc->existing, number));
}

// An object kept in an object stream of an encrypted file has plain strings (the stream as a
// whole was encrypted); written again as an object of its own, its strings must be encrypted
// with its key. Other objects keep their strings byte for byte.
std::string stringsForRewrite(const PdfDocument* doc, int number, const std::string& text)
{
    if (!doc->security.encrypted || !reader::isCompressed(doc->existing, number))
        return text;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool hex = c == '<' && (i + 1 >= text.size() || text[i + 1] != '<');
        if (c == '<' && !hex) {
            out += "<<";
            i += 2;
            continue;
        }
        if (c == '%') {
            size_t end = text.find_first_of("\r\n", i);
            end = end == std::string::npos ? text.size() : end;
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        if (c != '(' && !hex) {
            out += c;
            ++i;
            continue;
        }
        reader::Scanner scan(std::string_view(text).substr(i));
        std::string raw;
        if (!(hex ? scan.readHexString(&raw, text.size()) : scan.readLiteralString(&raw, text.size()))) {
            out.append(text, i, std::string::npos);
            break;
        }
        std::string bytes = hex ? reader::decodeHex(raw) : reader::decodeLiteral(raw);
        std::string secret = encryptedCopy(doc, number, bytes.data(), bytes.size());
        static const char kDigits[] = "0123456789ABCDEF";
        out += '<';
        for (char ch : secret) {
            const auto b = static_cast<uint8_t>(ch);
            out += kDigits[b >> 4];
            out += kDigits[b & 15];
        }
        out += '>';
        i += scan.index();
    }
    return out;
}

// The entries as copied into the rewritten dictionary of object `number`.
std::string entriesText(const PdfDocument* doc, int number, const std::vector<DictionaryEntry>& entries)
{
    std::string text;
    for (const auto& original : entries) {
        const DictionaryEntry entry{original.key, stringsForRewrite(doc, number, original.text)};
        text += entry.text;
        // A "%" in the copied text may open a comment running to the end of the line; a line
        // end keeps what follows out of it.
        text += entry.text.find('%') != std::string::npos ? '\r' : ' ';
    }
    return text;
}

void writeEntries(PdfDocument* doc, int number, const std::vector<DictionaryEntry>& entries)
{
    std::string text = entriesText(doc, number, entries);
    writeBytes(doc, text.data(), text.size());
}

// The viewer settings that differ from their defaults (page only, page width, first page, no
// preferences); the others are cleared, so that only the changed ones reach the catalog.
ViewerSettings changedViewerSettings(const ViewerSettings& v)
{
    ViewerSettings changed;
    if (v.pageMode > kPageModeUseNone)
        changed.pageMode = v.pageMode;
    if (v.openPage > 1 || (v.openFit != kOpenFitNone && v.openFit != kOpenFitWidth)) {
        changed.openFit = v.openFit;
        changed.openPage = v.openPage;
    }
    changed.flags = v.flags;
    return changed;
}

bool hasViewerSettings(const PdfDocument* doc)
{
    const ViewerSettings v = changedViewerSettings(doc->viewer);
    return v.pageMode != 0 || v.openFit != 0 || v.flags != 0 || v.openPage > 1;
}

// The version the new content asks for (13 = PDF 1.3 ...), and the file's: its header, raised by
// a /Version of the catalog.
int neededVersion(const PdfDocument* doc)
{
    return std::max(doc->versionCode, doc->contentVersionCode);
}

int fileVersion(const ExistingPdf& e)
{
    return std::max(e.headerVersion, e.catalogVersion);
}

bool versionTooLow(const PdfDocument* doc)
{
    int version = fileVersion(doc->existing);
    return version > 0 && version < neededVersion(doc);
}

// The existing catalog with every entry kept, except the viewer entries whose settings differ
// from their defaults (replaced) and /Version when the file's version must rise.
bool rewriteCatalog(PdfDocument* doc, int64_t* offset)
{
    std::vector<DictionaryEntry> entries;
    if (!dictionaryEntries(doc->existing.catalogText, &entries))
        return false;
    const ViewerSettings v = changedViewerSettings(doc->viewer);
    const bool raise = versionTooLow(doc);
    std::erase_if(entries, [&](const DictionaryEntry& e) {
        return (e.key == "OpenAction" && (v.openFit != 0 || v.openPage > 1)) ||
               (e.key == "ViewerPreferences" && v.flags != 0) || (e.key == "PageMode" && v.pageMode != 0) ||
               (e.key == "Version" && raise);
    });
    beginRewrite(doc, doc->existing.catalogNumber, offset);
    writeEntries(doc, doc->existing.catalogNumber, entries);
    const ViewerSettings settings = doc->viewer;
    doc->viewer = v;
    writeCatalogViewerEntries(doc);
    doc->viewer = settings;
    if (raise)
        writeFormatted(doc, "/Version /%d.%d ", neededVersion(doc) / 10, neededVersion(doc) % 10);
    writeString(doc, ">> endobj\r");
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
    // The pages the walk found, whatever the old /Count said, plus the new ones.
    const int count = static_cast<int>(doc->existing.pages.size()) + doc->pageCount;
    std::string object = std::to_string(number) + " " + std::to_string(generationOf(doc->existing, number)) +
                         " obj\r <</Count " + std::to_string(count) + " /Kids [" + kidsText + "] " +
                         entriesText(doc, number, entries) + ">> endobj\r";
    if (!rootReadsBack(doc, object, count, kids))
        return false;
    *offset = currentOffset(doc);
    writeBytes(doc, object.data(), object.size());
    return true;
}

// Whether the file as it now stands reads back with the new pages: the reader follows the new
// section from the last startxref, walks the page tree to the old pages plus the new ones, and
// finds every object of the update at its offset under its own number.
bool updateReadsBack(PdfDocument* doc, const std::vector<UpdateEntry>& entries)
{
    ExistingPdf back;
    if (readExistingPdf(doc->sink, back) != 1)
        return false;
    const ExistingPdf& before = doc->existing;
    const size_t pages = before.pages.size() + static_cast<size_t>(doc->pageCount);
    if (back.pages.size() != pages || back.pageCount != static_cast<int>(pages))
        return false;
    reader::ReadContext context;
    if (!context.open(doc->sink))
        return false;
    for (const UpdateEntry& entry : entries) {
        const auto number = static_cast<size_t>(entry.number);
        if (number >= back.offsets.size() || back.offsets[number] != entry.offset + back.offsetBase)
            return false;
        reader::Scanner scan(context, back.offsets[number], 64);
        int64_t n = 0;
        int64_t g = 0;
        if (!scan.readInteger(&n) || n != entry.number || !scan.readInteger(&g) || g != entry.generation)
            return false;
        scan.skipBlanks();
        if (!scan.consume("obj"))
            return false;
    }
    return true;
}

} // namespace

int openForAppend(PdfDocument* doc, const std::string& path, std::string* refusal)
{
    if (!isValid(doc))
        return -1;
    checkScope(doc, kScopeObject, "openForAppend");
    auto refuse = [&](const std::string& why) {
        if (refusal)
            *refusal = why;
        return -1;
    };
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe)
        return refuse(std::strerror(errno));
    std::fclose(probe);
    int headerOffset = 0;
    if (checkAppendHeader(path, &headerOffset) != 1)
        return refuse(kRefusalNotPdf);
    if (!resetForOutput(doc, 1))
        return -1;
    // Reads anywhere, writes only at the end: the existing bytes cannot be touched.
    FILE* file = std::fopen(path.c_str(), "a+b");
    if (!file) {
        int error = errno;
        resetForOutput(doc, 0);
        return refuse(std::strerror(error));
    }
    int lastByte = -1;
    if (fseeko(file, -1, SEEK_END) == 0)
        lastByte = std::fgetc(file);
    std::string why = kRefusalDamaged;
    if (fseeko(file, 0, SEEK_END) != 0 || readPdfStructure(doc, file, &why) != 1) {
        std::fclose(file);
        resetForOutput(doc, 0);
        return refuse(why);
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
        // New objects are encrypted with the existing file's key and method.
        SecurityState& s = doc->security;
        s.encrypted = true;
        switch (e.encryption.cipher) {
        case ExistingCipher::kRc4:
            // RC4 keys of objects are alike in revisions 2 to 4; only the key length counts.
            s.revision = e.encryption.keyLength == 5 ? 2 : 3;
            break;
        case ExistingCipher::kAes128:
            s.revision = 4;
            break;
        case ExistingCipher::kAes256:
            s.revision = 6;
            break;
        }
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

    // The catalog is rewritten only for viewer settings that differ from their defaults, or to
    // raise the version; otherwise its open action, page mode and the rest stay as they are.
    int64_t catalogOffset = -1;
    if ((hasViewerSettings(doc) || versionTooLow(doc)) && !rewriteCatalog(doc, &catalogOffset)) {
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

    const ExistingPdf& e = doc->existing;
    std::vector<UpdateEntry> entries;
    if (catalogOffset >= 0)
        entries.push_back({e.catalogNumber, catalogOffset, generationOf(e, e.catalogNumber)});
    if (rootOffset >= 0)
        entries.push_back({e.pageTreeRoot, rootOffset, generationOf(e, e.pageTreeRoot)});
    if (infoOffset >= 0 && infoWritten == e.infoNumber)
        entries.push_back({infoWritten, infoOffset, generationOf(e, infoWritten)});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    // A cross-reference stream needs a number of its own, reserved before the new objects are listed.
    const int xrefNumber = e.newestIsStream ? reserveObject(doc) : 0;
    for (int n = 1; n <= doc->objectCount; ++n)
        if (n != xrefNumber)
            entries.push_back({n + doc->numberBase, doc->offsets[static_cast<size_t>(n)], 0});

    writeChar(doc, '\r');
    int64_t xrefOffset = currentOffset(doc);
    if (xrefNumber)
        writeStreamSection(doc, entries, xrefNumber, xrefOffset, infoWritten);
    else
        writeClassicSection(doc, entries, xrefOffset, infoWritten);
    writeFormatted(doc, "\rstartxref\r%ld\r%%%%EOF\r\n", static_cast<long>(xrefOffset));

    // A failed write must not leave a damaged tail on a good file, nor an update that does not
    // read back with the new pages: either is cut back to the file's old size.
    flushOutput(doc);
    bool failed = doc->writeFailed || std::fflush(doc->sink) != 0 || pagesLost;
    if (!failed && !updateReadsBack(doc, entries)) {
        reportError(doc, kErrWrite, "the update of %s does not read back; it is removed", doc->outputPath.c_str());
        failed = true;
    }
    if (failed) {
        doc->writeFailed = true;
        if (::ftruncate(fileno(doc->sink), static_cast<off_t>(doc->appendOriginalSize)) != 0)
            reportError(doc, kErrWrite, "could not restore %s to its original size", doc->outputPath.c_str());
    }
}

} // namespace folvane::pdf
