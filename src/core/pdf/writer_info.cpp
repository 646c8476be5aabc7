// The document information dictionary: producer and the creation and modification dates.
#include "pdf/document.h"

#include <ctime>

#include "pdf/writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr char kBuiltInProducer[] = "Folvane PDF Writer 1.0.0"; // 24 characters

// "D:YYYYMMDDHHmmSS" followed by the local offset from UTC.
std::string pdfDate(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d%c%02ld'%02ld'", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, sign, offset / 60,
                  offset % 60);
    return text;
}

// Writes one entry and feeds its value, terminator included, to the document digest.
void writeEntry(PdfDocument* doc, const char* key, const char* value)
{
    writeString(doc, key);
    writeChar(doc, ' ');
    writeTextString(doc, value);
    writeChar(doc, ' ');
    bool utf16 = static_cast<uint8_t>(value[0]) == 0xFE && static_cast<uint8_t>(value[1]) == 0xFF;
    doc->digest.update(value, textValueLength(value) + (utf16 ? 2 : 1));
}

} // namespace

void writeInfoDictionary(PdfDocument* doc)
{
    if (doc->infoNumber == 0)
        doc->infoNumber = reserveObject(doc);
    beginObject(doc, doc->infoNumber);
    writeString(doc, " <<");
    writeEntry(doc, "/Producer", doc->producer.empty() ? kBuiltInProducer : doc->producer.c_str());
    std::string date = pdfDate(std::time(nullptr));
    writeEntry(doc, "/CreationDate", date.c_str());
    writeEntry(doc, "/ModDate", date.c_str());
    writeString(doc, ">> endobj ");
}

} // namespace folvane::pdf
