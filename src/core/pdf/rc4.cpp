#include "rc4.h"

#include <algorithm>
#include <cstring>

#include <nettle/arcfour.h>

#include "pdf/md5.h"

namespace folvane::pdf {

const uint8_t kPasswordPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                      0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                      0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

void rc4(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length)
{
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, keyLength, key);
    arcfour_crypt(&ctx, length, data, data);
}

void rc4Passes(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length, bool decrypt)
{
    uint8_t passKey[16];
    for (int step = 0; step < 20; ++step) {
        auto i = static_cast<uint8_t>(decrypt ? 19 - step : step);
        for (size_t k = 0; k < keyLength; ++k)
            passKey[k] = static_cast<uint8_t>(key[k] ^ i);
        rc4(passKey, keyLength, data, length);
    }
}

size_t rc4ObjectKey(const uint8_t* fileKey, size_t keyLength, int number, int generation, uint8_t key[16])
{
    auto n = static_cast<uint32_t>(number);
    auto g = static_cast<uint32_t>(generation);
    uint8_t suffix[5] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                         static_cast<uint8_t>(g), static_cast<uint8_t>(g >> 8)};
    Md5 md5;
    md5.update(fileKey, keyLength);
    md5.update(suffix, sizeof suffix);
    auto digest = md5.digestCopy();
    size_t objectKeyLength = std::min<size_t>(keyLength + 5, 16);
    std::memcpy(key, digest.data(), objectKeyLength);
    return objectKeyLength;
}

} // namespace folvane::pdf
