// The file's skeleton: the header rule for appending, the last startxref, the chain of classic
// cross-reference sections through /Prev (newest entries win) and their trailers.
#include "reader_internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace folvane::pdf::reader {

namespace {

constexpr size_t kTailSize = 1024;         // startxref is looked for in the last 1024 bytes
constexpr size_t kHeaderSearch = 1024;     // where "%PDF-" may stand for offsets to count from it
constexpr uint64_t kTrailerLimit = 1 << 20;// a trailer dictionary larger than this is refused
constexpr size_t kMaxIdLength = 256;       // raw text of one identifier element
constexpr size_t kSectionFirstRead = 4096;

bool readAt(ReadContext& ctx, int64_t offset, size_t length, std::string* out)
{
    return readBytesAt(ctx, offset, length, out);
}

// The number after the last "startxref" of the file's last 1024 bytes.
bool locateStartxref(ReadContext& ctx, int64_t* offset)
{
    size_t tailLength = static_cast<size_t>(std::min<int64_t>(ctx.fileSize, kTailSize));
    std::string tail;
    if (!readAt(ctx, ctx.fileSize - static_cast<int64_t>(tailLength), tailLength, &tail))
        return false;
    size_t at = tail.rfind("startxref");
    if (at == std::string::npos)
        return false;
    Scanner scan(std::string_view(tail).substr(at + 9));
    return scan.nextNumber(offset);
}

// Whether a cross-reference section starts at file position `position` (after blanks): the
// keyword on its own, not the end of a longer word such as "startxref".
bool xrefKeywordAt(ReadContext& ctx, int64_t position)
{
    if (position < 0 || position >= ctx.fileSize)
        return false;
    Scanner scan(ctx, position, 256);
    scan.skipBlanks();
    if (!scan.startsWith("xref") || std::isalnum(scan.peek(4)))
        return false;
    if (scan.index() > 0 || position == 0)
        return true; // blanks stand before it
    Scanner before(ctx, position - 1, 16);
    return !std::isalnum(before.peek());
}

// Whether an object header "N G obj" stands at file position `position` (a cross-reference
// stream, when it is the newest section).
bool xrefStreamAt(ReadContext& ctx, int64_t position)
{
    if (position < 0 || position >= ctx.fileSize)
        return false;
    Scanner scan(ctx, position, 256);
    if (!isDigit(scan.peek()))
        return false;
    int64_t value = 0;
    if (!scan.readInteger(&value) || !scan.readInteger(&value))
        return false;
    scan.skipBlanks();
    return scan.consume("obj");
}

// Offsets count from the file's start, except in files with bytes before "%PDF-" whose offsets
// count from the header (Acrobat and qpdf read such files that way): the newest section decides.
bool findOffsetBase(ReadContext& ctx, int64_t startxref, int64_t* base, int& headerVersion)
{
    std::string head;
    size_t length = static_cast<size_t>(std::min<int64_t>(ctx.fileSize, kHeaderSearch));
    if (!readAt(ctx, 0, length, &head))
        return false;
    // The header as the append rule finds it, letter case ignored ("%PDf-1.4" counts).
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::toupper(c); });
    size_t header = head.find("%PDF-");
    if (header != std::string::npos && header + 7 < head.size() && isDigit(head[header + 5]) && head[header + 6] == '.' &&
        isDigit(head[header + 7]))
        headerVersion = (head[header + 5] - '0') * 10 + (head[header + 7] - '0');
    if (header != std::string::npos && header > 0 &&
        (xrefKeywordAt(ctx, startxref + static_cast<int64_t>(header)) ||
         xrefStreamAt(ctx, startxref + static_cast<int64_t>(header)))) {
        *base = static_cast<int64_t>(header);
        return true;
    }
    *base = 0;
    return xrefKeywordAt(ctx, startxref) || xrefStreamAt(ctx, startxref);
}

bool readIdElement(Scanner& scan, ExistingIdElement* element)
{
    scan.skipBlanks();
    std::string raw;
    if (scan.peek() == '(') {
        if (!scan.readLiteralString(&raw, kMaxIdLength + 2))
            return false;
        element->literal = true;
        element->bytes = decodeLiteral(raw);
    } else if (scan.peek() == '<') {
        if (!scan.readHexString(&raw, kMaxIdLength + 2))
            return false;
        element->literal = false;
        element->bytes = decodeHex(raw);
    } else {
        return false;
    }
    element->raw = raw;
    element->present = true;
    return true;
}

// The /ID array: two strings, literal or hex, with or without blanks between them. When only
// one can be read, both elements take it.
bool readIdentifier(Scanner& scan, ExistingPdf& existing)
{
    scan.skipBlanks();
    std::string array;
    if (scan.peek() != '[' || !scan.skipBalanced(&array, kTrailerLimit))
        return false;
    if (existing.id[0].present)
        return true; // a newer trailer already gave it
    Scanner items(std::string_view(array).substr(1, array.size() - 2));
    ExistingIdElement first;
    ExistingIdElement second;
    if (!readIdElement(items, &first))
        return false;
    if (!readIdElement(items, &second))
        second = first;
    existing.id[0] = first;
    existing.id[1] = second;
    return true;
}

// The highest object number a file may use: its size in bytes plus 4096. Real files number their
// objects densely, and the tables must stay proportional to the file. The limit holds for the
// numbers the sections list and for /Size alike, since an update numbers its new objects from
// /Size; and as an update adds more bytes than objects, a file within the limit stays within it
// after any number of updates.
int64_t objectNumberLimit(const ReadContext& ctx)
{
    return std::min<int64_t>(kMaxObjectNumber, ctx.fileSize + 4096);
}

struct ChainState {
    bool sizeSeen = false;
    int64_t sizeHighest = 0;  // /Size - 1 of the newest trailer that has /Size
    int64_t listedHighest = 0;// highest number any section lists
};

bool keyIs(const std::string& name, const char* key)
{
    size_t n = std::strlen(key);
    if (name.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<uint8_t>(name[i])) != std::tolower(static_cast<uint8_t>(key[i])))
            return false;
    return true;
}

bool readOptionalReference(Scanner& scan, int* target)
{
    int number = 0;
    int generation = 0;
    if (!scan.readReference(&number, &generation))
        return false;
    if (*target == 0)
        *target = number;
    return true;
}

struct SectionLinks {
    int64_t prev = -1;    // /Prev as a file position, or -1
    int64_t xrefStm = -1; // /XRefStm of a classic trailer (a hybrid file) as a file position, or -1
};

// A trailer dictionary ("<< ... >>", or the dictionary of a cross-reference stream): every entry
// is looked at; values already set by a newer trailer stay.
bool readTrailer(ReadContext& ctx, std::string_view dict, ExistingPdf& existing, ChainState& state, bool newest,
                 SectionLinks* links)
{
    if (newest && !dictionaryEntries(dict, &existing.newestTrailer))
        return false;
    Scanner scan(dict.substr(2, dict.size() - 4));
    for (;;) {
        scan.skipBlanks();
        if (scan.atEnd())
            return true;
        if (scan.peek() != '/') {
            if (!scan.skipValue())
                return false;
            continue;
        }
        std::string name;
        scan.readName(&name);
        int64_t value = 0;
        if (keyIs(name, "Size")) {
            if (!scan.readInteger(&value) || value < 1 || value > objectNumberLimit(ctx) + 1)
                return false;
            if (!state.sizeSeen) {
                state.sizeSeen = true;
                state.sizeHighest = value - 1;
            }
        } else if (keyIs(name, "Prev")) {
            if (!scan.readInteger(&value) || value < 0 || value >= ctx.fileSize)
                return false;
            links->prev = value + existing.offsetBase;
        } else if (keyIs(name, "XRefStm")) {
            if (!scan.readInteger(&value) || value < 0 || value >= ctx.fileSize)
                return false;
            links->xrefStm = value + existing.offsetBase;
        } else if (keyIs(name, "Root")) {
            if (!readOptionalReference(scan, &existing.catalogNumber))
                return false;
        } else if (keyIs(name, "Info")) {
            scan.skipBlanks();
            if (scan.startsWith("<<")) {
                // Written inline: kept as text, and the update writes it as an object of its own.
                std::string direct;
                if (!scan.skipBalanced(&direct, kTrailerLimit))
                    return false;
                if (existing.infoNumber == 0 && existing.infoDirect.empty())
                    existing.infoDirect = direct;
            } else {
                int number = 0;
                if (!readOptionalReference(scan, &number))
                    return false;
                if (existing.infoNumber == 0 && existing.infoDirect.empty())
                    existing.infoNumber = number;
            }
        } else if (keyIs(name, "Encrypt")) {
            scan.skipBlanks();
            if (scan.startsWith("<<")) {
                std::string direct;
                if (!scan.skipBalanced(&direct, kTrailerLimit))
                    return false;
                if (existing.encryptNumber == 0 && existing.encryptDirect.empty())
                    existing.encryptDirect = direct;
            } else {
                int number = 0;
                if (!readOptionalReference(scan, &number))
                    return false;
                if (existing.encryptNumber == 0 && existing.encryptDirect.empty())
                    existing.encryptNumber = number;
            }
        } else if (keyIs(name, "ID")) {
            if (!readIdentifier(scan, existing))
                return false;
        } else if (!scan.skipValue()) {
            return false;
        }
    }
}

// Grows the tables so that `number` has an entry, the capacity growing by whole multiples.
void ensureEntry(ExistingPdf& existing, size_t number)
{
    size_t capacity = existing.offsets.size();
    if (number < capacity)
        return;
    size_t grown = capacity ? capacity * (number / capacity + 1) : number + 1;
    existing.offsets.resize(grown, kOffsetUnlisted);
    existing.generations.resize(grown, 0);
}

enum EntryKind { kEntryFree = 0, kEntryUsed = 1, kEntryCompressed = 2 };

// Records one entry unless a newer section listed the number already (or, with `override`, the
// number was only marked free by the table of the same hybrid section).
bool recordEntry(ReadContext& ctx, ExistingPdf& existing, ChainState& state, int64_t number, int kind, int64_t a,
                 int64_t b, bool override)
{
    auto index = static_cast<size_t>(number);
    if (existing.offsets[index] != kOffsetUnlisted && !(override && existing.offsets[index] == kOffsetFree))
        return true;
    if (kind == kEntryFree) {
        // Some writers give the head of the free list generation 65536; free entries keep none.
        if (override)
            return true;
        existing.offsets[index] = kOffsetFree;
    } else if (kind == kEntryUsed) {
        if (b < 0 || b > 65535 || a < 0)
            return false;
        existing.offsets[index] = std::min(a, ctx.fileSize) + existing.offsetBase;
        existing.generations[index] = static_cast<uint16_t>(b);
    } else {
        if (a < 1 || a > objectNumberLimit(ctx) || b < 0 || b > kMaxObjectNumber)
            return false;
        existing.offsets[index] = kOffsetCompressed;
        existing.generations[index] = 0;
        existing.compressed[static_cast<int>(number)] = {static_cast<int>(a), static_cast<int>(b)};
    }
    state.listedHighest = std::max<int64_t>(state.listedHighest, number);
    return true;
}

// A cross-reference stream at file position `position`: its entries and (unless it is the
// /XRefStm of a hybrid section, whose table carries the trailer) its dictionary as the trailer.
bool readStreamSection(ReadContext& ctx, ExistingPdf& existing, ChainState& state, int64_t position, bool newest,
                       bool hybrid, SectionLinks* links)
{
    const int64_t numberLimit = objectNumberLimit(ctx);
    Scanner header(ctx, position, 256);
    header.skipBlanks();
    int64_t number = 0;
    int64_t generation = 0;
    const int64_t start = position + static_cast<int64_t>(header.consumed());
    if (!header.readInteger(&number) || number < 1 || number > numberLimit || !header.readInteger(&generation) ||
        generation < 0 || generation > 65535)
        return false;
    std::string dict;
    std::string data;
    // Each entry takes at most 20 bytes (three fields of up to 8, 8 and 4 bytes).
    const auto limit = static_cast<uint64_t>(numberLimit + 1) * 20;
    if (!loadStream(ctx, existing, start, static_cast<int>(number), static_cast<int>(generation), false, limit, &dict,
                    &data))
        return false;
    Scanner type(dict);
    std::string typeName;
    if (!type.findKey("/Type") || !type.readName(&typeName))
        return false;
    type.skipBlanks();
    if (!type.readName(&typeName) || typeName != "XRef")
        return false;

    // /W: the byte widths of the three fields.
    Scanner widthsScan(dict);
    std::string key;
    if (!widthsScan.findKey("/W") || !widthsScan.readName(&key))
        return false;
    widthsScan.skipBlanks();
    std::string widthsText;
    if (widthsScan.peek() != '[' || !widthsScan.skipBalanced(&widthsText, 256))
        return false;
    Scanner widthItems(std::string_view(widthsText).substr(1, widthsText.size() - 2));
    int64_t widths[3] = {};
    for (int64_t& w : widths)
        if (!widthItems.readInteger(&w) || w < 0 || w > 8)
            return false;
    const auto rowWidth = static_cast<size_t>(widths[0] + widths[1] + widths[2]);
    if (rowWidth == 0 || widths[1] == 0)
        return false;

    int64_t size = 0;
    if (!integerValue(dict, "/Size", &size) || size < 1 || size > numberLimit + 1)
        return false;
    // /Index: pairs of first number and count; [0 Size] when absent.
    std::vector<std::pair<int64_t, int64_t>> ranges;
    Scanner indexScan(dict);
    if (indexScan.findKey("/Index")) {
        indexScan.readName(&key);
        indexScan.skipBlanks();
        std::string indexText;
        if (indexScan.peek() != '[' || !indexScan.skipBalanced(&indexText, kTrailerLimit))
            return false;
        Scanner items(std::string_view(indexText).substr(1, indexText.size() - 2));
        for (items.skipBlanks(); !items.atEnd(); items.skipBlanks()) {
            int64_t first = 0;
            int64_t count = 0;
            if (!items.readInteger(&first) || !items.readInteger(&count) || first < 0 || count < 0 ||
                first + count - 1 > numberLimit)
                return false;
            ranges.emplace_back(first, count);
        }
    } else {
        ranges.emplace_back(0, size);
    }

    size_t at = 0;
    auto field = [&](int64_t width, int64_t fallback) {
        if (width == 0)
            return fallback;
        int64_t value = 0;
        for (int64_t i = 0; i < width; ++i)
            value = value << 8 | static_cast<uint8_t>(data[at++]);
        return value;
    };
    for (const auto& [first, count] : ranges) {
        if (count > 0)
            ensureEntry(existing, static_cast<size_t>(first + count - 1));
        for (int64_t i = 0; i < count; ++i) {
            if (data.size() - at < rowWidth)
                return false;
            int64_t kind = field(widths[0], 1);
            int64_t a = field(widths[1], 0);
            int64_t b = field(widths[2], 0);
            if (first + i == 0)
                continue; // the head of the free list
            if (kind > 2)
                continue; // types the format reserves for later count as null references
            if (!recordEntry(ctx, existing, state, first + i, static_cast<int>(kind), a, b, hybrid))
                return false;
        }
    }
    if (hybrid)
        return true;
    return readTrailer(ctx, dict, existing, state, newest, links);
}

// A digit must come next, after blanks: a section's numbers are never preceded by other text.
bool strictNumber(Scanner& scan, int64_t* value, bool count)
{
    scan.skipBlanks();
    if (!isDigit(scan.peek()))
        return false;
    return count ? scan.nextCount(value) : scan.nextNumber(value);
}

// One classic cross-reference section at file position `position` and its trailer; a hybrid
// file's stream named by /XRefStm supplies the entries its table leaves free.
bool readClassicSection(ReadContext& ctx, ExistingPdf& existing, ChainState& state, int64_t position, bool newest,
                        SectionLinks* links)
{
    const int64_t numberLimit = objectNumberLimit(ctx);
    // A small first read: a file updated many times has many small sections, and the bytes read
    // count against the budget; larger sections continue through the block's refills.
    Scanner scan(ctx, position, kSectionFirstRead);
    scan.skipBlanks();
    if (!scan.consume("xref"))
        return false;
    for (;;) {
        int64_t first = 0;
        int64_t count = 0;
        if (!strictNumber(scan, &first, false) || !strictNumber(scan, &count, true))
            return false;
        if (count > 0 && first + count - 1 > numberLimit)
            return false;
        if (count > 0)
            ensureEntry(existing, static_cast<size_t>(first + count - 1));
        for (int64_t i = 0; i < count; ++i) {
            int64_t offset = 0;
            int64_t generation = 0;
            if (!strictNumber(scan, &offset, false) || !strictNumber(scan, &generation, false))
                return false;
            scan.skipBlanks();
            int kind = scan.peek();
            if (kind != 'n' && kind != 'f')
                return false;
            scan.advance();
            if (kind == 'n' && generation > 65535)
                return false;
            if (!recordEntry(ctx, existing, state, first + i, kind == 'n' ? kEntryUsed : kEntryFree, offset,
                             generation, false))
                return false;
        }
        scan.skipBlanks();
        if (scan.consume("trailer")) {
            scan.skipBlanks();
            std::string dict;
            if (!scan.startsWith("<<") || !scan.skipBalanced(&dict, kTrailerLimit))
                return false;
            if (!readTrailer(ctx, dict, existing, state, newest, links))
                return false;
            if (links->xrefStm < 0)
                return true;
            if (links->xrefStm >= ctx.fileSize)
                return false;
            return readStreamSection(ctx, existing, state, links->xrefStm, false, true, nullptr);
        }
        if (!isDigit(scan.peek()))
            return false;
    }
}

// One section, classic or stream, at file position `position`.
bool readSection(ReadContext& ctx, ExistingPdf& existing, ChainState& state, int64_t position, bool newest,
                 SectionLinks* links)
{
    Scanner probe(ctx, position, 64);
    probe.skipBlanks();
    if (probe.startsWith("xref"))
        return readClassicSection(ctx, existing, state, position, newest, links);
    if (newest)
        existing.newestIsStream = true;
    return readStreamSection(ctx, existing, state, position, newest, false, links);
}

} // namespace

bool readCrossReferences(ReadContext& ctx, ExistingPdf& existing)
{
    int64_t startxref = 0;
    if (!locateStartxref(ctx, &startxref) || startxref >= ctx.fileSize)
        return false;
    if (!findOffsetBase(ctx, startxref, &existing.offsetBase, existing.headerVersion))
        return false;
    existing.previousXref = startxref;

    ChainState state;
    std::set<int64_t> visited;
    for (int64_t position = startxref + existing.offsetBase; position >= 0;) {
        if (position >= ctx.fileSize || !visited.insert(position).second)
            return false; // outside the file, or a loop in the /Prev chain
        if (visited.size() > static_cast<size_t>(limits::kMaxXrefSections))
            return false;
        SectionLinks links;
        if (!readSection(ctx, existing, state, position, visited.size() == 1, &links))
            return false;
        position = links.prev;
    }
    if (existing.catalogNumber == 0)
        return false;
    // New objects must not collide with listed ones, even where /Size is too small.
    int64_t highest = std::max(state.sizeSeen ? state.sizeHighest : 0, state.listedHighest);
    if (highest < 1)
        return false;
    existing.highestNumber = static_cast<int>(highest);
    existing.offsets.resize(static_cast<size_t>(highest) + 1, kOffsetUnlisted);
    existing.generations.resize(static_cast<size_t>(highest) + 1, 0);
    for (auto it = existing.compressed.begin(); it != existing.compressed.end();)
        it = it->first > highest ? existing.compressed.erase(it) : std::next(it);
    return !ctx.exhausted;
}

} // namespace folvane::pdf::reader

namespace folvane::pdf {

int appendHeaderOffset(const uint8_t* bytes, size_t length)
{
    if (!bytes)
        return -1;
    const uint8_t* percent = static_cast<const uint8_t*>(std::memchr(bytes, '%', std::min<size_t>(length, 16)));
    if (!percent)
        return -1;
    size_t at = static_cast<size_t>(percent - bytes);
    if (length < at + 8)
        return -1;
    for (size_t i = 0; i < 5; ++i)
        if (std::toupper(bytes[at + i]) != "%PDF-"[i])
            return -1;
    const uint8_t major = bytes[at + 5];
    const uint8_t minor = bytes[at + 7];
    if (bytes[at + 6] != '.')
        return -1;
    if ((major == '1' && minor >= '0' && minor <= '7') || (major == '2' && minor == '0'))
        return static_cast<int>(at);
    return -1;
}

int checkAppendHeader(const std::string& path, int* headerOffset)
{
    // 16 bytes for the header's position, plus the header.
    uint8_t head[16 + 8];
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    int offset = appendHeaderOffset(head, got);
    if (offset < 0)
        return -1;
    if (headerOffset)
        *headerOffset = offset;
    return 1;
}

} // namespace folvane::pdf
