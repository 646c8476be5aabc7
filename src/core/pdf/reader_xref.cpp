// The file's skeleton: the header rule for appending, the last startxref, the chain of classic
// cross-reference sections through /Prev (newest entries win) and their trailers.
#include "pdf/reader_internal.h"

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

// Reads `length` bytes at `offset` into out, counting them against the budget.
bool readAt(ReadContext& ctx, int64_t offset, size_t length, std::string* out)
{
    out->resize(length);
    if (static_cast<int64_t>(length) > ctx.budget) {
        ctx.exhausted = true;
        return false;
    }
    if (fseeko(ctx.file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    size_t got = std::fread(out->data(), 1, length, ctx.file);
    ctx.budget -= static_cast<int64_t>(got);
    out->resize(got);
    return got == length;
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

// Offsets count from the file's start, except in files with bytes before "%PDF-" whose offsets
// count from the header (Acrobat and qpdf read such files that way): the newest section decides.
bool findOffsetBase(ReadContext& ctx, int64_t startxref, int64_t* base)
{
    std::string head;
    size_t length = static_cast<size_t>(std::min<int64_t>(ctx.fileSize, kHeaderSearch));
    if (!readAt(ctx, 0, length, &head))
        return false;
    // The header as the append rule finds it, letter case ignored ("%PDf-1.4" counts).
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::toupper(c); });
    size_t header = head.find("%PDF-");
    if (header != std::string::npos && header > 0 && xrefKeywordAt(ctx, startxref + static_cast<int64_t>(header))) {
        *base = static_cast<int64_t>(header);
        return true;
    }
    *base = 0;
    return xrefKeywordAt(ctx, startxref);
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

// The trailer dictionary after the keyword: every entry is looked at; values already set by a
// newer trailer stay. *prev receives /Prev (file position), or -1.
bool readTrailer(ReadContext& ctx, Scanner& file, ExistingPdf& existing, ChainState& state, int64_t* prev)
{
    file.skipBlanks();
    std::string dict;
    if (!file.startsWith("<<") || !file.skipBalanced(&dict, kTrailerLimit))
        return false;
    *prev = -1;
    Scanner scan(std::string_view(dict).substr(2, dict.size() - 4));
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
            *prev = value + existing.offsetBase;
        } else if (keyIs(name, "Root")) {
            if (!readOptionalReference(scan, &existing.catalogNumber))
                return false;
        } else if (keyIs(name, "Info")) {
            if (!readOptionalReference(scan, &existing.infoNumber))
                return false;
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

// One cross-reference section at file position `position` and its trailer.
bool readSection(ReadContext& ctx, ExistingPdf& existing, ChainState& state, int64_t position, int64_t* prev)
{
    const int64_t numberLimit = objectNumberLimit(ctx);
    // A small first read: a file updated many times has many small sections, and the bytes read
    // count against the budget; larger sections continue through the block's refills.
    Scanner scan(ctx, position, kSectionFirstRead);
    scan.skipBlanks();
    if (!scan.consume("xref"))
        return false; // a cross-reference stream or a wrong offset
    for (;;) {
        int64_t first = 0;
        int64_t count = 0;
        if (!scan.nextNumber(&first) || !scan.nextCount(&count))
            return false;
        if (count > 0 && first + count - 1 > numberLimit)
            return false;
        if (count > 0)
            ensureEntry(existing, static_cast<size_t>(first + count - 1));
        for (int64_t i = 0; i < count; ++i) {
            int64_t offset = 0;
            int64_t generation = 0;
            if (!scan.nextNumber(&offset) || !scan.nextNumber(&generation))
                return false;
            scan.skipBlanks();
            int kind = scan.peek();
            if (kind != 'n' && kind != 'f')
                return false;
            scan.advance();
            auto number = static_cast<size_t>(first + i);
            if (existing.offsets[number] != kOffsetUnlisted)
                continue; // a newer section already listed it
            if (kind == 'f') {
                existing.offsets[number] = kOffsetFree;
            } else {
                if (generation > 65535)
                    return false;
                existing.offsets[number] = std::min(offset, ctx.fileSize) + existing.offsetBase;
                existing.generations[number] = static_cast<uint16_t>(generation);
            }
            state.listedHighest = std::max<int64_t>(state.listedHighest, first + i);
        }
        scan.skipBlanks();
        if (scan.consume("trailer"))
            return readTrailer(ctx, scan, existing, state, prev);
        if (!isDigit(scan.peek()))
            return false;
    }
}

} // namespace

bool readCrossReferences(ReadContext& ctx, ExistingPdf& existing)
{
    int64_t startxref = 0;
    if (!locateStartxref(ctx, &startxref) || startxref >= ctx.fileSize)
        return false;
    if (!findOffsetBase(ctx, startxref, &existing.offsetBase))
        return false;
    existing.previousXref = startxref;

    ChainState state;
    std::set<int64_t> visited;
    for (int64_t position = startxref + existing.offsetBase; position >= 0;) {
        if (position >= ctx.fileSize || !visited.insert(position).second)
            return false; // outside the file, or a loop in the /Prev chain
        if (visited.size() > static_cast<size_t>(limits::kMaxXrefSections))
            return false;
        int64_t prev = -1;
        if (!readSection(ctx, existing, state, position, &prev))
            return false;
        position = prev;
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
    auto headerIs = [&](const char* header) {
        for (size_t i = 0; i < 8; ++i)
            if (std::tolower(bytes[at + i]) != std::tolower(static_cast<uint8_t>(header[i])))
                return false;
        return true;
    };
    if (headerIs("%PDF-1.2") || headerIs("%PDF-1.3") || headerIs("%PDF-1.4"))
        return static_cast<int>(at);
    if (headerIs("%PDF-1.5") && length >= at + 9 + sizeof kWriterHeaderTail &&
        std::memcmp(bytes + at + 9, kWriterHeaderTail, sizeof kWriterHeaderTail) == 0)
        return static_cast<int>(at);
    return -1;
}

int checkAppendHeader(const std::string& path, int* headerOffset)
{
    // 16 bytes for the header's position, plus the header and the writer's second line after it.
    uint8_t head[16 + 9 + sizeof kWriterHeaderTail];
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
