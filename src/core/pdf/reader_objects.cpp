// The objects the reader needs from an existing file: the catalog, the page-tree root and the
// walk over the page tree, the document information values, and the public entry points.
#include "pdf/reader.h"

#include <algorithm>
#include <exception>

#include "reader_internal.h"
#include "writer_internal.h"

namespace folvane::pdf {

const char* const kExistingInfoKeyNames[kExistingInfoKeyCount] = {
    "Title", "Author", "Subject", "Keywords", "Creator", "Producer", "CreationDate", "ModDate", "Trapped"};

namespace reader {

namespace {

// Reads a header "N G obj" at the scanner; false unless it names `number` and `generation`.
bool headerMatches(Scanner& scan, int number, int generation)
{
    int64_t n = 0;
    int64_t g = 0;
    if (!scan.readInteger(&n) || n != number || !scan.readInteger(&g) || g != generation)
        return false;
    scan.skipBlanks();
    return scan.consume("obj");
}

bool listed(const ExistingPdf& existing, int number)
{
    return number >= 1 && static_cast<size_t>(number) < existing.offsets.size() &&
           (existing.offsets[static_cast<size_t>(number)] >= 0 ||
            existing.offsets[static_cast<size_t>(number)] == kOffsetCompressed);
}

// Moves the scanner past the key it stands on (after findKey) and its following blanks.
void skipKeyName(Scanner& scan)
{
    std::string name;
    scan.readName(&name);
    scan.skipBlanks();
}

// A string value at the scanner: literal or hex, decoded (not decrypted). False for other values.
bool readStringValue(Scanner& scan, uint64_t limit, std::string* bytes)
{
    std::string raw;
    if (scan.peek() == '(') {
        if (!scan.readLiteralString(&raw, limit))
            return false;
        *bytes = decodeLiteral(raw);
        return true;
    }
    if (scan.peek() == '<' && scan.peek(1) != '<') {
        if (!scan.readHexString(&raw, limit))
            return false;
        *bytes = decodeHex(raw);
        return true;
    }
    return false;
}

bool readCatalog(ReadContext& ctx, ExistingPdf& existing)
{
    if (!loadObject(ctx, existing, existing.catalogNumber, kReaderBlockSize, false, &existing.catalogText))
        return false;
    Scanner catalog(existing.catalogText);
    int generation = 0;
    if (!catalog.findKey("/Pages"))
        return false;
    skipKeyName(catalog);
    if (!catalog.readReference(&existing.pageTreeRoot, &generation) || !listed(existing, existing.pageTreeRoot) ||
        generation != generationOf(existing, existing.pageTreeRoot))
        return false;
    if (!loadObject(ctx, existing, existing.pageTreeRoot, kReaderBlockSize, false, &existing.pageTreeRootText))
        return false;
    Scanner root(existing.pageTreeRootText);
    int64_t count = 0;
    if (!root.findKey("/Count"))
        return false;
    skipKeyName(root);
    if (!root.readInteger(&count) || count < 0 || count > kMaxObjectNumber)
        return false;
    existing.rootCount = static_cast<int>(count);
    existing.pageCount = existing.rootCount;

    Scanner version(existing.catalogText);
    std::string name;
    if (version.findKey("/Version") && version.readName(&name)) {
        version.skipBlanks();
        if (version.readName(&name) && name.size() == 3 && isDigit(name[0]) && name[1] == '.' && isDigit(name[2]))
            existing.catalogVersion = (name[0] - '0') * 10 + (name[2] - '0');
    }
    // A certified document (a DocMDP signature) allows no new pages: they would break it.
    Scanner perms(existing.catalogText);
    if (perms.findKey("/Perms") && existing.catalogText.find("/DocMDP") != std::string::npos) {
        ctx.refusal = kRefusalForbidsChanges;
        return false;
    }
    return true;
}

// Reference "N G R" whose 'R' stands at text[at]: the object number, or 0 when it is no reference.
int64_t referenceEndingAt(std::string_view text, size_t at)
{
    auto blank = [](char c) { return isBlank(static_cast<uint8_t>(c)); };
    auto digit = [](char c) { return isDigit(static_cast<uint8_t>(c)); };
    if (at + 1 < text.size() && !blank(text[at + 1]) && !isDelimiter(static_cast<uint8_t>(text[at + 1])))
        return 0;
    size_t i = at;
    auto skipBlanksBack = [&] {
        size_t from = i;
        while (i > 0 && blank(text[i - 1]))
            --i;
        return i < from;
    };
    auto digitsBack = [&] {
        size_t from = i;
        while (i > 0 && digit(text[i - 1]) && from - i < 12)
            --i;
        return i < from;
    };
    if (!skipBlanksBack() || !digitsBack() || !skipBlanksBack())
        return 0;
    size_t numberEnd = i;
    if (!digitsBack() || (i > 0 && (digit(text[i - 1]) || std::isalpha(static_cast<uint8_t>(text[i - 1])))))
        return 0;
    int64_t number = 0;
    for (size_t k = i; k < numberEnd; ++k)
        number = number * 10 + (text[k] - '0');
    return number;
}

void raiseAboveReferences(std::string_view text, int64_t limit, int64_t* highest)
{
    for (size_t at = text.find('R'); at != std::string_view::npos; at = text.find('R', at + 1)) {
        int64_t number = referenceEndingAt(text, at);
        if (number > *highest && number <= limit)
            *highest = number;
    }
}

// New objects must not bring old dangling references back to life: their numbers start above
// every number the file refers to, not only above the ones it defines. The whole file is looked
// through (chunks overlap so that no reference is cut), and the object streams' decoded data.
bool raiseAboveReferencedNumbers(ReadContext& ctx, ExistingPdf& existing)
{
    constexpr size_t kChunk = 1 << 20;
    constexpr size_t kOverlap = 64;
    const int64_t limit = std::min<int64_t>(kMaxObjectNumber - 1, ctx.fileSize + 4096);
    int64_t highest = existing.highestNumber;
    std::string chunk;
    for (int64_t at = 0; at < ctx.fileSize; at += static_cast<int64_t>(kChunk - kOverlap)) {
        size_t length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kChunk), ctx.fileSize - at));
        if (!readBytesAt(ctx, at, length, &chunk))
            return false;
        raiseAboveReferences(chunk, limit, &highest);
        if (at + static_cast<int64_t>(length) >= ctx.fileSize)
            break;
    }
    std::string text;
    for (const auto& [number, where] : existing.compressed) {
        if (!ctx.objectStreams.count(where.first))
            loadCompressedObject(ctx, existing, number, kReaderBlockSize, &text);
    }
    for (const auto& [number, stream] : ctx.objectStreams)
        raiseAboveReferences(stream.data, limit, &highest);
    existing.highestNumber = static_cast<int>(highest);
    existing.offsets.resize(static_cast<size_t>(highest) + 1, kOffsetUnlisted);
    existing.generations.resize(static_cast<size_t>(highest) + 1, 0);
    return !ctx.exhausted;
}

} // namespace

// The /Kids of a page-tree node: 1 with *kids filled (possibly empty), 0 when the node has no
// /Kids (a page), -1 when they cannot be read. The array may be an indirect object.
int readKids(ReadContext& ctx, const ExistingPdf& existing, const std::string& text,
             std::vector<std::pair<int, int>>* kids)
{
    Scanner scan(text);
    if (!scan.findKey("/Kids"))
        return 0;
    skipKeyName(scan);
    std::string array;
    if (scan.peek() == '[') {
        if (!scan.skipBalanced(&array, text.size()))
            return -1;
    } else {
        int number = 0;
        int generation = 0;
        std::string object;
        if (!scan.readReference(&number, &generation) || !listed(existing, number) ||
            generation != generationOf(existing, number) ||
            !loadObject(ctx, existing, number, kReaderBlockSize, false, &object))
            return -1;
        Scanner body(std::string_view(object).substr(bodyStart(object)));
        body.skipBlanks();
        if (body.peek() != '[' || !body.skipBalanced(&array, object.size()))
            return -1;
    }
    kids->clear();
    Scanner items(std::string_view(array).substr(1, array.size() - 2));
    for (;;) {
        items.skipBlanks();
        if (items.atEnd())
            return 1;
        int number = 0;
        int generation = 0;
        if (!items.readReference(&number, &generation))
            return -1;
        kids->emplace_back(number, generation);
    }
}

size_t bodyStart(const std::string& text)
{
    Scanner scan(text);
    int64_t ignored = 0;
    scan.readInteger(&ignored);
    scan.readInteger(&ignored);
    scan.skipBlanks();
    scan.consume("obj");
    return scan.index();
}

bool loadObject(ReadContext& ctx, const ExistingPdf& existing, int number, uint64_t limit, bool allowTruncated,
                std::string* text)
{
    if (!listed(existing, number))
        return false;
    if (isCompressed(existing, number))
        return loadCompressedObject(ctx, existing, number, limit, text);
    int64_t position = existing.offsets[static_cast<size_t>(number)];
    if (position >= ctx.fileSize)
        return false;
    Scanner scan(ctx, position, 1024);
    scan.skipBlanks();
    if (!scan.objectText(text, limit, allowTruncated))
        return false;
    Scanner header(*text);
    return headerMatches(header, number, generationOf(existing, number));
}

bool readPages(ReadContext& ctx, ExistingPdf& existing)
{
    existing.pages.clear();
    existing.pageTexts.clear();
    if (!listed(existing, existing.pageTreeRoot))
        return false;

    struct Node {
        std::vector<std::pair<int, int>> kids;
        size_t next = 0;
    };
    std::vector<Node> stack(1);
    // The root must be an inner node: an update attaches its new pages to the root's kids.
    if (readKids(ctx, existing, existing.pageTreeRootText, &stack[0].kids) != 1)
        return false;
    std::vector<bool> visited(existing.offsets.size(), false);
    visited[static_cast<size_t>(existing.pageTreeRoot)] = true;

    std::string text;
    std::vector<std::pair<int, int>> kids;
    while (!stack.empty()) {
        Node& node = stack.back();
        if (node.next == node.kids.size()) {
            stack.pop_back();
            continue;
        }
        auto [number, generation] = node.kids[node.next++];
        // A node met twice is a cycle or a shared subtree; both make the tree unusable.
        if (!listed(existing, number) || visited[static_cast<size_t>(number)] ||
            generation != generationOf(existing, number))
            return false;
        visited[static_cast<size_t>(number)] = true;
        if (!loadObject(ctx, existing, number, kReaderBlockSize, false, &text))
            return false;
        int inner = readKids(ctx, existing, text, &kids);
        if (inner < 0)
            return false;
        if (inner == 1) {
            // The root is level 1; a node below kMaxPageTreeDepth levels is refused as damage.
            if (stack.size() >= static_cast<size_t>(limits::kMaxPageTreeDepth))
                return false;
            stack.push_back(Node{std::move(kids), 0});
            kids = {};
        } else {
            existing.pages.push_back(number);
            existing.pageTexts.push_back(std::move(text));
            text = {};
        }
    }
    existing.pageCount = std::min(existing.rootCount, static_cast<int>(existing.pages.size()));
    return !ctx.exhausted;
}

bool readInfo(ReadContext& ctx, ExistingPdf& existing)
{
    for (ExistingInfoValue& value : existing.info)
        value = ExistingInfoValue{};
    existing.infoExtras.clear();
    if (existing.infoNumber == 0 && existing.infoDirect.empty())
        return true;
    std::string text;
    if (existing.infoNumber == 0) {
        text = "0 0 obj " + existing.infoDirect + " endobj";
    } else if (!loadObject(ctx, existing, existing.infoNumber, kInfoTextLimit, true, &text)) {
        return false;
    }
    // Strings of a trailer or of an object stream are not encrypted one by one.
    const bool encryptedStrings =
        existing.infoNumber != 0 && !isCompressed(existing, existing.infoNumber) && existing.encryption.encrypted;
    const int infoGeneration = existing.infoNumber ? generationOf(existing, existing.infoNumber) : 0;
    auto decrypt = [&](std::string& bytes) {
        if (encryptedStrings)
            decryptExistingString(existing.encryption, existing.infoNumber, infoGeneration, bytes);
    };

    for (int k = 0; k < kExistingInfoKeyCount; ++k) {
        std::string key = std::string("/") + kExistingInfoKeyNames[k];
        Scanner scan(text);
        if (scan.boundedSearch(key, text.size(), "endobj") != kFound)
            continue;
        skipKeyName(scan);
        ExistingInfoValue value;
        if (readStringValue(scan, text.size(), &value.bytes)) {
            decrypt(value.bytes);
        } else if (scan.peek() == '/' && k == kExistingTrapped) {
            scan.readName(&value.bytes);
            value.isName = true;
        } else if (isDigit(scan.peek())) {
            // A value kept in an object of its own, encrypted with that object's key.
            int number = 0;
            int generation = 0;
            std::string object;
            if (!scan.readReference(&number, &generation) || !listed(existing, number) ||
                generation != generationOf(existing, number) ||
                !loadObject(ctx, existing, number, kInfoTextLimit, true, &object))
                continue;
            Scanner body(std::string_view(object).substr(bodyStart(object)));
            body.skipBlanks();
            if (!readStringValue(body, object.size(), &value.bytes))
                continue;
            if (!isCompressed(existing, number))
                decryptExistingString(existing.encryption, number, generation, value.bytes);
        } else {
            continue;
        }
        value.present = true;
        existing.info[k] = std::move(value);
    }

    // Every other key is kept too: strings as their bytes (written again under the update's
    // encryption), other values as written when they hold no string that encryption would touch.
    size_t open = text.find("<<", bodyStart(text));
    std::vector<std::pair<std::string, std::string>> entries;
    if (open == std::string::npos || !dictionaryEntries(std::string_view(text).substr(open), &entries))
        return !ctx.exhausted;
    for (const auto& [key, entry] : entries) {
        bool standard = false;
        for (const char* name : kExistingInfoKeyNames)
            standard = standard || key == name;
        if (standard || key.empty())
            continue;
        Scanner value(std::string_view(entry).substr(1 + key.size()));
        value.skipBlanks();
        ExistingPdf::InfoExtra extra;
        extra.key = key;
        if (readStringValue(value, entry.size(), &extra.bytes)) {
            decrypt(extra.bytes);
            extra.isString = true;
        } else {
            std::string valueText = entry.substr(1 + key.size());
            bool holdsString = valueText.find('(') != std::string::npos || valueText.find('<') != std::string::npos;
            if (holdsString && existing.encryption.encrypted)
                continue;
            extra.bytes = valueText;
        }
        existing.infoExtras.push_back(std::move(extra));
    }
    return !ctx.exhausted;
}

} // namespace reader

namespace {

// Runs one read with a fresh context; a failure (or an exhausted allocation) yields 0.
template <typename Step>
int runRead(FILE* file, ExistingPdf& existing, std::string* refusal, Step step)
{
    if (!file)
        return 0;
    try {
        reader::ReadContext ctx;
        if (!ctx.open(file)) {
            if (refusal)
                *refusal = kRefusalNotPdf; // empty, or too large to be read
            return 0;
        }
        if (step(ctx, existing) && !ctx.exhausted)
            return 1;
        if (refusal)
            *refusal = ctx.refusal.empty() ? kRefusalDamaged : ctx.refusal;
        return 0;
    } catch (const std::exception&) {
        if (refusal)
            *refusal = kRefusalDamaged;
        return 0; // allocation failure
    }
}

template <typename Step>
int runRead(PdfDocument* doc, FILE* file, Step step)
{
    if (!isValid(doc))
        return 0;
    return runRead(file, doc->existing, nullptr, step);
}

} // namespace

int readExistingPdf(FILE* file, ExistingPdf& existing, std::string* refusal)
{
    existing = ExistingPdf{};
    int result = runRead(file, existing, refusal, [](reader::ReadContext& ctx, ExistingPdf& e) {
        e.fileSize = ctx.fileSize;
        return reader::readCrossReferences(ctx, e) && reader::readEncryption(ctx, e) && reader::readInfo(ctx, e) &&
               reader::readCatalog(ctx, e) && reader::readPages(ctx, e) && reader::raiseAboveReferencedNumbers(ctx, e);
    });
    if (!result)
        existing = ExistingPdf{};
    return result;
}

int readPdfStructure(PdfDocument* doc, FILE* file, std::string* refusal)
{
    if (!isValid(doc))
        return 0;
    return readExistingPdf(file, doc->existing, refusal);
}

int readPageTree(PdfDocument* doc, FILE* file)
{
    return runRead(doc, file, [](reader::ReadContext& ctx, ExistingPdf& existing) {
        return !existing.offsets.empty() && reader::readPages(ctx, existing);
    });
}

int readInfoDictionary(PdfDocument* doc, FILE* file)
{
    return runRead(doc, file, [](reader::ReadContext& ctx, ExistingPdf& existing) {
        return !existing.offsets.empty() && reader::readInfo(ctx, existing);
    });
}

} // namespace folvane::pdf
