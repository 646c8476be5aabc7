#pragma once
// Password security with the standard security handler: RC4 with a 40-bit key (revision 2) or a
// 128-bit key (revision 3), AES-128 (revision 4) or AES-256 (revision 6), an owner and a user
// password and a permission word.
//
// Encryption is decided once per document, right after openOutput and before any object is
// written; from then on every stream's data (compressed or passed through) and the writer's own
// strings (information values, dates, outline titles) are encrypted as they are written, and
// closePdfDocument adds the encryption dictionary and the file identifier.

#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/document.h"

namespace folvane::pdf {

// Permission bits of the P entry (bit 3 of the PDF standard is 1 << 2, and so on).
enum Permission : unsigned {
    kPermitPrint = 1u << 2,
    kPermitModify = 1u << 3,
    kPermitCopy = 1u << 4,
    kPermitAnnotate = 1u << 5,
    kPermitFillForms = 1u << 8,
    kPermitExtract = 1u << 9,
    kPermitAssemble = 1u << 10,
    kPermitPrintHighQuality = 1u << 11,
};

// Switches encryption on or off for the document just opened.
// - enable false, or compressionLevel 0: the document is written without encryption.
// - keyLength 5 selects 40-bit RC4 (revision 2); 16 selects 128-bit RC4 (revision 3); other
//   values are reported and 16 is used.
// - P = (permissions with bits 0 and 1 cleared) | 0xFFFFF0C0.
// - Passwords are byte strings cut to 32 bytes. An empty owner password takes the user
//   password, as the PDF standard says: otherwise the empty password would open the file with
//   owner rights and a user password would protect nothing.
// Allowed in document scope before any object is written; later calls are reported and change
// nothing, since objects already written could not be encrypted any more.
void enableEncryption(PdfDocument* doc, bool enable, unsigned permissions, int keyLength,
                      const char* ownerPassword, const char* userPassword);

// Switches AES encryption on, under the same rules of time and compression as enableEncryption.
// - keyBits 128: revision 4, crypt filter AESV2, a file key from the passwords as in revision 3
//   (UTF-8 passwords in PDFDocEncoding where they fit, cut to 32 bytes), the header raised to
//   PDF 1.6.
// - keyBits 256: revision 6, crypt filter AESV3, a random file key; passwords are UTF-8, put
//   through SASLprep and cut to 127 bytes; header PDF 1.7 with the extension level 3 entry of
//   the catalog. Other values are reported and 256 is used.
// Every string and stream gets its own random IV; metadata counts as encrypted.
void enableAesEncryption(PdfDocument* doc, unsigned permissions, int keyBits, const char* ownerPassword,
                         const char* userPassword);

// The bytes encrypted with the key of object `number` (as written), in a fresh cipher state that
// leaves the stream state alone; with AES, a random IV and padding are added.
std::string encryptedCopy(const PdfDocument* doc, int number, const void* bytes, size_t length);

// Used by the writer core -------------------------------------------------------------------------

// Called when a stream's data begins and ends: while it runs, writeBytes encrypts everything
// that reaches the output block with the key of doc->out.streamObject. With AES the beginning
// writes the IV and the end the padding.
void beginStreamEncryption(PdfDocument* doc);
void endStreamEncryption(PdfDocument* doc);
// Encrypts bytes just placed in the output block at the cursor (not yet passed), when a stream
// of an encrypted document is being written.
void encryptStreamBytes(PdfDocument* doc, uint8_t* bytes, size_t length);
inline void encryptStreamOutput(PdfDocument* doc, uint8_t* bytes, size_t length)
{
    if (doc->security.streamActive && length)
        encryptStreamBytes(doc, bytes, length);
}
// How many bytes at the end of the output block are still plain text waiting for the rest of
// their AES block; a flush must keep them back.
size_t unsealedTail(const PdfDocument* doc);

// The encryption dictionary, written at close; returns its object number.
int writeEncryptionDictionary(PdfDocument* doc);
// The catalog's /Extensions entry that AES-256 needs; nothing for other documents.
void writeSecurityExtensions(PdfDocument* doc);
// Clears the encryption state (a new output was opened).
void resetSecurity(PdfDocument* doc);

} // namespace folvane::pdf
