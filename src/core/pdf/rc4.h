#pragma once
// RC4 pieces shared by the writer's security handler and the reader of encrypted files:
// the password padding string, plain and twenty-pass RC4, and the key of one object.

#include <cstddef>
#include <cstdint>

namespace folvane::pdf {

// The password padding string of the standard security handler.
extern const uint8_t kPasswordPadding[32];

// Encrypts or decrypts `data` in place (RC4 is its own inverse).
void rc4(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

// Revision 3 applies RC4 twenty times, pass i with every key byte XORed with i; decrypting runs
// the passes backwards.
void rc4Passes(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length, bool decrypt);

// The RC4 key of one object: MD5 of the file key, three bytes of the number and two of the
// generation (least significant first), cut to key length + 5 bytes, at most 16. Returns its length.
size_t rc4ObjectKey(const uint8_t* fileKey, size_t keyLength, int number, int generation, uint8_t key[16]);

} // namespace folvane::pdf
