// RC4 password security: revisions, key lengths and permissions as qpdf reads them, both
// passwords, the decrypted data against the same document written without encryption, the
// owner and user entries, the identifier, and the cases that leave a document unencrypted.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "pdf/security.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class SecurityEncryption : public PdfTest {};

struct Protection {
    bool enable = true;
    int keyLength = 16;
    unsigned permissions = 0;
    const char* owner = "owner-pw";
    const char* user = "user-pw";
};

// Bytes standing in for passthrough image data: written as they are, without compression.
std::string passthroughBytes()
{
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>((i * 7919) >> 3);
    return bytes;
}

struct Sample {
    int rawStream = 0; // object number of the uncompressed stream
};

// The same document every time: two pages of drawing (the second split into a compressed and
// an uncompressed content stream), an uncompressed stream, a title, further information and a
// bookmark. With protection == nullptr it is written without encryption.
Sample writeSample(const std::filesystem::path& path, const Protection* protection, ErrorLog* log = nullptr)
{
    ErrorLog scratch;
    PdfDocument* doc = makeDocument(log ? log : &scratch);
    openOutput(doc, path.string());
    setInfoField(doc, "Title", "Secret (plan) \\ Übersicht");
    setInfoField(doc, "Company", "ACME");
    setInfoField(doc, "Trapped", "False");
    if (protection)
        enableEncryption(doc, protection->enable, protection->permissions, protection->keyLength,
                         protection->owner, protection->user);
    beginPage(doc, 400, 400);
    for (int i = 0; i < 3000; ++i) { // more content than one output block holds
        moveTo(doc, 10 + i % 380, 10);
        lineTo(doc, 390, 390 - i % 370);
        strokePath(doc);
    }
    addBookmark(doc, "Chapter (1)", 0, true);
    endPage(doc);

    Sample sample;
    sample.rawStream = beginObject(doc, 0);
    writeString(doc, " <<");
    int length = writeLengthReference(doc);
    beginStreamData(doc, sample.rawStream, false);
    std::string raw = passthroughBytes();
    writeBytes(doc, raw.data(), raw.size());
    endStreamData(doc, length);

    beginPage(doc, 400, 400);
    setLineWidth(doc, 3);
    moveTo(doc, 20, 20);
    lineTo(doc, 380, 200);
    strokePath(doc);
    setNumericParameter(doc, "compression", 0);
    moveTo(doc, 20, 380);
    lineTo(doc, 380, 20);
    strokePath(doc);
    addBookmark(doc, "Zusammenfassung ÄÖÜ", 0, true);
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    return sample;
}

std::string qpdf(const std::string& arguments, const std::filesystem::path& path, const std::string& password = "")
{
    std::string option = password.empty() ? "" : "--password=" + shellQuote(password) + " ";
    return runCommand("qpdf " + option + arguments + " " + shellQuote(path.string())).output;
}

// Page content of every page, decoded, as qpdf reads it with the password.
std::string decodedContents(const std::filesystem::path& path, const std::string& password)
{
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    std::string all;
    for (const auto& [number, text] : pdf.objects) {
        if (text.find("/Type /Page ") == std::string::npos)
            continue;
        for (int content : referencesIn(text, "/Contents"))
            all += qpdf("--filtered-stream-data --show-object=" + std::to_string(content), path, password);
    }
    return all;
}

std::string hexEntry(const std::string& text, const std::string& key)
{
    std::smatch match;
    std::regex entry(key + " <([0-9A-F]*)>");
    return std::regex_search(text, match, entry) ? match[1].str() : "";
}

} // namespace

TEST_F(SecurityEncryption, RevisionBitsAndPermissionsAsQpdfReadsThem)
{
    struct Case {
        int keyLength;
        unsigned permissions;
        int revision;
        int bits;
        long p;
    } cases[] = {
        {5, 0, 2, 40, -3904},
        {16, 0, 3, 128, -3904},
        {16, 4, 3, 128, -3900},
        {5, 4 | 3, 2, 40, -3900}, // bits 0 and 1 of the request are cleared
        {16, kPermitPrint | kPermitCopy | kPermitPrintHighQuality, 3, 128, -3904 + 4 + 16 + 2048},
    };
    for (const Case& c : cases) {
        std::string name = "r" + std::to_string(c.revision) + "_p" + std::to_string(c.permissions) + ".pdf";
        SCOPED_TRACE(name);
        auto path = pdfPath(name, "user-pw");
        Protection protection;
        protection.keyLength = c.keyLength;
        protection.permissions = c.permissions;
        writeSample(path, &protection);

        std::string shown = qpdf("--show-encryption", path, "user-pw");
        EXPECT_NE(shown.find("R = " + std::to_string(c.revision) + "\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("P = " + std::to_string(c.p) + "\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find(c.permissions & kPermitPrint ? "print low resolution: allowed"
                                                          : "print low resolution: not allowed"),
                  std::string::npos);
        std::string json = qpdf("--json --json-key=encrypt", path, "user-pw");
        EXPECT_NE(json.find("\"bits\": " + std::to_string(c.bits)), std::string::npos) << json;
        EXPECT_NE(json.find("\"V\": 2"), std::string::npos) << "one version entry for both key lengths";
        EXPECT_NE(json.find("\"method\": \"RC4\""), std::string::npos);
    }
}

TEST_F(SecurityEncryption, BothPasswordsOpenTheFileAndOthersDoNot)
{
    for (int keyLength : {5, 16}) {
        SCOPED_TRACE(keyLength);
        auto path = pdfPath("passwords" + std::to_string(keyLength) + ".pdf", "user-pw");
        Protection protection;
        protection.keyLength = keyLength;
        writeSample(path, &protection);
        EXPECT_NE(qpdf("--show-encryption", path, "user-pw").find("Supplied password is user password"),
                  std::string::npos);
        EXPECT_NE(qpdf("--show-encryption", path, "owner-pw").find("Supplied password is owner password"),
                  std::string::npos);
        EXPECT_NE(qpdf("--check", path, "wrong").find("invalid password"), std::string::npos);
        EXPECT_EQ(runCommand("qpdf --requires-password " + shellQuote(path.string())).exitCode, 0);
        EXPECT_TRUE(qpdfCheck(path, "owner-pw"));
    }
}

TEST_F(SecurityEncryption, DecryptedDataEqualsTheUnencryptedDocument)
{
    auto plainPath = pdfPath("plain.pdf");
    Sample plain = writeSample(plainPath, nullptr);
    std::string plainContents = decodedContents(plainPath, "");
    std::string plainRaw = qpdf("--raw-stream-data --show-object=" + std::to_string(plain.rawStream), plainPath);
    ASSERT_EQ(plainRaw, passthroughBytes());

    for (int keyLength : {5, 16}) {
        SCOPED_TRACE(keyLength);
        auto path = pdfPath("encrypted" + std::to_string(keyLength) + ".pdf", "user-pw");
        Protection protection;
        protection.keyLength = keyLength;
        ErrorLog log;
        Sample sample = writeSample(path, &protection, &log);
        EXPECT_TRUE(log.codes.empty());
        std::string bytes = readFileBytes(path);
        EXPECT_EQ(bytes.find("Secret"), std::string::npos);
        EXPECT_EQ(bytes.find(passthroughBytes().substr(0, 64)), std::string::npos) << "passthrough data in clear";
        EXPECT_EQ(bytes.find("20 380 m"), std::string::npos) << "uncompressed content in clear";

        EXPECT_EQ(decodedContents(path, "user-pw"), plainContents);
        EXPECT_EQ(qpdf("--raw-stream-data --show-object=" + std::to_string(sample.rawStream), path, "user-pw"),
                  plainRaw);
        CommandResult info = runCommand("pdfinfo -enc UTF-8 -upw user-pw " + shellQuote(path.string()));
        EXPECT_NE(info.output.find("Title:           Secret (plan) \\ Übersicht\n"), std::string::npos) << info.output;
        EXPECT_EQ(qpdf("--json --json-key=outlines", path, "user-pw"), qpdf("--json --json-key=outlines", plainPath));
    }
}

TEST_F(SecurityEncryption, EntriesIdentifierAndStringForms)
{
    auto path = pdfPath("entries.pdf", "user-pw");
    Protection protection;
    writeSample(path, &protection);
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    ASSERT_EQ(pdf.error, "");

    int dictionary = static_cast<int>(integerAfter(pdf.trailer, "/Encrypt"));
    ASSERT_GT(dictionary, 0);
    const std::string& encrypt = pdf.objects[dictionary];
    EXPECT_NE(encrypt.find("/Filter /Standard /V 2 /Length 128 /R 3 /P -3904 "), std::string::npos) << encrypt;
    std::string owner = hexEntry(encrypt, "/O");
    std::string user = hexEntry(encrypt, "/U");
    ASSERT_EQ(owner.size(), 64u);
    ASSERT_EQ(user.size(), 64u);
    EXPECT_EQ(user.substr(32), std::string(32, '0')) << "U of revision 3 ends in 16 zero bytes";
    EXPECT_NE(user.substr(0, 32), std::string(32, '0'));

    std::smatch id;
    ASSERT_TRUE(std::regex_search(pdf.trailer, id, std::regex("/ID \\[<([0-9A-F]{32})><([0-9A-F]{32})>\\]")));
    EXPECT_EQ(id[1].str(), id[2].str());

    // Information values and dates are hex strings; names stay names.
    const std::string& info = pdf.objects[static_cast<int>(integerAfter(pdf.trailer, "/Info"))];
    for (const char* key : {"/Title", "/Company", "/Producer", "/CreationDate", "/ModDate"})
        EXPECT_FALSE(hexEntry(info, key).empty()) << key << " in " << info;
    EXPECT_NE(info.find("/Trapped /False\r"), std::string::npos);
    EXPECT_EQ(info.find('('), std::string::npos) << "no literal strings in the encrypted dictionary";
    EXPECT_NE(runCommand("pdfinfo -upw user-pw " + shellQuote(path.string())).output.find("CreationDate:"),
              std::string::npos);

    // Encrypted outline titles stay literal strings.
    int catalog = static_cast<int>(integerAfter(pdf.trailer, "/Root"));
    int root = static_cast<int>(integerAfter(pdf.objects[catalog], "/Outlines"));
    int first = static_cast<int>(integerAfter(pdf.objects[root], "/First"));
    EXPECT_NE(pdf.objects[first].find("/Title ("), std::string::npos);
    EXPECT_EQ(pdf.objects[first].find("Chapter"), std::string::npos);
}

TEST_F(SecurityEncryption, EmptyOwnerPassword)
{
    // Both passwords empty: the owner entry comes from the padding string alone, so the file
    // opens without a password and that empty password is the owner's.
    auto open = pdfPath("both-empty.pdf");
    Protection none;
    none.owner = "";
    none.user = "";
    writeSample(open, &none);
    EXPECT_NE(qpdf("--show-encryption", open).find("Supplied password is owner password"), std::string::npos);

    // With a user password, an empty owner password must not open the file: the user password
    // takes the owner's place.
    auto guarded = pdfPath("user-only.pdf", "secret");
    Protection userOnly;
    userOnly.owner = "";
    userOnly.user = "secret";
    writeSample(guarded, &userOnly);
    EXPECT_EQ(runCommand("qpdf --requires-password " + shellQuote(guarded.string())).exitCode, 0);
    EXPECT_NE(qpdf("--show-encryption", guarded, "secret").find("Supplied password is owner password"),
              std::string::npos);
}

TEST_F(SecurityEncryption, PasswordsAreCutTo32Bytes)
{
    std::string longUser(40, 'u');
    auto path = pdfPath("long.pdf", longUser.substr(0, 32));
    Protection protection;
    protection.user = longUser.c_str();
    protection.owner = "";
    writeSample(path, &protection);
    EXPECT_NE(qpdf("--show-encryption", path, longUser.substr(0, 32)).find("Supplied password is"),
              std::string::npos);
}

TEST_F(SecurityEncryption, DocumentsThatStayUnencrypted)
{
    struct Case {
        const char* name;
        int compression;
        bool enable;
        bool disableAgain;
        int reported;
    } cases[] = {
        {"no-compression", 0, true, false, kErrArgument},
        {"disabled", 6, false, false, 0},
        {"enabled-then-disabled", 6, true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = pdfPath(std::string(c.name) + ".pdf");
        ErrorLog log;
        PdfDocument* doc = makeDocument(&log);
        openOutput(doc, path.string());
        setNumericParameter(doc, "compression", c.compression);
        enableEncryption(doc, c.enable, 0, 16, "o", "");
        if (c.disableAgain)
            enableEncryption(doc, false, 0, 16, "", "");
        beginPage(doc, 100, 100);
        endPage(doc);
        closePdfDocument(doc);
        freePdfDocument(doc);
        EXPECT_EQ(log.has(kErrArgument), c.reported == kErrArgument);
        std::string bytes = readFileBytes(path);
        EXPECT_EQ(bytes.find("/Encrypt"), std::string::npos);
        EXPECT_EQ(bytes.find("/Standard"), std::string::npos);
        EXPECT_NE(qpdf("--show-encryption", path).find("File is not encrypted"), std::string::npos);
    }
}

TEST_F(SecurityEncryption, ChangingEncryptionAfterObjectsAreWrittenIsRefused)
{
    auto late = pdfPath("late.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, late.string());
    beginPage(doc, 100, 100);
    enableEncryption(doc, true, 0, 16, "o", "u");
    endPage(doc);
    closePdfDocument(doc);
    EXPECT_TRUE(log.has(kErrState));
    EXPECT_NE(qpdf("--show-encryption", late).find("File is not encrypted"), std::string::npos);

    auto kept = pdfPath("kept.pdf", "u");
    log.codes.clear();
    openOutput(doc, kept.string());
    enableEncryption(doc, true, 0, 5, "o", "u");
    beginPage(doc, 100, 100);
    enableEncryption(doc, false, 0, 5, "", "");
    endPage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    EXPECT_TRUE(log.has(kErrState));
    EXPECT_NE(qpdf("--show-encryption", kept, "u").find("R = 2"), std::string::npos);
}
