// The document information dictionary: standard fields, further entries, producer, dates and
// UTF-8 texts, read back through the written objects and through pdfinfo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/pdf_inspect.h"
#include "support/test_support.h"

using namespace folvane::pdf;
using namespace folvane::test;

namespace {

class InfoDictionary : public PdfTest {};

std::string infoObject(const std::filesystem::path& path)
{
    WrittenPdf pdf = readWrittenPdf(readFileBytes(path));
    EXPECT_EQ(pdf.error, "");
    return pdf.objects[static_cast<int>(integerAfter(pdf.trailer, "/Info"))];
}

// The value of one "Key:" line of pdfinfo.
std::string pdfinfoField(const std::filesystem::path& path, const std::string& key, const std::string& options = "")
{
    CommandResult r = runCommand("pdfinfo -enc UTF-8 " + options + " " + shellQuote(path.string()));
    std::regex line("(^|\n)" + key + ":[ ]*([^\n]*)");
    std::smatch match;
    return std::regex_search(r.output, match, line) ? match[2].str() : "<missing>";
}

void writeOnePage(PdfDocument* doc)
{
    beginPage(doc, 200, 200);
    endPage(doc);
}

// Sets TZ for the scope of a test and restores it afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

} // namespace

TEST_F(InfoDictionary, StandardFieldsFurtherEntriesAndProducerInOrder)
{
    auto path = pdfPath("fields.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    setInfoField(doc, "Creator", "Scanner app");
    setInfoField(doc, "Title", "First title");
    setInfoField(doc, "Title", "Annual (2014) report \\ final");
    setInfoField(doc, "Author", "Jane Roe");
    setInfoField(doc, "Subject", "Finance");
    setInfoField(doc, "Keywords", "money, report");
    setInfoField(doc, "Company", "ACME");
    setInfoField(doc, "Department", "Sales");
    setInfoField(doc, "Company", "Initech"); // replaces ACME and becomes the newest
    setInfoField(doc, "Trapped", "True");
    // The writer owns these three: ignored without a report.
    setInfoField(doc, "Producer", "Someone else");
    setInfoField(doc, "CreationDate", "D:19990101000000");
    setInfoField(doc, "ModDate", "D:19990101000000");
    EXPECT_TRUE(log.codes.empty());
    doc->producer = "Engine 2.0";
    writeOnePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    std::string info = infoObject(path);
    const char* inOrder[] = {"/Title (Annual \\(2014\\) report \\\\ final) ", "/Author (Jane Roe) ",
                             "/Subject (Finance) ", "/Keywords (money, report) ", "/Creator (Scanner app) ",
                             "/Trapped /True\r", "/Company (Initech)\r", "/Department (Sales)\r",
                             "/Producer (Engine 2.0) ", "/CreationDate (D:", "/ModDate (D:"};
    size_t last = 0;
    for (const char* entry : inOrder) {
        size_t at = info.find(entry);
        ASSERT_NE(at, std::string::npos) << entry << " in " << info;
        EXPECT_GT(at, last) << entry;
        last = at;
    }
    EXPECT_EQ(info.find("ACME"), std::string::npos);
    EXPECT_EQ(info.find("First title"), std::string::npos);
    EXPECT_EQ(info.find("1999"), std::string::npos);

    EXPECT_EQ(pdfinfoField(path, "Title"), "Annual (2014) report \\ final");
    EXPECT_EQ(pdfinfoField(path, "Author"), "Jane Roe");
    EXPECT_EQ(pdfinfoField(path, "Subject"), "Finance");
    EXPECT_EQ(pdfinfoField(path, "Keywords"), "money, report");
    EXPECT_EQ(pdfinfoField(path, "Creator"), "Scanner app");
    EXPECT_EQ(pdfinfoField(path, "Producer"), "Engine 2.0");
}

TEST_F(InfoDictionary, InvalidEntriesAreReportedAndIgnored)
{
    auto path = pdfPath("invalid.pdf");
    ErrorLog log;
    PdfDocument* doc = makeDocument(&log);
    openOutput(doc, path.string());
    setInfoField(doc, "", "value");
    setInfoField(doc, "Title", "");
    setInfoField(doc, nullptr, "value");
    setInfoField(doc, "Bad Key", "x");
    setInfoField(doc, "a/b", "x");
    setInfoField(doc, "x(y", "x");
    setInfoField(doc, "tab\tkey", "x");
    setInfoField(doc, "Trapped", "Maybe");
    EXPECT_EQ(log.codes, std::vector<int>(8, kErrArgument));
    writeOnePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    std::string info = infoObject(path);
    EXPECT_EQ(info.find("/Title"), std::string::npos);
    EXPECT_EQ(info.find("/Trapped"), std::string::npos);
    EXPECT_EQ(info.find("(x)"), std::string::npos);
    EXPECT_NE(info.find("/Producer (Folvane PDF Writer 1.0.0) "), std::string::npos) << "the built-in producer";
}

TEST_F(InfoDictionary, NonAsciiTextsBecomeUtf16AndReadBackThroughPdfinfo)
{
    auto path = pdfPath("unicode.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, path.string());
    setInfoField(doc, "Title", "Grüße – 日本 😀");
    setInfoField(doc, "Author", "Zoë (ÆØÅ)");
    setInfoField(doc, "Subject", "plain ASCII");
    doc->producer = "Moteur à images";
    writeOnePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);

    std::string info = infoObject(path);
    EXPECT_NE(info.find(std::string("/Title (\xFE\xFF\x00G\x00\xFC", 12)), std::string::npos);
    EXPECT_NE(info.find("/Subject (plain ASCII) "), std::string::npos);
    EXPECT_EQ(pdfinfoField(path, "Title"), "Grüße – 日本 😀");
    EXPECT_EQ(pdfinfoField(path, "Author"), "Zoë (ÆØÅ)");
    EXPECT_EQ(pdfinfoField(path, "Producer"), "Moteur à images");
}

TEST(TextValue, Utf8BecomesAsciiOrUtf16)
{
    using namespace std::string_literals;
    struct Case {
        std::string input;
        std::string expected;
    } cases[] = {
        {"abc", "abc"},
        {"\xC3\xA9", "\xFE\xFF\x00\xE9"s},
        {"\xF0\x9F\x98\x80", "\xFE\xFF\xD8\x3D\xDE\x00"s},             // surrogate pair
        {"\xC3(", "\xFE\xFF\xFF\xFD\x00("s},                           // cut sequence
        {"\xC0\xAF", "\xFE\xFF\xFF\xFD\xFF\xFD"s},                     // overlong
        {"\xED\xA0\x80", "\xFE\xFF\xFF\xFD\xFF\xFD\xFF\xFD"s},         // encoded surrogate
        {"a\xE2\x82", "\xFE\xFF\x00" "a\xFF\xFD\xFF\xFD"s},            // truncated at the end
        {"\xF4\x90\x80\x80", "\xFE\xFF\xFF\xFD\xFF\xFD\xFF\xFD\xFF\xFD"s}, // above U+10FFFF
        {"\xEF\xBB\xBF" "abc", "abc"},                                  // byte-order mark dropped
        {"\xFE\xFF" "A", "\xFE\xFF\xFF\xFD\xFF\xFD\x00" "A"s},          // FE FF is not UTF-8
    };
    for (const Case& c : cases)
        EXPECT_EQ(textValueFromUtf8(c.input.c_str()), c.expected) << c.input;
}

TEST(PdfDate, LocalTimeWithItsOwnOffset)
{
    struct Case {
        const char* zone;
        int year, month, day, hour, minute, second;
        const char* expected;
    } cases[] = {
        {"UTC0", 2014, 3, 3, 14, 5, 9, "D:20140303140509+00'00'"},
        {"PST8", 2014, 3, 3, 14, 5, 9, "D:20140303140509-08'00'"},
        {"IST-5:30", 2014, 3, 3, 14, 5, 9, "D:20140303140509+05'30'"},
        {"NST3:30", 2014, 3, 3, 14, 5, 9, "D:20140303140509-03'30'"},
        {"CET-1", 2001, 1, 2, 3, 4, 5, "D:20010102030405+01'00'"},
    };
    for (const Case& c : cases) {
        TimeZone zone(c.zone);
        std::tm local{};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        local.tm_isdst = 0;
        EXPECT_EQ(pdfDateText(std::mktime(&local)), c.expected) << c.zone;
    }
}

TEST_F(InfoDictionary, DatesAreWrittenAndAKeptCreationDateWins)
{
    auto now = pdfPath("now.pdf");
    PdfDocument* doc = newPdfDocument();
    openOutput(doc, now.string());
    writeOnePage(doc);
    std::time_t before = std::time(nullptr);
    closePdfDocument(doc);
    std::string info = infoObject(now);
    std::regex date("/(CreationDate|ModDate) \\((D:\\d{14}[+-]\\d\\d'\\d\\d')\\) ");
    auto found = std::sregex_iterator(info.begin(), info.end(), date);
    ASSERT_EQ(std::distance(found, std::sregex_iterator()), 2) << info;
    std::string written = (*found)[2].str();
    EXPECT_TRUE(written == pdfDateText(before) || written == pdfDateText(before + 1)) << written;
    EXPECT_NE(pdfinfoField(now, "CreationDate"), "<missing>");

    auto kept = pdfPath("kept.pdf");
    openOutput(doc, kept.string());
    doc->info.creationDate = "D:19991231235959+01'00'";
    writeOnePage(doc);
    closePdfDocument(doc);
    freePdfDocument(doc);
    info = infoObject(kept);
    EXPECT_NE(info.find("/CreationDate (D:19991231235959+01'00') "), std::string::npos) << info;
    EXPECT_EQ(pdfinfoField(kept, "CreationDate", "-isodates"), "1999-12-31T23:59:59+01");
}
