// The standard security handler, revisions 2 and 3: the owner entry O, the file key, the user
// entry U, per-object RC4 keys and the encryption dictionary. MD5 and RC4 come from nettle.
#include "pdf/security.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "pdf/rc4.h"
#include "pdf/writer_internal.h"

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
    md5.update(s.ownerEntry, sizeof s.ownerEntry);
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

} // namespace

void resetSecurity(PdfDocument* doc)
{
    doc->security = SecurityState{};
}

void enableEncryption(PdfDocument* doc, bool enable, unsigned permissions, int keyLength,
                      const char* ownerPassword, const char* userPassword)
{
    if (!isValid(doc))
        return;
    SecurityState& s = doc->security;
    bool wanted = enable && doc->compressionLevel != 0;
    if (enable && !wanted)
        reportError(doc, kErrArgument, "documents written without compression are not encrypted");
    if (!wanted && !s.encrypted)
        return;
    if (currentScope(doc) != kScopeDocument || doc->objectCount > 0) {
        // Objects already written stay as they are, so switching now would break the file.
        reportError(doc, kErrState, "encryption can only be chosen right after the output is opened");
        return;
    }
    if (!wanted) {
        resetSecurity(doc);
        return;
    }
    if (keyLength != 5 && keyLength != 16) {
        reportError(doc, kErrArgument, "key length %d is neither 5 nor 16 bytes; 16 is used", keyLength);
        keyLength = 16;
    }
    s = SecurityState{};
    s.encrypted = true;
    s.keyLength = keyLength;
    s.permissions = static_cast<int32_t>((permissions & ~3u) | kRequiredPermissionBits);
    s.ownerLength = copyPassword(ownerPassword, s.ownerPassword);
    s.userLength = copyPassword(userPassword, s.userPassword);

    computeFileId(doc);
    computeOwnerEntry(s);
    computeFileKey(s, doc->fileId);
    computeUserEntry(s, doc->fileId);
}

void prepareObjectKey(PdfDocument* doc, int number, int generation)
{
    if (!isValid(doc) || !doc->security.encrypted)
        return;
    uint8_t key[16];
    size_t length = objectKey(doc->security, number, generation, key);
    arcfour_set_key(&doc->security.rc4, length, key);
}

void encryptBytes(PdfDocument* doc, const void* bytes, size_t length, void* out)
{
    if (!isValid(doc) || !doc->security.encrypted || length == 0)
        return;
    arcfour_crypt(&doc->security.rc4, length, static_cast<uint8_t*>(out), static_cast<const uint8_t*>(bytes));
}

std::string encryptedCopy(const PdfDocument* doc, int number, const void* bytes, size_t length)
{
    std::string copy(static_cast<const char*>(bytes), length);
    if (!isValid(doc) || !doc->security.encrypted || length == 0)
        return copy;
    uint8_t key[16];
    size_t keyLength = objectKey(doc->security, number, 0, key);
    rc4(key, keyLength, reinterpret_cast<uint8_t*>(copy.data()), copy.size());
    return copy;
}

void beginStreamEncryption(PdfDocument* doc)
{
    if (!doc->security.encrypted)
        return;
    prepareObjectKey(doc, doc->out.streamObject, doc->out.streamGeneration);
    doc->security.streamActive = true;
}

void endStreamEncryption(PdfDocument* doc)
{
    doc->security.streamActive = false;
}

int writeEncryptionDictionary(PdfDocument* doc)
{
    SecurityState& s = doc->security;
    s.dictionaryNumber = reserveObject(doc);
    beginObject(doc, s.dictionaryNumber);
    // Version 2 admits both key lengths; the revision selects the algorithms.
    writeFormatted(doc, " <</Filter /Standard /V 2 /Length %d /R %d /P %ld ", s.keyLength * 8,
                   s.keyLength == 16 ? 3 : 2, static_cast<long>(s.permissions));
    writeString(doc, "/O ");
    writeHexBytes(doc, s.ownerEntry, sizeof s.ownerEntry);
    writeString(doc, " /U ");
    writeHexBytes(doc, s.userEntry, sizeof s.userEntry);
    writeString(doc, " >> endobj ");
    return s.dictionaryNumber;
}

} // namespace folvane::pdf
