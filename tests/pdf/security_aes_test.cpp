// AES password security (revisions 4 and 6): what qpdf and MuPDF read from the files, the
// decrypted data against the same document unencrypted, the passwords of revision 6, and the
// revision 6 hash against the entries of a file qpdf encrypted.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include <nettle/aes.h>
#include <nettle/cbc.h>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "pdf/security.h"
#include "security_aes.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class SecurityAes : public PdfTest {};

// Bytes that compress badly, standing in for passthrough image data.
std::string rawBytes()
{
    std::string bytes;
    for (int i = 0; i < 150001; ++i)
        bytes += static_cast<char>((i * 7919) >> 3);
    return bytes;
}

struct Written {
    int rawStream = 0;
};

// A page of line art, a bookmark, a title, and an uncompressed stream written in odd-sized pieces
// through an output block that is flushed whenever it is full, so AES blocks straddle both the
// pieces and the flushes. keyBits 0 writes it without encryption.
Written writeDocument(const std::filesystem::path& path, int keyBits, unsigned permissions = 0,
                      const char* owner = "owner-pw", const char* user = "user-pw")
{
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    doc->outputFlags = kFlushWhenFull;
    openOutput(doc, path.string());
    setInfoField(doc, "Title", "Secret (plan) \\ Übersicht");
    if (keyBits)
        enableAesEncryption(doc, permissions, keyBits, owner, user);
    beginPage(doc, 400, 400);
    for (int i = 0; i < 2000; ++i) {
        moveTo(doc, 10 + i % 380, 10);
        lineTo(doc, 390, 390 - i % 370);
        strokePath(doc);
    }
    addBookmark(doc, "Chapter (1)", 0, true);
    endPage(doc);

    Written written;
    written.rawStream = beginObject(doc, 0);
    writeString(doc, " <<");
    int length = writeLengthReference(doc);
    beginStreamData(doc, written.rawStream, false);
    std::string raw = rawBytes();
    for (size_t at = 0, piece = 1; at < raw.size(); at += piece, piece = piece * 3 % 4099 + 1)
        writeBytes(doc, raw.data() + at, std::min(piece, raw.size() - at));
    endStreamData(doc, length);
    closePdfDocument(doc);
    freePdfDocument(doc);
    EXPECT_TRUE(log.codes.empty());
    return written;
}

std::string qpdf(const std::string& arguments, const std::filesystem::path& path, const std::string& password = "")
{
    std::string option = password.empty() ? "" : "--password=" + shellQuote(password) + " ";
    return runCommand("qpdf " + option + arguments + " " + shellQuote(path.string()) + " 2>&1").output;
}

std::string hexToBytes(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// A hex string entry of qpdf's rendering of a dictionary, as bytes.
std::string entryBytes(const std::string& text, const std::string& key)
{
    std::smatch match;
    return std::regex_search(text, match, std::regex(key + " <([0-9a-f]*)>")) ? hexToBytes(match[1].str()) : "";
}

const uint8_t* bytesOf(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}

} // namespace

TEST_F(SecurityAes, QpdfAndMupdfReadRevisionMethodAndPermissions)
{
    struct Case {
        int keyBits;
        const char* revision;
        const char* method;
        const char* header;
    } cases[] = {{128, "R = 4", "AESv2", "%PDF-1.6"}, {256, "R = 6", "AESv3", "%PDF-1.7"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyBits);
        auto path = pdfPath("aes" + std::to_string(c.keyBits) + ".pdf", "user-pw");
        writeDocument(path, c.keyBits, kPermitPrint | kPermitCopy);
        EXPECT_EQ(readFileBytes(path).substr(0, 8), c.header);

        std::string shown = qpdf("--show-encryption", path, "user-pw");
        EXPECT_NE(shown.find(std::string(c.revision) + "\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("P = " + std::to_string(-3904 + 4 + 16) + "\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("stream encryption method: " + std::string(c.method)), std::string::npos) << shown;
        EXPECT_NE(shown.find("string encryption method: " + std::string(c.method)), std::string::npos) << shown;
        EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos);
        EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos);
        EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos);
        EXPECT_NE(shown.find("modify document assembly: not allowed"), std::string::npos);

        EXPECT_NE(qpdf("--show-encryption", path, "owner-pw").find("Supplied password is owner password"),
                  std::string::npos);
        EXPECT_NE(qpdf("--check", path).find("invalid password"), std::string::npos);
        EXPECT_NE(qpdf("--check", path, "wrong").find("invalid password"), std::string::npos);
        std::smatch root;
        std::string trailer = qpdf("--show-object=trailer", path, "user-pw");
        ASSERT_TRUE(std::regex_search(trailer, root, std::regex("/Root ([0-9]+) 0 R")));
        std::string catalog = qpdf("--show-object=" + root[1].str(), path, "user-pw");
        EXPECT_EQ(catalog.find("/Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 3 >> >>") != std::string::npos,
                  c.keyBits == 256)
            << catalog;
        CommandResult drawn = runCommand("mutool draw -p user-pw -o /dev/null " + shellQuote(path.string()) + " 1");
        EXPECT_EQ(drawn.exitCode, 0) << drawn.output;
        EXPECT_NE(runCommand("mutool draw -p wrong -o /dev/null " + shellQuote(path.string()) + " 1").exitCode, 0);
    }
}

TEST_F(SecurityAes, DecryptedDataEqualsTheUnencryptedDocument)
{
    auto plainPath = pdfPath("plain.pdf");
    Written plain = writeDocument(plainPath, 0);
    std::string plainRaw = qpdf("--raw-stream-data --show-object=" + std::to_string(plain.rawStream), plainPath);
    ASSERT_EQ(plainRaw, rawBytes());
    std::string plainPage = runCommand("mutool draw -F pgm -r 20 -o - " + shellQuote(plainPath.string()) + " 1").output;

    for (int keyBits : {128, 256}) {
        SCOPED_TRACE(keyBits);
        auto path = pdfPath("encrypted" + std::to_string(keyBits) + ".pdf", "user-pw");
        Written written = writeDocument(path, keyBits);
        std::string bytes = readFileBytes(path);
        EXPECT_EQ(bytes.find("Secret"), std::string::npos);
        EXPECT_EQ(bytes.find("Chapter"), std::string::npos);
        EXPECT_EQ(bytes.find(rawBytes().substr(5000, 32)), std::string::npos) << "passthrough data in clear";

        EXPECT_EQ(qpdf("--raw-stream-data --show-object=" + std::to_string(written.rawStream), path, "user-pw"),
                  plainRaw);
        EXPECT_EQ(runCommand("mutool draw -p user-pw -F pgm -r 20 -o - " + shellQuote(path.string()) + " 1").output,
                  plainPage);
        CommandResult info = runCommand("pdfinfo -enc UTF-8 -upw user-pw " + shellQuote(path.string()));
        EXPECT_NE(info.output.find("Title:           Secret (plan) \\ Übersicht\n"), std::string::npos) << info.output;
        EXPECT_EQ(qpdf("--json --json-key=outlines", path, "user-pw"), qpdf("--json --json-key=outlines", plainPath));
    }
}

TEST_F(SecurityAes, Revision6Passwords)
{
    // SASLprep maps the ligature "ﬁ" to "fi" and the no-break space to a space.
    auto prepared = pdfPath("prepared.pdf", "file one");
    writeDocument(prepared, 256, 0, "owner-pw", "\xEF\xAC\x81le\xC2\xA0one");
    EXPECT_NE(qpdf("--show-encryption", prepared, "file one").find("Supplied password is user password"),
              std::string::npos);

    // Cut to 127 bytes: the 127 first open the file, and so does the whole text.
    std::string longUser(140, 'u');
    auto cut = pdfPath("cut.pdf", longUser.substr(0, 127));
    writeDocument(cut, 256, 0, "", longUser.c_str());
    EXPECT_NE(qpdf("--show-encryption", cut, longUser.substr(0, 127)).find("Supplied password is"), std::string::npos);
    EXPECT_NE(qpdf("--check", cut, longUser.substr(0, 126)).find("invalid password"), std::string::npos);

    // An empty owner password takes the user password's place; an empty user password opens
    // the file with user rights only.
    EXPECT_NE(qpdf("--check", cut).find("invalid password"), std::string::npos);
    auto open = pdfPath("open.pdf");
    writeDocument(open, 256, kPermitPrint, "owner-pw", "");
    std::string shown = qpdf("--show-encryption", open);
    EXPECT_NE(shown.find("Supplied password is user password"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify anything: not allowed"), std::string::npos) << shown;
}

namespace {

// The entries of a file encrypted with user password "user-pw" and owner password "owner-pw"
// against the hash: U is the hash over its validation salt, UE the file key under the hash
// over its key salt, O the owner's hash with the whole user entry taken in.
void expectRevision6Entries(const std::string& u, const std::string& ue, const std::string& o,
                            const std::string& fileKey)
{
    ASSERT_EQ(u.size(), 48u);
    ASSERT_EQ(ue.size(), 32u);
    ASSERT_EQ(o.size(), 48u);
    auto userHash = revision6Hash("user-pw", bytesOf(u) + 32, nullptr);
    EXPECT_EQ(std::string(userHash.begin(), userHash.end()), u.substr(0, 32));
    auto keyHash = revision6Hash("user-pw", bytesOf(u) + 40, nullptr);
    aes256_ctx aes;
    aes256_set_decrypt_key(&aes, keyHash.data());
    uint8_t iv[16] = {};
    uint8_t key[32];
    cbc_decrypt(&aes, reinterpret_cast<nettle_cipher_func*>(aes256_decrypt), 16, iv, 32, key, bytesOf(ue));
    EXPECT_EQ(std::string(key, key + 32), fileKey);
    auto ownerHash = revision6Hash("owner-pw", bytesOf(o) + 32, bytesOf(u));
    EXPECT_EQ(std::string(ownerHash.begin(), ownerHash.end()), o.substr(0, 32));
}

} // namespace

TEST_F(SecurityAes, Revision6HashMatchesTheEntriesQpdfWrites)
{
    // Entries qpdf 11.3 wrote once, chosen so that both hashes end after a round beyond the 64th
    // (a loop that stops one round early gets them wrong).
    expectRevision6Entries(
        hexToBytes("78c625b3501441f59142103d101c443f868fcd54083b3c79c93287a3a653292d13cc7be93f58a93cc78fbcb204be8cb1"),
        hexToBytes("8fc3b9d602ea1e451de19dd5ba4b8ef9b4467a9e884a655f1e04a6cd0e497770"),
        hexToBytes("e6c38ebea94d4a60c6b481382dfc68572ab894117cf75692715c9216098576058ca680e44a3d6bd8d065038c8a4db6bb"),
        hexToBytes("931d7026c4a119060811470f0abbb4a6b2609657c33990787bbf3823bd7275f2"));

    // And a file qpdf encrypts now, with its own random salts.
    auto source = pdfPath("source.pdf");
    writeDocument(source, 0);
    auto path = pdfPath("qpdf256.pdf", "user-pw");
    ASSERT_EQ(runCommand("qpdf --object-streams=disable --encrypt user-pw owner-pw 256 -- " +
                         shellQuote(source.string()) + " " + shellQuote(path.string()))
                  .exitCode,
              0);
    std::smatch number;
    std::string trailer = qpdf("--show-object=trailer", path, "user-pw");
    ASSERT_TRUE(std::regex_search(trailer, number, std::regex("/Encrypt ([0-9]+) 0 R")));
    std::string dictionary = qpdf("--show-object=" + number[1].str(), path, "user-pw");
    std::smatch key;
    std::string json = qpdf("--show-encryption-key --json --json-key=encrypt", path, "user-pw");
    ASSERT_TRUE(std::regex_search(json, key, std::regex("\"key\": \"([0-9a-f]{64})\"")));
    expectRevision6Entries(entryBytes(dictionary, "/U"), entryBytes(dictionary, "/UE"), entryBytes(dictionary, "/O"),
                           hexToBytes(key[1].str()));
}
