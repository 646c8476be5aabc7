#pragma once
// The encryption fields of PdfDocument: what enableEncryption fixed for the whole document and
// the cipher state of the stream being written.

#include <cstddef>
#include <cstdint>

#include <nettle/aes.h>
#include <nettle/arcfour.h>

namespace folvane::pdf {

struct SecurityState {
    bool encrypted = false;
    // 2 (40-bit RC4), 3 (RC4 up to 128 bits), 4 (AES-128, crypt filter AESV2) or 6 (AES-256,
    // AESV3); 0 with encrypted set means RC4 as the key length says (an update to an old file).
    int revision = 0;
    int keyLength = 0;       // bytes: 5 or 16 for RC4, 16 for AES-128, 32 for AES-256
    int32_t permissions = 0; // the P entry
    uint8_t ownerPassword[32] = {};
    size_t ownerLength = 0;
    uint8_t userPassword[32] = {};
    size_t userLength = 0;
    uint8_t ownerEntry[48] = {};    // O: 32 bytes up to revision 4, 48 in revision 6
    uint8_t userEntry[48] = {};     // U: likewise
    uint8_t ownerKeyEntry[32] = {}; // OE, revision 6
    uint8_t userKeyEntry[32] = {};  // UE, revision 6
    uint8_t permsEntry[16] = {};    // Perms, revision 6
    uint8_t fileKey[32] = {};
    int dictionaryNumber = 0;    // reserved at close

    bool usesAes() const { return revision >= 4; }
    size_t entryLength() const { return revision >= 6 ? 48 : 32; }

    // While stream data of an encrypted document is written, every byte that reaches the output
    // block (compressed or not) passes through the stream cipher, keyed for the stream's object.
    bool streamActive = false;
    arcfour_ctx rc4{};
    // AES-CBC runs over whole 16-byte blocks: the output block's bytes from sealedUpTo (an
    // output offset) on are still plain text, fewer than 16, waiting for the rest of their block.
    aes128_ctx aes128{};
    aes256_ctx aes256{};
    uint8_t iv[16] = {};
    int64_t sealedUpTo = 0;
};

} // namespace folvane::pdf
