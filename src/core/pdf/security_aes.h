#pragma once
// The AES pieces of the standard security handler: random bytes, the passwords and the hash of
// revision 6, its entries U, UE, O, OE and Perms, the per-object keys of revision 4 and the
// encryption of one string. AES, the SHA-2 hashes and CBC come from nettle, the SASLprep
// profile from libidn.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/security_state.h"

namespace folvane::pdf {

// Fills `out` from the kernel's random source (getrandom).
void randomBytes(uint8_t* out, size_t length);

// A password of revision 4: UTF-8 turned into PDFDocEncoding when every character has a code
// there that Latin-1 shares (as readers convert what is typed), else the bytes as they are.
std::string revision4Password(const char* utf8);

// A password of revision 6: UTF-8 put through the SASLprep profile (as it is when the profile
// rejects it) and cut to 127 bytes.
std::string revision6Password(const char* utf8);

// The hash of revision 6 over a prepared password, an 8-byte salt and, for the owner, the
// 48-byte user entry (null for the user).
std::array<uint8_t, 32> revision6Hash(const std::string& password, const uint8_t salt[8],
                                      const uint8_t* userEntry);

// Draws a random 32-byte file key and derives U, UE, O, OE and Perms from the prepared
// passwords and s.permissions; metadata counts as encrypted.
void computeRevision6Entries(SecurityState& s, const std::string& owner, const std::string& user);

// The AES-128 key of one object in revision 4: MD5 of the file key, three bytes of the number,
// two of the generation and "sAlT".
void aesObjectKey(const uint8_t fileKey[16], int number, int generation, uint8_t key[16]);

// The AES-CBC form of a string: a random 16-byte IV, then the bytes padded to whole blocks
// (1 to 16 bytes, each holding the pad length). keyLength is 16 or 32.
std::string aesEncrypted(const uint8_t* key, size_t keyLength, const void* bytes, size_t length);

} // namespace folvane::pdf
