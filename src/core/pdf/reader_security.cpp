// Encrypted existing files: the encryption dictionary, authentication with the empty user or
// owner password (standard security handler: RC4 in revisions 2 to 4, AES-128 in revision 4
// through the crypt filter /StdCF, AES-256 in revision 6) and the decryption of the strings and
// streams the reader needs.
#include "reader_internal.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>

#include <nettle/aes.h>
#include <nettle/cbc.h>

#include "pdf/md5.h"
#include "rc4.h"
#include "security_aes.h"

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
    if (e.revision >= 4 && !e.encryptMetadata) {
        static const uint8_t unencryptedMetadata[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        md5.update(unencryptedMetadata, 4);
    }
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

// Revision 6: the empty password checked against U (then O) by the SHA-2 hash, and the file
// key unwrapped from UE (or OE) with AES-256 under the hash of the key salt.
bool authenticateRevision6(ExistingEncryption& e, const uint8_t userKeyEntry[32], const uint8_t ownerKeyEntry[32])
{
    const std::string empty;
    const uint8_t* wrapped = nullptr;
    std::array<uint8_t, 32> unwrapKey{};
    if (std::memcmp(revision6Hash(empty, e.userEntry + 32, nullptr).data(), e.userEntry, 32) == 0) {
        unwrapKey = revision6Hash(empty, e.userEntry + 40, nullptr);
        wrapped = userKeyEntry;
    } else if (std::memcmp(revision6Hash(empty, e.ownerEntry + 32, e.userEntry).data(), e.ownerEntry, 32) == 0) {
        unwrapKey = revision6Hash(empty, e.ownerEntry + 40, e.userEntry);
        wrapped = ownerKeyEntry;
        e.openedAsOwner = true;
    } else {
        return false;
    }
    aes256_ctx aes;
    aes256_set_decrypt_key(&aes, unwrapKey.data());
    uint8_t iv[16] = {};
    cbc_decrypt(&aes, reinterpret_cast<nettle_cipher_func*>(aes256_decrypt), 16, iv, 32, e.fileKey, wrapped);
    return true;
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
    if (!reader::decryptBytes(encryption, number, generation, bytes))
        bytes.clear();
}

namespace reader {

bool decryptBytes(const ExistingEncryption& encryption, int number, int generation, std::string& bytes)
{
    if (!encryption.encrypted || bytes.empty())
        return true;
    if (encryption.cipher == ExistingCipher::kRc4) {
        uint8_t key[16];
        size_t keyLength =
            rc4ObjectKey(encryption.fileKey, static_cast<size_t>(encryption.keyLength), number, generation, key);
        rc4(key, keyLength, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
        return true;
    }
    // AES-CBC: a 16-byte IV, whole blocks, and 1 to 16 bytes of padding that name their count.
    if (bytes.size() < 32 || bytes.size() % 16 != 0)
        return false;
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    uint8_t iv[16];
    std::memcpy(iv, in, 16);
    const size_t length = bytes.size() - 16;
    std::string plain(length, '\0');
    auto* data = reinterpret_cast<uint8_t*>(plain.data());
    if (encryption.cipher == ExistingCipher::kAes256) {
        aes256_ctx aes;
        aes256_set_decrypt_key(&aes, encryption.fileKey);
        cbc_decrypt(&aes, reinterpret_cast<nettle_cipher_func*>(aes256_decrypt), 16, iv, length, data, in + 16);
    } else {
        uint8_t key[16];
        aesObjectKey(encryption.fileKey, number, generation, key);
        aes128_ctx aes;
        aes128_set_decrypt_key(&aes, key);
        cbc_decrypt(&aes, reinterpret_cast<nettle_cipher_func*>(aes128_decrypt), 16, iv, length, data, in + 16);
    }
    const size_t padding = data[length - 1];
    if (padding < 1 || padding > 16)
        return false;
    plain.resize(length - padding);
    bytes.swap(plain);
    return true;
}

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

// /O, /U (32 bytes, 48 in revision 6), /OE, /UE (32): a hex string of exactly that many bytes,
// or a literal string of at least that many bytes (of which they are kept).
bool readEntry(const std::string& text, const char* key, uint8_t* out, size_t size = 32)
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
        if (bytes.size() < size)
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
        if (digits != 2 * size)
            return false;
        bytes = decodeHex(raw);
    } else {
        return false;
    }
    std::memcpy(out, bytes.data(), size);
    return true;
}

// The crypt filter method of /StdCF in a version 4 or 5 dictionary: "V2" (RC4), "AESV2" or
// "AESV3"; /StmF and /StrF must both name /StdCF.
bool cryptFilterMethod(const std::string& text, std::string* method)
{
    for (const char* key : {"/StmF", "/StrF"}) {
        Scanner scan(text);
        std::string name;
        if (!scan.findKey(key) || !scan.readName(&name))
            return false;
        scan.skipBlanks();
        if (!scan.readName(&name) || name != "StdCF")
            return false;
    }
    Scanner filters(text);
    std::string name;
    std::string dictionary;
    if (!filters.findKey("/CF") || !filters.readName(&name))
        return false;
    filters.skipBlanks();
    if (!filters.startsWith("<<") || !filters.skipBalanced(&dictionary, kEncryptionTextLimit))
        return false;
    Scanner standard(dictionary);
    std::string filter;
    if (!standard.findKey("/StdCF") || !standard.readName(&name))
        return false;
    standard.skipBlanks();
    if (!standard.startsWith("<<") || !standard.skipBalanced(&filter, kEncryptionTextLimit))
        return false;
    Scanner cfm(filter);
    if (!cfm.findKey("/CFM") || !cfm.readName(&name))
        return false;
    cfm.skipBlanks();
    return cfm.readName(method);
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

    // Only the standard handler: RC4 (versions 1 and 2, revisions 2 and 3; version 4 with the
    // crypt filter method V2), AES-128 (version 4, AESV2) and AES-256 (version 5, revision 6).
    Scanner filter(text);
    std::string name;
    if (!filter.findKey("/Filter") || !filter.readName(&name))
        return false;
    filter.skipBlanks();
    if (!filter.readName(&name))
        return false;
    if (name != "Standard") {
        ctx.refusal = std::string(kRefusalHandlerPrefix) + name;
        return false;
    }
    int64_t version = 0;
    int64_t revision = 0;
    int64_t bits = 40;
    int64_t permissions = 0;
    bool present = false;
    auto unsupported = [&] {
        ctx.refusal = std::string(kRefusalHandlerPrefix) + "Standard (version " + std::to_string(version) +
                      ", revision " + std::to_string(revision) + ")";
        return false;
    };
    if (!readIntegerKey(text, "/V", &version, &present) || !present)
        return false;
    if (!readIntegerKey(text, "/R", &revision, &present) || !present)
        return false;
    if (!readIntegerKey(text, "/Length", &bits, &present))
        return false;
    if (!readIntegerKey(text, "/P", &permissions, &present) || !present || permissions < INT32_MIN ||
        permissions > UINT32_MAX)
        return false;
    Scanner metadata(text);
    if (metadata.findKey("/EncryptMetadata") && metadata.readName(&name)) {
        metadata.skipBlanks();
        e.encryptMetadata = !metadata.startsWith("false");
    }
    if ((version == 1 || version == 2) && (revision == 2 || revision == 3)) {
        for (const char* marker : {"/CF", "/StmF", "/StrF", "/EFF", "/SubFilter"}) {
            Scanner scan(text);
            if (scan.findKey(marker))
                return unsupported();
        }
        if (revision == 2) {
            e.keyLength = 5;
        } else {
            // Without /Length the key has 40 bits, as the format says.
            if (bits < 40 || bits > 128 || bits % 8 != 0)
                return false;
            e.keyLength = static_cast<int>(bits / 8);
        }
        e.cipher = ExistingCipher::kRc4;
    } else if (version == 4 && revision == 4) {
        std::string method;
        if (!cryptFilterMethod(text, &method))
            return unsupported();
        if (method == "AESV2")
            e.cipher = ExistingCipher::kAes128;
        else if (method == "V2")
            e.cipher = ExistingCipher::kRc4;
        else
            return unsupported();
        e.keyLength = 16;
    } else if (version == 5 && revision == 6) {
        std::string method;
        if (!cryptFilterMethod(text, &method) || method != "AESV3")
            return unsupported();
        e.cipher = ExistingCipher::kAes256;
        e.keyLength = 32;
    } else {
        return unsupported();
    }
    e.revision = static_cast<int>(revision);
    e.permissions = static_cast<int32_t>(static_cast<uint32_t>(permissions));
    const size_t entrySize = revision == 6 ? 48 : 32;
    if (!readEntry(text, "/O", e.ownerEntry, entrySize) || !readEntry(text, "/U", e.userEntry, entrySize))
        return false;
    if (revision == 6) {
        uint8_t ownerKeyEntry[32];
        uint8_t userKeyEntry[32];
        if (!readEntry(text, "/OE", ownerKeyEntry) || !readEntry(text, "/UE", userKeyEntry))
            return false;
        if (!authenticateRevision6(e, userKeyEntry, ownerKeyEntry)) {
            ctx.refusal = kRefusalUserPassword;
            return false;
        }
        e.encrypted = true;
        return true;
    }
    e.firstId = existing.id[0].bytes;
    if (!authenticate(e)) {
        ctx.refusal = kRefusalUserPassword;
        return false;
    }
    e.encrypted = true;
    return true;
}

} // namespace reader

} // namespace folvane::pdf
