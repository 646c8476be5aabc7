// Encrypted existing files: the encryption dictionary, authentication with the empty user or
// owner password (standard security handler, RC4, revisions 2 and 3) and the decryption of the
// strings the reader keeps.
#include "pdf/reader_internal.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "pdf/md5.h"
#include "pdf/rc4.h"

namespace folvane::pdf {

namespace {

// The file key for a padded 32-byte user password.
void computeFileKey(const ExistingEncryption& e, const uint8_t padded[32], uint8_t key[16])
{
    auto p = static_cast<uint32_t>(e.permissions);
    uint8_t permissions[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16),
                              static_cast<uint8_t>(p >> 24)};
    Md5 md5;
    md5.update(padded, 32);
    md5.update(e.ownerEntry, 32);
    md5.update(permissions, 4);
    md5.update(e.firstId.data(), e.firstId.size());
    auto digest = md5.digestCopy();
    auto length = static_cast<size_t>(e.keyLength);
    if (e.revision >= 3)
        for (int i = 0; i < 50; ++i)
            digest = md5Of(digest.data(), length);
    std::memcpy(key, digest.data(), length);
}

// Whether `key` reproduces the file's user entry U.
bool userEntryMatches(const ExistingEncryption& e, const uint8_t key[16])
{
    auto length = static_cast<size_t>(e.keyLength);
    if (e.revision == 2) {
        uint8_t check[32];
        std::memcpy(check, kPasswordPadding, 32);
        rc4(key, length, check, 32);
        return std::memcmp(check, e.userEntry, 32) == 0;
    }
    Md5 md5;
    md5.update(kPasswordPadding, 32);
    md5.update(e.firstId.data(), e.firstId.size());
    auto check = md5.digestCopy();
    rc4Passes(key, length, check.data(), check.size(), false);
    return std::memcmp(check.data(), e.userEntry, 16) == 0;
}

// Authenticates with an empty password: first as the user, then as the owner (whose entry O
// then yields the user password). Sets the file key on success.
bool authenticate(ExistingEncryption& e)
{
    uint8_t key[16] = {};
    computeFileKey(e, kPasswordPadding, key);
    if (userEntryMatches(e, key)) {
        std::memcpy(e.fileKey, key, sizeof key);
        return true;
    }

    auto length = static_cast<size_t>(e.keyLength);
    auto ownerDigest = md5Of(kPasswordPadding, 32);
    if (e.revision >= 3)
        for (int i = 0; i < 50; ++i)
            ownerDigest = md5Of(ownerDigest.data(), ownerDigest.size());
    uint8_t userPassword[32];
    std::memcpy(userPassword, e.ownerEntry, 32);
    if (e.revision == 2)
        rc4(ownerDigest.data(), length, userPassword, 32);
    else
        rc4Passes(ownerDigest.data(), length, userPassword, 32, true);
    computeFileKey(e, userPassword, key);
    if (!userEntryMatches(e, key))
        return false;
    std::memcpy(e.fileKey, key, sizeof key);
    e.openedAsOwner = true;
    return true;
}

} // namespace

void decryptExistingString(const ExistingEncryption& encryption, int number, int generation, std::string& bytes)
{
    if (!encryption.encrypted || bytes.empty())
        return;
    uint8_t key[16];
    size_t keyLength =
        rc4ObjectKey(encryption.fileKey, static_cast<size_t>(encryption.keyLength), number, generation, key);
    rc4(key, keyLength, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
}

namespace reader {

namespace {

bool readIntegerKey(const std::string& text, const char* key, int64_t* value, bool* present)
{
    Scanner scan(text);
    *present = scan.findKey(key);
    if (!*present)
        return true;
    std::string name;
    scan.readName(&name);
    return scan.readInteger(value);
}

// /O or /U: a hex string of exactly 64 digits, or a literal string of at least 32 bytes.
bool readEntry(const std::string& text, const char* key, uint8_t out[32])
{
    Scanner scan(text);
    if (!scan.findKey(key))
        return false;
    std::string name;
    scan.readName(&name);
    scan.skipBlanks();
    std::string raw;
    std::string bytes;
    if (scan.peek() == '(') {
        if (!scan.readLiteralString(&raw, kEncryptionTextLimit))
            return false;
        bytes = decodeLiteral(raw);
        if (bytes.size() < 32)
            return false;
    } else if (scan.peek() == '<') {
        if (!scan.readHexString(&raw, kEncryptionTextLimit))
            return false;
        size_t digits = 0;
        for (char c : raw) {
            if (std::isxdigit(static_cast<uint8_t>(c)))
                ++digits;
            else if (!isBlank(static_cast<uint8_t>(c)))
                return false;
        }
        if (digits != 64)
            return false;
        bytes = decodeHex(raw);
    } else {
        return false;
    }
    std::memcpy(out, bytes.data(), 32);
    return true;
}

} // namespace

bool readEncryption(ReadContext& ctx, ExistingPdf& existing)
{
    ExistingEncryption& e = existing.encryption;
    e = ExistingEncryption{};
    std::string text = existing.encryptDirect;
    if (existing.encryptNumber != 0) {
        if (!loadObject(ctx, existing, existing.encryptNumber, kEncryptionTextLimit, true, &text))
            return false;
    } else if (text.empty()) {
        return true;
    }

    // Only the standard handler with RC4 (versions 1 and 2, revisions 2 and 3) can be opened;
    // crypt filters (AES and friends), public-key handlers and later revisions are refused.
    Scanner filter(text);
    std::string name;
    if (!filter.findKey("/Filter") || !filter.readName(&name))
        return false;
    filter.skipBlanks();
    if (!filter.readName(&name) || name != "Standard")
        return false;
    for (const char* marker : {"/CF", "/StmF", "/StrF", "/EFF", "/SubFilter"}) {
        Scanner scan(text);
        if (scan.findKey(marker))
            return false;
    }
    int64_t version = 0;
    int64_t revision = 0;
    int64_t bits = 40;
    int64_t permissions = 0;
    bool present = false;
    if (!readIntegerKey(text, "/V", &version, &present) || !present || (version != 1 && version != 2))
        return false;
    if (!readIntegerKey(text, "/R", &revision, &present) || !present || (revision != 2 && revision != 3))
        return false;
    if (!readIntegerKey(text, "/Length", &bits, &present))
        return false;
    if (!readIntegerKey(text, "/P", &permissions, &present) || !present || permissions < INT32_MIN ||
        permissions > UINT32_MAX)
        return false;
    if (revision == 2) {
        e.keyLength = 5;
    } else {
        if (bits < 40 || bits > 128 || bits % 8 != 0)
            return false;
        e.keyLength = static_cast<int>(bits / 8);
    }
    e.revision = static_cast<int>(revision);
    e.permissions = static_cast<int32_t>(static_cast<uint32_t>(permissions));
    if (!readEntry(text, "/O", e.ownerEntry) || !readEntry(text, "/U", e.userEntry))
        return false;
    e.firstId = existing.id[0].bytes;
    if (!authenticate(e))
        return false;
    e.encrypted = true;
    return true;
}

} // namespace reader

} // namespace folvane::pdf
