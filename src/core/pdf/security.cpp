// The standard security handler: the owner entry O, the file key and the user entry U of
// revisions 2 to 4 (revision 6 in security_aes.cpp), the stream and string ciphers (RC4 or
// AES-CBC) and the encryption dictionary. MD5, RC4 and AES come from nettle.
#include "pdf/security.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include <nettle/cbc.h>

#include "rc4.h"
#include "security_aes.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr uint32_t kRequiredPermissionBits = 0xFFFFF0C0u;

void padPassword(const uint8_t* password, size_t length, uint8_t out[32])
{
    length = std::min<size_t>(length, 32);
    std::memcpy(out, password, length);
    std::memcpy(out + length, kPasswordPadding, 32 - length);
}

// Revision 3 hashes the first key-length bytes of the digest 50 more times.
void strengthen(std::array<uint8_t, 16>& digest, size_t keyLength)
{
    for (int i = 0; i < 50; ++i)
        digest = md5Of(digest.data(), keyLength);
}

void computeOwnerEntry(SecurityState& s)
{
    size_t length = static_cast<size_t>(s.keyLength);
    const uint8_t* owner = s.ownerLength ? s.ownerPassword : s.userPassword;
    size_t ownerLength = s.ownerLength ? s.ownerLength : s.userLength;
    uint8_t padded[32];
    padPassword(owner, ownerLength, padded);
    auto digest = md5Of(padded, sizeof padded);
    if (length == 16)
        strengthen(digest, length);

    padPassword(s.userPassword, s.userLength, s.ownerEntry);
    if (length == 16)
        rc4Passes(digest.data(), length, s.ownerEntry, 32, false);
    else
        rc4(digest.data(), length, s.ownerEntry, 32);
}

void computeFileKey(SecurityState& s, const uint8_t fileId[16])
{
    size_t length = static_cast<size_t>(s.keyLength);
    uint8_t padded[32];
    padPassword(s.userPassword, s.userLength, padded);
    uint32_t p = static_cast<uint32_t>(s.permissions);
    uint8_t permissions[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16),
                              static_cast<uint8_t>(p >> 24)};
    Md5 md5;
    md5.update(padded, sizeof padded);
    md5.update(s.ownerEntry, 32);
    md5.update(permissions, sizeof permissions);
    md5.update(fileId, 16);
    auto digest = md5.digestCopy();
    if (length == 16)
        strengthen(digest, length);
    std::memcpy(s.fileKey, digest.data(), length);
}

void computeUserEntry(SecurityState& s, const uint8_t fileId[16])
{
    size_t length = static_cast<size_t>(s.keyLength);
    if (length != 16) {
        std::memcpy(s.userEntry, kPasswordPadding, 32);
        rc4(s.fileKey, length, s.userEntry, 32);
        return;
    }
    Md5 md5;
    md5.update(kPasswordPadding, sizeof kPasswordPadding);
    md5.update(fileId, 16);
    auto digest = md5.digestCopy();
    rc4Passes(s.fileKey, length, digest.data(), digest.size(), false);
    std::memcpy(s.userEntry, digest.data(), 16);
    std::memset(s.userEntry + 16, 0, 16);
}

// The file identifier: the information texts known now, then bytes that differ between
// documents and runs, so two files never share an identifier and hence an RC4 key stream.
void computeFileId(PdfDocument* doc)
{
    Md5 md5;
    for (const std::string& field : doc->info.fields)
        md5.update(field.data(), field.size());
    static std::atomic<int> sequence{0};
    struct {
        pid_t pid;
        const void* record;
        int sequence;
        timespec now;
        timespec cpu;
    } snapshot{getpid(), doc, ++sequence, {}, {}};
    clock_gettime(CLOCK_REALTIME, &snapshot.now);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &snapshot.cpu);
    md5.update(&snapshot, sizeof snapshot);
    md5.update(doc->outputPath.data(), doc->outputPath.size());
    auto digest = md5.digestCopy();
    std::memcpy(doc->fileId, digest.data(), sizeof doc->fileId);
}

size_t copyPassword(const char* password, uint8_t out[32])
{
    size_t length = password ? std::min<size_t>(std::strlen(password), 32) : 0;
    std::memset(out, 0, 32);
    if (length)
        std::memcpy(out, password, length);
    return length;
}

size_t objectKey(const SecurityState& s, int number, int generation, uint8_t key[16])
{
    return rc4ObjectKey(s.fileKey, static_cast<size_t>(s.keyLength), number, generation, key);
}

// Decides whether encryption may be set up now. Switching off (or a document without
// compression) clears the state; returns true when the caller goes on to set it up.
bool readyToEncrypt(PdfDocument* doc, bool enable)
{
    SecurityState& s = doc->security;
    bool wanted = enable && doc->compressionLevel != 0;
    if (enable && !wanted)
        reportError(doc, kErrArgument, "documents written without compression are not encrypted");
    if (!wanted && !s.encrypted)
        return false;
    if (currentScope(doc) != kScopeDocument || doc->objectCount > 0) {
        // Objects already written stay as they are, so switching now would break the file.
        reportError(doc, kErrState, "encryption can only be chosen right after the output is opened");
        return false;
    }
    if (!wanted) {
        resetSecurity(doc);
        return false;
    }
    return true;
}

// AES needs a later PDF version than the header openOutput wrote: the header is still the
// first bytes of the output block (nothing can have been flushed before the first object), so
// its minor version digit is raised in place.
void raiseHeaderVersion(PdfDocument* doc, char minor)
{
    OutputBuffer& out = doc->out;
    if (out.flushed != 0 || !out.start || out.cursor - out.start < 9 || std::memcmp(out.start, "%PDF-1.", 7) != 0)
        return;
    if (out.start[7] < static_cast<uint8_t>(minor)) {
        out.start[7] = static_cast<uint8_t>(minor);
        doc->headerVersionCode = 10 + (minor - '0');
    }
}

// AES-CBC over whole blocks in place, continuing the stream's chain.
void sealBlocks(SecurityState& s, uint8_t* bytes, size_t length)
{
    if (length == 0)
        return;
    if (s.revision >= 6)
        cbc_aes256_encrypt(&s.aes256, s.iv, length, bytes, bytes);
    else
        cbc_aes128_encrypt(&s.aes128, s.iv, length, bytes, bytes);
}

} // namespace

void resetSecurity(PdfDocument* doc)
{
    doc->security = SecurityState{};
}

void enableEncryption(PdfDocument* doc, bool enable, unsigned permissions, int keyLength,
                      const char* ownerPassword, const char* userPassword)
{
    if (!isValid(doc) || !readyToEncrypt(doc, enable))
        return;
    SecurityState& s = doc->security;
    if (keyLength != 5 && keyLength != 16) {
        reportError(doc, kErrArgument, "key length %d is neither 5 nor 16 bytes; 16 is used", keyLength);
        keyLength = 16;
    }
    s = SecurityState{};
    s.encrypted = true;
    s.revision = keyLength == 16 ? 3 : 2;
    s.keyLength = keyLength;
    s.permissions = static_cast<int32_t>((permissions & ~3u) | kRequiredPermissionBits);
    s.ownerLength = copyPassword(ownerPassword, s.ownerPassword);
    s.userLength = copyPassword(userPassword, s.userPassword);

    computeFileId(doc);
    computeOwnerEntry(s);
    computeFileKey(s, doc->fileId);
    computeUserEntry(s, doc->fileId);
}

void enableAesEncryption(PdfDocument* doc, unsigned permissions, int keyBits, const char* ownerPassword,
                         const char* userPassword)
{
    if (!isValid(doc) || !readyToEncrypt(doc, true))
        return;
    SecurityState& s = doc->security;
    if (keyBits != 128 && keyBits != 256) {
        reportError(doc, kErrArgument, "AES key of %d bits is neither 128 nor 256; 256 is used", keyBits);
        keyBits = 256;
    }
    s = SecurityState{};
    s.encrypted = true;
    s.permissions = static_cast<int32_t>((permissions & ~3u) | kRequiredPermissionBits);
    computeFileId(doc);
    if (keyBits == 128) {
        // Revision 4 derives its entries and key exactly as revision 3 does.
        s.revision = 4;
        s.keyLength = 16;
        s.ownerLength = copyPassword(revision4Password(ownerPassword).c_str(), s.ownerPassword);
        s.userLength = copyPassword(revision4Password(userPassword).c_str(), s.userPassword);
        computeOwnerEntry(s);
        computeFileKey(s, doc->fileId);
        computeUserEntry(s, doc->fileId);
        raiseHeaderVersion(doc, '6');
        return;
    }
    s.revision = 6;
    s.keyLength = 32;
    std::string user = revision6Password(userPassword);
    // As in the older revisions, an empty owner password takes the user password's place.
    std::string owner = ownerPassword && *ownerPassword ? revision6Password(ownerPassword) : user;
    computeRevision6Entries(s, owner, user);
    raiseHeaderVersion(doc, '7');
}

std::string encryptedCopy(const PdfDocument* doc, int number, const void* bytes, size_t length)
{
    if (!isValid(doc) || !doc->security.encrypted || length == 0)
        return std::string(static_cast<const char*>(bytes), length);
    const SecurityState& s = doc->security;
    if (s.usesAes()) {
        if (s.revision >= 6)
            return aesEncrypted(s.fileKey, 32, bytes, length);
        uint8_t key[16];
        aesObjectKey(s.fileKey, number, 0, key);
        return aesEncrypted(key, 16, bytes, length);
    }
    std::string copy(static_cast<const char*>(bytes), length);
    uint8_t key[16];
    size_t keyLength = objectKey(s, number, 0, key);
    rc4(key, keyLength, reinterpret_cast<uint8_t*>(copy.data()), copy.size());
    return copy;
}

void beginStreamEncryption(PdfDocument* doc)
{
    SecurityState& s = doc->security;
    if (!s.encrypted)
        return;
    if (s.usesAes()) {
        if (s.revision >= 6) {
            aes256_set_encrypt_key(&s.aes256, s.fileKey);
        } else {
            uint8_t key[16];
            aesObjectKey(s.fileKey, doc->out.streamObject, doc->out.streamGeneration, key);
            aes128_set_encrypt_key(&s.aes128, key);
        }
        // The IV opens the stream data as it is.
        randomBytes(s.iv, sizeof s.iv);
        writeBytes(doc, s.iv, sizeof s.iv);
        s.sealedUpTo = currentOffset(doc);
    } else {
        uint8_t key[16];
        size_t length = objectKey(s, doc->out.streamObject, doc->out.streamGeneration, key);
        arcfour_set_key(&s.rc4, length, key);
    }
    s.streamActive = true;
}

void encryptStreamBytes(PdfDocument* doc, uint8_t* bytes, size_t length)
{
    SecurityState& s = doc->security;
    if (!s.usesAes()) {
        arcfour_crypt(&s.rc4, length, bytes, bytes);
        return;
    }
    // The plain bytes left over from earlier calls lie right before the new ones.
    int64_t at = doc->out.flushed + (bytes - doc->out.start);
    auto pending = static_cast<size_t>(at - s.sealedUpTo);
    size_t whole = (pending + length) & ~static_cast<size_t>(15);
    sealBlocks(s, bytes - pending, whole);
    s.sealedUpTo += static_cast<int64_t>(whole);
}

size_t unsealedTail(const PdfDocument* doc)
{
    const SecurityState& s = doc->security;
    if (!s.streamActive || !s.usesAes())
        return 0;
    return static_cast<size_t>(currentOffset(doc) - s.sealedUpTo);
}

void endStreamEncryption(PdfDocument* doc)
{
    SecurityState& s = doc->security;
    if (s.streamActive && s.usesAes()) {
        // Padding of 1 to 16 bytes, each holding the pad length, completes the last block.
        size_t tail = unsealedTail(doc);
        size_t padding = 16 - tail;
        if (makeRoom(doc, padding)) {
            uint8_t* at = doc->out.cursor;
            std::memset(at, static_cast<int>(padding), padding);
            sealBlocks(s, at - tail, 16);
            doc->out.cursor += padding;
            s.sealedUpTo += 16;
        }
    }
    s.streamActive = false;
}

int writeEncryptionDictionary(PdfDocument* doc)
{
    SecurityState& s = doc->security;
    s.dictionaryNumber = reserveObject(doc);
    beginObject(doc, s.dictionaryNumber);
    if (s.usesAes()) {
        bool r6 = s.revision >= 6;
        writeFormatted(doc,
                       " <</Filter /Standard /V %d /R %d /Length %d /CF <</StdCF <</AuthEvent /DocOpen /CFM /%s "
                       "/Length %d>>>> /StmF /StdCF /StrF /StdCF /P %ld /EncryptMetadata true ",
                       r6 ? 5 : 4, s.revision, s.keyLength * 8, r6 ? "AESV3" : "AESV2", s.keyLength,
                       static_cast<long>(s.permissions));
    } else {
        // Version 2 admits both key lengths; the revision selects the algorithms.
        writeFormatted(doc, " <</Filter /Standard /V 2 /Length %d /R %d /P %ld ", s.keyLength * 8,
                       s.keyLength == 16 ? 3 : 2, static_cast<long>(s.permissions));
    }
    writeString(doc, "/O ");
    writeHexBytes(doc, s.ownerEntry, s.entryLength());
    writeString(doc, " /U ");
    writeHexBytes(doc, s.userEntry, s.entryLength());
    if (s.revision >= 6) {
        writeString(doc, " /OE ");
        writeHexBytes(doc, s.ownerKeyEntry, sizeof s.ownerKeyEntry);
        writeString(doc, " /UE ");
        writeHexBytes(doc, s.userKeyEntry, sizeof s.userKeyEntry);
        writeString(doc, " /Perms ");
        writeHexBytes(doc, s.permsEntry, sizeof s.permsEntry);
    }
    writeString(doc, " >> endobj\r");
    return s.dictionaryNumber;
}

void writeSecurityExtensions(PdfDocument* doc)
{
    if (doc->security.encrypted && doc->security.revision >= 6)
        writeString(doc, "/Extensions <</ADBE <</BaseVersion /1.7 /ExtensionLevel 3>>>> ");
}

} // namespace folvane::pdf
