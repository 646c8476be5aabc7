#pragma once
// The encryption fields of PdfDocument: what enableEncryption fixed for the whole document and
// the RC4 state of the stream being written.

#include <cstddef>
#include <cstdint>

#include <nettle/arcfour.h>

namespace folvane::pdf {

struct SecurityState {
    bool encrypted = false;
    int keyLength = 0;       // 5 (40-bit, revision 2) or 16 (128-bit, revision 3) bytes
    int32_t permissions = 0; // the P entry
    uint8_t ownerPassword[32] = {};
    size_t ownerLength = 0;
    uint8_t userPassword[32] = {};
    size_t userLength = 0;
    uint8_t ownerEntry[32] = {}; // O
    uint8_t userEntry[32] = {};  // U
    uint8_t fileKey[16] = {};
    int dictionaryNumber = 0;    // reserved at close

    // While stream data of an encrypted document is written, every byte that reaches the output
    // block (compressed or not) passes through this RC4 state, keyed for the stream's object.
    bool streamActive = false;
    arcfour_ctx rc4{};
};

} // namespace folvane::pdf
