// Revision 4 and 6 pieces of the standard security handler (see security_aes.h).
#include "security_aes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>
#include <vector>

#include <nettle/cbc.h>
#include <nettle/sha2.h>
#include <stringprep.h>

#include "pdf/md5.h"

namespace folvane::pdf {

namespace {

constexpr size_t kMaxPasswordBytes = 127;

} // namespace

void randomBytes(uint8_t* out, size_t length)
{
    while (length > 0) {
        ssize_t got = ::getrandom(out, length, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // Without the kernel's random source no key may be made: a predictable key would
            // protect nothing.
            std::abort();
        }
        out += got;
        length -= static_cast<size_t>(got);
    }
}

std::string revision4Password(const char* utf8)
{
    std::string given = utf8 ? utf8 : "";
    std::string converted;
    for (size_t i = 0; i < given.size(); ++i) {
        auto byte = static_cast<uint8_t>(given[i]);
        if (byte < 0x80) {
            converted += static_cast<char>(byte);
            continue;
        }
        // Two-byte sequences C2 A0 to C3 BF are U+00A0 to U+00FF; anything else keeps the bytes.
        if ((byte != 0xC2 && byte != 0xC3) || i + 1 >= given.size())
            return given;
        auto next = static_cast<uint8_t>(given[i + 1]);
        if ((next & 0xC0) != 0x80 || (byte == 0xC2 && next < 0xA0))
            return given;
        converted += static_cast<char>(((byte & 0x03) << 6) | (next & 0x3F));
        ++i;
    }
    return converted;
}

std::string revision6Password(const char* utf8)
{
    std::string password = utf8 ? utf8 : "";
    char* prepared = nullptr;
    if (!password.empty() && stringprep_profile(password.c_str(), &prepared, "SASLprep",
                                                static_cast<Stringprep_profile_flags>(0)) == STRINGPREP_OK &&
        prepared) {
        password = prepared;
    }
    std::free(prepared);
    if (password.size() > kMaxPasswordBytes)
        password.resize(kMaxPasswordBytes);
    return password;
}

std::array<uint8_t, 32> revision6Hash(const std::string& password, const uint8_t salt[8], const uint8_t* userEntry)
{
    size_t userLength = userEntry ? 48 : 0;
    uint8_t k[64];
    size_t kLength = 32;
    sha256_ctx first;
    sha256_init(&first);
    sha256_update(&first, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
    sha256_update(&first, 8, salt);
    if (userEntry)
        sha256_update(&first, userLength, userEntry);
    sha256_digest(&first, 32, k);

    std::vector<uint8_t> k1;
    std::vector<uint8_t> e;
    // At least 64 rounds; from round 64 on, the last byte of E decides whether another follows.
    for (unsigned round = 1;; ++round) {
        size_t sequence = password.size() + kLength + userLength;
        k1.resize(sequence * 64);
        for (size_t i = 0; i < 64; ++i) {
            uint8_t* at = k1.data() + i * sequence;
            std::memcpy(at, password.data(), password.size());
            std::memcpy(at + password.size(), k, kLength);
            if (userEntry)
                std::memcpy(at + password.size() + kLength, userEntry, userLength);
        }
        e.resize(k1.size());
        aes128_ctx aes;
        aes128_set_encrypt_key(&aes, k);
        uint8_t iv[16];
        std::memcpy(iv, k + 16, 16);
        cbc_aes128_encrypt(&aes, iv, k1.size(), e.data(), k1.data());

        // The first 16 bytes of E as a number modulo 3; 256 is 1 modulo 3, so their sum will do.
        unsigned sum = 0;
        for (size_t i = 0; i < 16; ++i)
            sum += e[i];
        switch (sum % 3) {
        case 0: {
            sha256_ctx h;
            sha256_init(&h);
            sha256_update(&h, e.size(), e.data());
            sha256_digest(&h, 32, k);
            kLength = 32;
            break;
        }
        case 1: {
            sha384_ctx h;
            sha384_init(&h);
            sha384_update(&h, e.size(), e.data());
            sha384_digest(&h, 48, k);
            kLength = 48;
            break;
        }
        default: {
            sha512_ctx h;
            sha512_init(&h);
            sha512_update(&h, e.size(), e.data());
            sha512_digest(&h, 64, k);
            kLength = 64;
            break;
        }
        }
        if (round >= 64 && e.back() + 32u <= round)
            break;
    }
    std::array<uint8_t, 32> hash;
    std::memcpy(hash.data(), k, hash.size());
    return hash;
}

namespace {

// AES-256 of whole blocks with a zero IV and no padding, as the key entries UE and OE use.
void wrapFileKey(const std::array<uint8_t, 32>& key, const uint8_t fileKey[32], uint8_t out[32])
{
    aes256_ctx aes;
    aes256_set_encrypt_key(&aes, key.data());
    uint8_t iv[16] = {};
    cbc_aes256_encrypt(&aes, iv, 32, out, fileKey);
}

} // namespace

void computeRevision6Entries(SecurityState& s, const std::string& owner, const std::string& user)
{
    randomBytes(s.fileKey, 32);

    // U: hash, validation salt, key salt; UE: the file key under the hash over the key salt.
    uint8_t salts[16];
    randomBytes(salts, sizeof salts);
    auto userHash = revision6Hash(user, salts, nullptr);
    std::memcpy(s.userEntry, userHash.data(), 32);
    std::memcpy(s.userEntry + 32, salts, 16);
    wrapFileKey(revision6Hash(user, salts + 8, nullptr), s.fileKey, s.userKeyEntry);

    // O and OE the same way, with the whole user entry hashed in.
    randomBytes(salts, sizeof salts);
    auto ownerHash = revision6Hash(owner, salts, s.userEntry);
    std::memcpy(s.ownerEntry, ownerHash.data(), 32);
    std::memcpy(s.ownerEntry + 32, salts, 16);
    wrapFileKey(revision6Hash(owner, salts + 8, s.userEntry), s.fileKey, s.ownerKeyEntry);

    // Perms: P (low byte first) widened with 1 bits to eight bytes, 'T' for encrypted metadata,
    // "adb", four random bytes; one AES-256 block under the file key.
    uint8_t perms[16];
    auto p = static_cast<uint32_t>(s.permissions);
    for (int i = 0; i < 4; ++i)
        perms[i] = static_cast<uint8_t>(p >> (8 * i));
    std::memset(perms + 4, 0xFF, 4);
    perms[8] = 'T';
    perms[9] = 'a';
    perms[10] = 'd';
    perms[11] = 'b';
    randomBytes(perms + 12, 4);
    aes256_ctx aes;
    aes256_set_encrypt_key(&aes, s.fileKey);
    aes256_encrypt(&aes, 16, s.permsEntry, perms);
}

void aesObjectKey(const uint8_t fileKey[16], int number, int generation, uint8_t key[16])
{
    auto n = static_cast<uint32_t>(number);
    auto g = static_cast<uint32_t>(generation);
    uint8_t extra[9] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                        static_cast<uint8_t>(g), static_cast<uint8_t>(g >> 8), 's', 'A', 'l', 'T'};
    Md5 md5;
    md5.update(fileKey, 16);
    md5.update(extra, sizeof extra);
    auto digest = md5.digestCopy();
    std::memcpy(key, digest.data(), 16);
}

std::string aesEncrypted(const uint8_t* key, size_t keyLength, const void* bytes, size_t length)
{
    size_t padding = 16 - length % 16;
    std::string out(16 + length + padding, '\0');
    auto* block = reinterpret_cast<uint8_t*>(out.data());
    randomBytes(block, 16);
    if (length)
        std::memcpy(block + 16, bytes, length);
    std::memset(block + 16 + length, static_cast<int>(padding), padding);
    uint8_t iv[16];
    std::memcpy(iv, block, 16);
    if (keyLength == 32) {
        aes256_ctx aes;
        aes256_set_encrypt_key(&aes, key);
        cbc_aes256_encrypt(&aes, iv, length + padding, block + 16, block + 16);
    } else {
        aes128_ctx aes;
        aes128_set_encrypt_key(&aes, key);
        cbc_aes128_encrypt(&aes, iv, length + padding, block + 16, block + 16);
    }
    return out;
}

} // namespace folvane::pdf
