#include "exif_orientation.h"

#include <cstring>

namespace folvane::codec {

int exifOrientation(std::span<const uint8_t> exif)
{
    if (exif.size() < 8)
        return 1;
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M'))
        return 1;
    auto u16 = [&](size_t at) -> unsigned {
        return little ? exif[at] | exif[at + 1] << 8 : exif[at] << 8 | exif[at + 1];
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return little ? u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16 : static_cast<uint32_t>(u16(at)) << 16 | u16(at + 2);
    };
    if (u16(2) != 42)
        return 1;
    const size_t ifd = u32(4);
    if (ifd > exif.size() - 2)
        return 1;
    const size_t entries = u16(ifd);
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > exif.size())
            break;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) { // Orientation, SHORT
            unsigned value = u16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

int jpegOrientation(std::span<const uint8_t> file)
{
    size_t at = 2;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return 1;
    while (at + 4 <= file.size()) {
        if (file[at] != 0xFF)
            return 1;
        const uint8_t marker = file[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan or end: no EXIF before the data
            return 1;
        const size_t length = static_cast<size_t>(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size())
            return 1;
        if (marker == 0xE1 && length >= 8 && std::memcmp(file.data() + at + 4, "Exif\0\0", 6) == 0)
            return exifOrientation(file.subspan(at + 10, length - 8));
        at += 2 + length;
    }
    return 1;
}

} // namespace folvane::codec
