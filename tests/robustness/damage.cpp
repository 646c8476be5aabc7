#include "robustness/damage.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <zlib.h>

namespace folvane::test {

void putU16le(std::string& b, size_t at, uint32_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void putU32le(std::string& b, size_t at, uint32_t v)
{
    putU16le(b, at, v & 0xFFFF);
    putU16le(b, at + 2, v >> 16);
}
void putU16be(std::string& b, size_t at, uint32_t v)
{
    b[at] = static_cast<char>((v >> 8) & 0xFF);
    b[at + 1] = static_cast<char>(v & 0xFF);
}
void putU32be(std::string& b, size_t at, uint32_t v)
{
    putU16be(b, at, v >> 16);
    putU16be(b, at + 2, v & 0xFFFF);
}

namespace {

uint32_t u16le(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8);
}
uint32_t u32le(const std::string& b, size_t at)
{
    return u16le(b, at) | (u16le(b, at + 2) << 16);
}

bool startsWith(const std::string& kind, const char* prefix)
{
    return kind.rfind(prefix, 0) == 0;
}

// Entries of the first directory of a little-endian classic TIFF: tag -> position of the entry.
std::vector<std::pair<uint32_t, size_t>> tiffEntries(const std::string& b)
{
    std::vector<std::pair<uint32_t, size_t>> entries;
    if (b.size() < 8 || b.compare(0, 2, "II") != 0)
        return entries;
    size_t ifd = u32le(b, 4);
    if (ifd + 2 > b.size())
        return entries;
    uint32_t count = u16le(b, ifd);
    for (uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= b.size(); ++i) {
        size_t at = ifd + 2 + 12 * i;
        entries.emplace_back(u16le(b, at), at);
    }
    return entries;
}

// Sets the first value of a SHORT or LONG entry (inline or in its array).
bool setTiffValue(std::string& b, uint32_t tag, uint32_t value)
{
    for (auto [entryTag, at] : tiffEntries(b)) {
        if (entryTag != tag)
            continue;
        uint32_t type = u16le(b, at + 2);
        uint32_t count = u32le(b, at + 4);
        size_t where = at + 8;
        size_t size = type == 3 ? 2 : 4;
        if (count * size > 4)
            where = u32le(b, at + 8);
        if (where + size > b.size())
            return false;
        if (type == 3)
            putU16le(b, where, std::min<uint32_t>(value, 0xFFFF));
        else
            putU32le(b, where, value);
        return true;
    }
    return false;
}

// Position of the frame header's height in a JPEG, or 0.
size_t jpegSizeAt(const std::string& b)
{
    for (size_t i = 2; i + 9 < b.size(); ++i)
        if (static_cast<uint8_t>(b[i]) == 0xFF && (static_cast<uint8_t>(b[i + 1]) == 0xC0 ||
                                                   static_cast<uint8_t>(b[i + 1]) == 0xC2))
            return i + 5;
    return 0;
}

void fixPngHeaderCrc(std::string& b)
{
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(b.data() + 12), 17);
    putU32be(b, 29, static_cast<uint32_t>(crc));
}

// A header variant: width and height set to `w` and `h` where the kind's layout is known.
bool withSize(const Seed& seed, uint32_t w, uint32_t h, std::string& b)
{
    b = seed.bytes;
    const std::string& k = seed.kind;
    if (startsWith(k, "bmp")) {
        putU32le(b, 18, w), putU32le(b, 22, h);
    } else if (k == "tga") {
        putU16le(b, 12, w), putU16le(b, 14, h);
    } else if (k == "pcx") {
        // The size is max - min + 1: zero makes max lie before min.
        putU16le(b, 4, w ? 0 : 9), putU16le(b, 6, h ? 0 : 9);
        putU16le(b, 8, w ? w - 1 : 0), putU16le(b, 10, h ? h - 1 : 0);
    } else if (k == "ras") {
        putU32be(b, 4, w), putU32be(b, 8, h);
    } else if (k == "png") {
        putU32be(b, 16, w), putU32be(b, 20, h);
        fixPngHeaderCrc(b);
    } else if (startsWith(k, "jpeg")) {
        size_t at = jpegSizeAt(b);
        if (!at)
            return false;
        putU16be(b, at, h), putU16be(b, at + 2, w);
    } else if (startsWith(k, "tiff")) {
        return setTiffValue(b, 256, w) && setTiffValue(b, 257, h);
    } else if (k == "ppm" || k == "pgm") {
        size_t end = b.find("\n255\n");
        if (end == std::string::npos)
            return false;
        b = b.substr(0, 3) + std::to_string(w) + " " + std::to_string(h) + b.substr(end);
    } else {
        return false;
    }
    return true;
}

} // namespace

void damageImage(const Seed& seed, std::mt19937& random, std::vector<Damaged>& out)
{
    const std::string& bytes = seed.bytes;
    auto add = [&](const std::string& damage, std::string variant, bool mustFail) {
        out.push_back(Damaged {"d" + std::to_string(out.size() + 1000) + "-" + damage + "-" + seed.kind,
                               std::move(variant), mustFail});
    };
    // The bytes a file cannot do without. JPEG data are embedded without decoding, so a JPEG cut
    // after its frame header still makes a (valid) PDF. A PCX file may end in a 256-colour
    // palette that only 8-bit images use. Of a multi-page TIFF the pages still readable are
    // converted, and a file's outcome is that of its last page. The very last byte may be
    // padding or a line end.
    const bool passthrough = startsWith(seed.kind, "jpeg");
    const bool pages = seed.kind.find("pages") != std::string::npos;
    size_t essential = bytes.size() - 1;
    if (passthrough)
        essential = jpegSizeAt(bytes) + 6;
    else if (startsWith(seed.kind, "pcx") && bytes.size() > 128 + 769 && bytes[bytes.size() - 769] == 0x0C)
        essential = bytes.size() - 769;
    else if (pages)
        essential = 16;
    std::set<size_t> cuts {0, 1, 8};
    for (size_t eighth = 1; eighth < 8; ++eighth)
        cuts.insert(bytes.size() * eighth / 8);
    cuts.insert(bytes.size() - 1);
    for (size_t cut : cuts)
        if (cut < bytes.size())
            add("cut" + std::to_string(cut), bytes.substr(0, cut), cut < essential);

    for (int variant = 0; variant < 8; ++variant) {
        std::string flipped = bytes;
        for (int i = 0; i <= variant; ++i)
            flipped[random() % flipped.size()] ^= static_cast<char>(1 + random() % 255);
        add("flip" + std::to_string(variant + 1), flipped, false);
    }

    std::string sized;
    if (withSize(seed, 0x7FFFFFF0u, 0x7FFFFFF0u, sized))
        add("huge", sized, !passthrough && !pages);
    if (withSize(seed, 65535, 65535, sized))
        add("wide", sized, !passthrough && !pages);
    if (withSize(seed, 0, 0, sized))
        add("zero", sized, !pages);

    if (startsWith(seed.kind, "tiff")) {
        const uint32_t size = static_cast<uint32_t>(bytes.size());
        std::string moved = bytes;
        // Only the first page is damaged; a following page can still make the file succeed.
        if (setTiffValue(moved, 273, size + 4096))
            add("strip-beyond", moved, !pages);
        moved = bytes;
        if (setTiffValue(moved, 273, 0xFFFFFFF0u))
            add("strip-far", moved, !pages);
        moved = bytes;
        // An uncompressed strip is read by its computed size, whatever its count says.
        if (setTiffValue(moved, 279, 0x7FFFFFFFu))
            add("strip-count", moved, false);
        moved = bytes;
        if (setTiffValue(moved, 273, size - 2))
            add("strip-tail", moved, !pages);
    }
}

void damagePdf(const Seed& seed, std::vector<Damaged>& out)
{
    const std::string& bytes = seed.bytes;
    auto add = [&](const std::string& damage, std::string variant, bool mustFail = true) {
        out.push_back(Damaged {"p" + std::to_string(out.size() + 1000) + "-" + damage + "-" + seed.kind,
                               std::move(variant), mustFail});
    };
    // A file cut after the end of its first version (its startxref complete, "%%EOF" even if cut
    // itself) is that version with a damaged tail, which readers take as it is.
    const size_t firstVersionEnd = bytes.find("%%EOF");
    for (size_t eighth = 1; eighth < 8; ++eighth) {
        size_t cut = bytes.size() * eighth / 8;
        add("cut" + std::to_string(eighth), bytes.substr(0, cut), cut < firstVersionEnd);
    }

    const size_t startxref = bytes.rfind("startxref");
    const size_t numberAt = bytes.find_first_of("0123456789", startxref);
    const size_t numberEnd = bytes.find_first_not_of("0123456789", numberAt);
    const std::string newest = bytes.substr(numberAt, numberEnd - numberAt);
    auto withStartxref = [&](const std::string& value) {
        return bytes.substr(0, numberAt) + value + bytes.substr(numberEnd);
    };
    add("startxref-zero", withStartxref("0"));
    add("startxref-middle", withStartxref(std::to_string(bytes.size() / 2)));
    add("startxref-beyond", withStartxref("99999999999"));

    // Every offset of the newest section points at the file's first bytes.
    {
        std::string garbled = bytes;
        size_t at = std::stoull(newest);
        size_t trailer = garbled.find("trailer", at);
        for (size_t p = garbled.find(" n", at); p < trailer; p = garbled.find(" n", p + 2))
            if (p >= 16)
                garbled.replace(p - 16, 10, "0000000003");
        add("xref-garbled", garbled);
    }
    // The section's entries cut off before its trailer.
    {
        size_t at = std::stoull(newest);
        size_t trailer = bytes.find("trailer", at);
        add("xref-short", bytes.substr(0, at + (trailer - at) / 2) + bytes.substr(trailer));
    }
    // The newest trailer's /Prev names its own section (a loop), or a place inside an object.
    {
        size_t trailer = bytes.rfind("trailer");
        size_t prev = bytes.find("/Prev", trailer);
        std::string looped;
        if (prev != std::string::npos) {
            size_t valueAt = bytes.find_first_of("0123456789", prev);
            size_t valueEnd = bytes.find_first_not_of("0123456789", valueAt);
            looped = bytes.substr(0, valueAt) + newest + bytes.substr(valueEnd);
            add("prev-loop", looped);
            add("prev-inside", bytes.substr(0, valueAt) + "20" + bytes.substr(valueEnd));
        } else {
            looped = bytes.substr(0, trailer) + "trailer\r<< /Prev " + newest + bytes.substr(trailer + 10);
            add("prev-loop", looped);
        }
    }
    // The page-tree root lists itself among its kids.
    {
        size_t rootRef = bytes.find("/Pages ", bytes.rfind("/Type /Catalog"));
        size_t kids = std::string::npos;
        std::string root;
        if (rootRef != std::string::npos) {
            size_t at = rootRef + 7;
            root = bytes.substr(at, bytes.find(' ', at) - at);
            // The newest object of that number: its header, not the end of a longer number.
            size_t object = bytes.rfind(root + " 0 obj");
            while (object != std::string::npos && object > 0 && std::isdigit(static_cast<uint8_t>(bytes[object - 1])))
                object = bytes.rfind(root + " 0 obj", object - 1);
            if (object != std::string::npos)
                kids = bytes.find("/Kids [", object);
        }
        if (kids != std::string::npos) {
            size_t first = kids + 7;
            size_t firstEnd = bytes.find(' ', first);
            std::string cycled = bytes;
            if (firstEnd - first == root.size()) {
                cycled.replace(first, root.size(), root);
                add("tree-cycle", cycled);
            }
        }
    }
    // A version that does not exist (every one from 1.0 to 2.0 is read).
    std::string header = bytes;
    header.replace(header.find("%PDF-1.") + 7, 1, "9");
    add("header-19", header);
}

} // namespace folvane::test
