// Appending pages with folvane-cli to the PDF files other programs write (every version from 1.0
// to 2.0, cross-reference streams, object streams, hybrid files, RC4 and AES), and the reasons
// printed and logged when a file is refused.
#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pdf/md5.h"
#include "rc4.h"
#include "support/appended_pdf.h"
#include "support/cli_fixture.h"

using namespace folvane::test;
namespace fs = std::filesystem;

namespace {

constexpr int kRed = 200, kGreen = 50, kBlue = 50;

class AppendCli : public CliFixture {
protected:
    void SetUp() override
    {
        CliFixture::SetUp();
        ASSERT_TRUE(haveTool("qpdf") && haveTool("gs") && haveTool("mutool"));
        image = dir / "red.ppm";
        std::string pixels;
        for (int i = 0; i < 120 * 80; ++i)
            pixels += {static_cast<char>(kRed), static_cast<char>(kGreen), static_cast<char>(kBlue)};
        writeFileBytes(image, "P6\n120 80\n255\n" + pixels);
    }

    // Appends the red image as one image-sized page; the command's result.
    CommandResult append(const fs::path& pdf, const std::string& extra = "")
    {
        return cli("convert -q -m merge -e append --page-size image " + extra + " -o " + q(pdf) + " " + q(image));
    }

    // Three text pages drawn by Ghostscript at a compatibility level.
    fs::path ghostscript(const std::string& level)
    {
        auto path = pdfPath("gs-" + level + ".pdf");
        std::string program = "/Helvetica findfont 20 scalefont setfont "
                              "1 1 3 { 100 100 moveto (Page ) show 3 string cvs show showpage } for";
        EXPECT_EQ(runCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dCompatibilityLevel=" + level +
                             " -sOutputFile=" + q(path) + " -c " + shellQuote(program))
                      .exitCode,
                  0);
        return path;
    }

    // `source` rewritten by qpdf with the given options.
    fs::path viaQpdf(const fs::path& source, const std::string& name, const std::string& options)
    {
        auto path = pdfPath(name);
        CommandResult r = runCommand("qpdf " + options + " " + q(source) + " " + q(path));
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << r.output;
        return path;
    }

    fs::path image;
};

// A hybrid file written by hand: the classic table marks the page free, and the stream that
// /XRefStm names finds it in an object stream. The page-tree root carries /Rotate and /CropBox
// for its pages to inherit; the existing page fills its crop box with blue.
std::string hybridPdf()
{
    std::string pdf = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    std::map<int, size_t> offsets;
    auto object = [&](int number, const std::string& body) {
        offsets[number] = pdf.size();
        pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    object(1, "<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines >>");
    object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 300 200] /CropBox [0 0 150 150] "
              "/Rotate 90 >>");
    std::string content = "0 0 1 rg 0 0 150 150 re f";
    object(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    std::string page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>";
    std::string header = "3 0 ";
    object(5, "<< /Type /ObjStm /N 1 /First " + std::to_string(header.size()) + " /Length " +
                  std::to_string(header.size() + page.size()) + " >>\nstream\n" + header + page + "\nendstream");
    // The stream's entries: object 3 in object stream 5 at index 0 (type 2), W [1 2 1].
    std::string entries = std::string("\x02\x00\x05\x00", 4);
    offsets[6] = pdf.size();
    pdf += "6 0 obj\n<< /Type /XRef /Size 7 /Index [3 1] /W [1 2 1] /Length 4 >>\nstream\n" + entries +
           "\nendstream\nendobj\n";
    size_t xref = pdf.size();
    pdf += "xref\n0 7\n0000000000 65535 f \n";
    for (int n = 1; n <= 6; ++n) {
        char line[24];
        if (n == 3)
            std::snprintf(line, sizeof line, "%010d %05d f \n", 0, 0);
        else
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[n]);
        pdf += line;
    }
    return pdf + "trailer\n<< /Size 7 /Root 1 0 R /XRefStm " + std::to_string(offsets[6]) +
           " /Custom (kept) /Info << /Title (Hybrid) /Shelf (B4) >> >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

} // namespace

// Every producer's file takes two appends: the old bytes stay a prefix, qpdf and MuPDF see the
// old pages and the new ones, the new page is drawn upright in the image's colour, the catalog
// stays as it was, and a file whose newest section is a stream gets a stream section too.
TEST_F(AppendCli, FilesOfEveryProducerAndVersionTakeTwoAppends)
{
    auto gs14 = ghostscript("1.4");
    std::vector<fs::path> files = {ghostscript("1.5"), ghostscript("1.7"), ghostscript("2.0")};
    files.push_back(viaQpdf(gs14, "qpdf-objstm.pdf", "--object-streams=generate"));
    files.push_back(viaQpdf(gs14, "qpdf-2.0.pdf", "--force-version=2.0 --object-streams=generate"));
    files.push_back(viaQpdf(gs14, "qpdf-rc4-40.pdf", "--allow-weak-crypto --encrypt '' owner 40 --"));
    files.push_back(viaQpdf(gs14, "qpdf-rc4-v4.pdf",
                            "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --force-V4 --"));
    files.push_back(viaQpdf(gs14, "qpdf-aes128.pdf", "--encrypt '' owner 128 --use-aes=y --"));
    // 40-bit RC4 without /Length, which then means 40 bits (blanks keep the offsets).
    auto noLength = viaQpdf(gs14, "rc4-no-length.pdf", "--allow-weak-crypto --encrypt '' owner 40 --");
    std::string bytes = readFileBytes(noLength);
    size_t length = bytes.find("/Length 40");
    ASSERT_NE(length, std::string::npos);
    bytes.replace(length, 10, std::string(10, ' '));
    writeFileBytes(noLength, bytes);
    files.push_back(noLength);
    files.push_back(viaQpdf(gs14, "qpdf-aes256-objstm.pdf", "--object-streams=generate --encrypt '' owner 256 --"));
    if (haveTool("pdftocairo")) {
        auto cairo = pdfPath("cairo.pdf");
        ASSERT_EQ(runCommand("pdftocairo -pdf " + q(gs14) + " " + q(cairo)).exitCode, 0);
        files.push_back(cairo);
    }
    if (haveTool("libreoffice")) {
        writeFileBytes(dir / "letter.txt", "A letter\n");
        runCommand("cd " + q(dir) + " && HOME=" + q(dir / "home") + " libreoffice --headless --convert-to pdf letter.txt");
        if (fs::exists(dir / "letter.pdf"))
            files.push_back(pdfPath("letter.pdf"));
    }

    for (const fs::path& pdf : files) {
        SCOPED_TRACE(pdf.filename().string());
        const std::string original = readFileBytes(pdf);
        const int pages = qpdfPageCount(pdf);
        ASSERT_GT(pages, 0);
        const std::string catalog = qpdfCatalog(pdf);
        const bool streamSection = original.find("/XRef") != std::string::npos;
        CommandResult first = append(pdf);
        ASSERT_EQ(first.exitCode, 0) << first.output;
        EXPECT_TRUE(appendedWell(pdf, original, pages + 1, kRed, kGreen, kBlue));
        const std::string once = readFileBytes(pdf);
        ASSERT_EQ(append(pdf).exitCode, 0);
        EXPECT_TRUE(appendedWell(pdf, once, pages + 2, kRed, kGreen, kBlue));
        EXPECT_TRUE(qpdfCheck(pdf));
        EXPECT_EQ(qpdfCatalog(pdf), catalog) << "default viewer settings leave the catalog alone";
        std::string update = readFileBytes(pdf).substr(once.size());
        EXPECT_EQ(update.find("/Type /XRef") != std::string::npos, streamSection) << update.substr(update.size() - 300);
        EXPECT_EQ(update.find("\rxref\r") != std::string::npos, !streamSection);
    }
}

// A hybrid file: its page lives in an object stream that only the /XRefStm stream lists, and its
// root would pass /Rotate 90 and a square /CropBox on to a page that did not state its own.
// Trailer keys of its own and the catalog's page mode survive; a viewer setting that is changed
// replaces only its own entry.
TEST_F(AppendCli, HybridFileWithInheritedRotationAndCropBox)
{
    auto pdf = keepPdfBytes("hybrid.pdf", hybridPdf());
    ASSERT_EQ(qpdfPageCount(pdf), 1);
    const std::string original = readFileBytes(pdf);
    CommandResult r = append(pdf);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(appendedWell(pdf, original, 2, kRed, kGreen, kBlue));
    DrawnPage page = drawPage(pdf, 2);
    EXPECT_NEAR(static_cast<double>(page.width) / page.height, 1.5, 0.1) << "not cut to the inherited square box";
    DrawnPage old = drawPage(pdf, 1);
    EXPECT_EQ(old.blue, 255) << "the old page keeps what it inherits";
    EXPECT_NE(qpdfObject(pdf, "trailer").find("/Custom (kept)"), std::string::npos);
    EXPECT_EQ(pdfinfo(pdf, "Title"), "Hybrid") << "an information dictionary written into the trailer";
    EXPECT_NE(runCommand("pdfinfo -custom " + q(pdf)).output.find("B4"), std::string::npos);

    ASSERT_EQ(append(pdf, "--open-panel thumbnails").exitCode, 0);
    std::string catalog = qpdfCatalog(pdf);
    EXPECT_NE(catalog.find("/PageMode /UseThumbs"), std::string::npos) << catalog;
    EXPECT_NE(catalog.find("/Type /Catalog"), std::string::npos) << catalog;
    EXPECT_EQ(qpdfPageCount(pdf), 3);
}

// Objects of an update start on lines of their own: when the cross-reference data is lost,
// qpdf's repair, which looks for object headers at line starts, still finds the new pages.
TEST_F(AppendCli, RepairFindsTheAppendedPages)
{
    auto pdf = ghostscript("1.4");
    ASSERT_EQ(append(pdf).exitCode, 0);
    std::string bytes = readFileBytes(pdf);
    size_t startxref = bytes.rfind("startxref");
    ASSERT_NE(startxref, std::string::npos);
    auto broken = dir / "broken.pdf";
    writeFileBytes(broken, bytes.substr(0, startxref) + "startxref\r99999999\r%%EOF\r\n");
    EXPECT_EQ(qpdfPageCount(broken), 4);
}

// A 40-bit RC4 file (revision 2, empty passwords) without /ID, made by hand: no object holds a
// string or stream, so only O and U depend on the key, which is derived without an identifier.
std::string encryptedWithoutId()
{
    using namespace folvane::pdf;
    const int32_t permissions = -4;
    std::string owner(reinterpret_cast<const char*>(kPasswordPadding), 32);
    auto ownerKey = md5Of(kPasswordPadding, 32);
    rc4(ownerKey.data(), 5, reinterpret_cast<uint8_t*>(owner.data()), 32);
    Md5 md5;
    md5.update(kPasswordPadding, 32);
    md5.update(owner.data(), 32);
    const uint8_t p[4] = {0xFC, 0xFF, 0xFF, 0xFF};
    static_assert(-4 == static_cast<int32_t>(0xFFFFFFFC));
    md5.update(p, 4);
    auto fileKey = md5.digestCopy();
    std::string user(reinterpret_cast<const char*>(kPasswordPadding), 32);
    rc4(fileKey.data(), 5, reinterpret_cast<uint8_t*>(user.data()), 32);
    auto hex = [](const std::string& bytes) {
        static const char digits[] = "0123456789ABCDEF";
        std::string out;
        for (char c : bytes)
            out += {digits[static_cast<uint8_t>(c) >> 4], digits[static_cast<uint8_t>(c) & 15]};
        return out;
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (const std::string& body :
         {std::string("<< /Type /Catalog /Pages 2 0 R >>"), std::string("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
          std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>"),
          std::string("<< /Department /Accounts /Pages 12 >>"),
          "<< /Filter /Standard /V 1 /R 2 /P " + std::to_string(permissions) + " /O <" + hex(owner) + "> /U <" +
              hex(user) + "> >>"}) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    return pdf + "trailer\n<< /Size 6 /Root 1 0 R /Info 4 0 R /Encrypt 5 0 R >>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
}

// An encrypted file without /ID derives its key without one: the update must not add one, or no
// reader could derive the key any more. Information entries of its own stay too.
TEST_F(AppendCli, EncryptedFileWithoutIdentifierKeepsItsKeyAndInformation)
{
    // qpdf warns about the missing /ID itself, so the file is not one of the fixture's (which
    // must check clean): the update must simply not make qpdf's check any worse.
    auto pdf = dir / "no-id.pdf";
    writeFileBytes(pdf, encryptedWithoutId());
    ASSERT_EQ(qpdfPageCount(pdf), 1);
    auto check = [&] { return runCommand("qpdf --check " + q(pdf) + " | grep -v '^checking '"); };
    const CommandResult checkedBefore = check();
    std::string original = readFileBytes(pdf);
    for (int round = 1; round <= 2; ++round) {
        std::string before = readFileBytes(pdf);
        ASSERT_EQ(append(pdf, "--title 'New title'").exitCode, 0);
        EXPECT_TRUE(appendedWell(pdf, before, 1 + round, kRed, kGreen, kBlue));
    }
    EXPECT_EQ(readFileBytes(pdf).compare(0, original.size(), original), 0);
    EXPECT_EQ(qpdfObject(pdf, "trailer").find("/ID"), std::string::npos);
    CommandResult checkedAfter = check();
    EXPECT_EQ(checkedAfter.exitCode, checkedBefore.exitCode) << checkedAfter.output;
    EXPECT_EQ(std::count(checkedAfter.output.begin(), checkedAfter.output.end(), '\n'),
              std::count(checkedBefore.output.begin(), checkedBefore.output.end(), '\n'))
        << checkedBefore.output << checkedAfter.output;
    EXPECT_EQ(pdfinfo(pdf, "Title"), "New title");
    std::smatch info;
    std::string trailer = qpdfObject(pdf, "trailer");
    ASSERT_TRUE(std::regex_search(trailer, info, std::regex("/Info ([0-9]+) ")));
    std::string dictionary = qpdfObject(pdf, info[1]);
    EXPECT_NE(dictionary.find("/Department /Accounts"), std::string::npos) << dictionary;
    EXPECT_NE(dictionary.find("/Pages 12"), std::string::npos) << dictionary;
}

// Refused files stay untouched, and the reason is printed and logged.
TEST_F(AppendCli, RefusalsSayWhyAndLeaveTheFile)
{
    auto gs14 = ghostscript("1.4");
    std::string plain = readFileBytes(gs14);
    std::map<std::string, std::string> files;
    files["text.pdf"] = "just some text, long enough to be looked at as a file\n";
    runCommand("qpdf --encrypt user owner 256 -- " + q(gs14) + " " + q(dir / "password-made"));
    files["password.pdf"] = readFileBytes(dir / "password-made");
    // A section header that does not parse: "x0 7" is no subsection.
    std::string damaged = plain;
    size_t xref = damaged.rfind("\nxref");
    ASSERT_NE(xref, std::string::npos);
    damaged.insert(damaged.find('\n', xref + 1) + 1, "x");
    files["damaged.pdf"] = damaged;
    // A security handler other than the standard one.
    std::string handler = plain;
    size_t trailer = handler.rfind("trailer");
    size_t open = handler.find("<<", trailer);
    handler.insert(open + 2, "/Encrypt << /Filter /Adobe.PubSec /V 4 /R 4 >> ");
    files["handler.pdf"] = handler;
    // A certified document: its DocMDP signature allows no new pages (qpdf mends the offsets
    // that the inserted entry moved).
    std::string certified = plain;
    size_t catalog = certified.find("/Type /Catalog");
    ASSERT_NE(catalog, std::string::npos);
    certified.insert(catalog, "/Perms << /DocMDP << /Type /Sig >> >> ");
    writeFileBytes(dir / "certified-moved.pdf", certified);
    runCommand("qpdf --object-streams=disable " + q(dir / "certified-moved.pdf") + " " + q(dir / "certified-fixed"));
    files["certified.pdf"] = readFileBytes(dir / "certified-fixed");

    const std::map<std::string, std::string> reasons = {
        {"text.pdf", "not a PDF"},
        {"password.pdf", "encrypted with a user password"},
        {"damaged.pdf", "damaged cross-reference (repair it first, e.g. with qpdf)"},
        {"handler.pdf", "unsupported security handler /Adobe.PubSec"},
        {"certified.pdf", "the document forbids changes"},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        auto path = dir / name;
        writeFileBytes(path, bytes);
        auto logs = dir / ("log-" + name);
        CommandResult r = append(path, "--log " + q(logs));
        EXPECT_NE(r.exitCode, 0);
        const std::string& reason = reasons.at(name);
        EXPECT_TRUE(printed(r, "folvane-cli: " + path.string() + ": cannot append: " + reason)) << r.output;
        EXPECT_EQ(readFileBytes(path), bytes);
        std::string log;
        for (const auto& entry : fs::directory_iterator(logs))
            log += readFileBytes(entry.path());
        EXPECT_NE(log.find("[Reason]: cannot append: " + reason + "\r\n"), std::string::npos) << log;
    }
}

// In an encrypted file, objects kept in an object stream have plain strings; the page-tree root
// written again as an object of its own gets them encrypted, so readers decrypt them intact.
TEST_F(AppendCli, StringsOfRewrittenCompressedObjectsStayReadable)
{
    auto gs14 = ghostscript("1.4");
    auto labelled = dir / "labelled.pdf";
    std::string bytes = readFileBytes(gs14);
    size_t pages = bytes.find("/Type /Pages");
    ASSERT_NE(pages, std::string::npos);
    bytes.insert(pages, "/Label (Chapter one) ");
    writeFileBytes(dir / "moved.pdf", bytes);
    runCommand("qpdf " + q(dir / "moved.pdf") + " " + q(labelled)); // mends the moved offsets
    for (const char* bits : {"256", "128 --use-aes=y"}) {
        SCOPED_TRACE(bits);
        auto pdf = viaQpdf(labelled, std::string("objstm-aes") + bits[0] + ".pdf",
                           std::string("--object-streams=generate --encrypt '' owner ") + bits + " --");
        ASSERT_NE(runCommand("qpdf --show-xref " + q(pdf)).output.find("compressed"), std::string::npos);
        std::string original = readFileBytes(pdf);
        ASSERT_EQ(append(pdf).exitCode, 0);
        EXPECT_TRUE(appendedWell(pdf, original, 4, kRed, kGreen, kBlue));
        std::smatch root;
        std::string catalog = qpdfCatalog(pdf);
        ASSERT_TRUE(std::regex_search(catalog, root, std::regex("/Pages ([0-9]+) ")));
        EXPECT_NE(qpdfObject(pdf, root[1]).find("/Label (Chapter one)"), std::string::npos) << qpdfObject(pdf, root[1]);
    }
}
