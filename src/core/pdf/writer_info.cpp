// The document information dictionary: the five standard text fields, further entries, the
// producer and the creation and modification dates; and the conversion of UTF-8 texts into
// PDF text values.
#include "pdf/outline.h"

#include <algorithm>
#include <cstring>

#include "reproducible.h"
#include "pdf/security.h"
#include "writer_internal.h"

namespace folvane::pdf {

namespace {

constexpr char kBuiltInProducer[] = "Folvane PDF Writer 1.0.0"; // 24 characters
static_assert(sizeof kBuiltInProducer - 1 == 24);

const char* const kStandardKeys[kInfoFieldCount] = {"Title", "Author", "Subject", "Keywords", "Creator"};
const char* const kTrappedValues[3] = {"True", "False", "Unknown"};
// PDF delimiters and white space: a key holding one of them could not be read back as one name.
constexpr char kForbiddenKeyCharacters[] = "()<>[]{}/% \t\r\n\f";

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i]; invalid, overlong or surrogate sequences yield U+FFFD
// and consume one byte.
uint32_t nextCodePoint(const uint8_t* text, size_t length, size_t& i)
{
    uint8_t lead = text[i];
    int extra;
    uint32_t code;
    uint32_t minimum;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07u, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + static_cast<size_t>(extra) >= length) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        uint8_t next = text[i + static_cast<size_t>(k)];
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += static_cast<size_t>(extra) + 1;
    return code;
}

void appendUtf16(std::string& out, uint32_t code)
{
    auto unit = [&](uint32_t u) {
        out += static_cast<char>((u >> 8) & 0xFF);
        out += static_cast<char>(u & 0xFF);
    };
    if (code >= 0x10000) {
        code -= 0x10000;
        unit(0xD800 | (code >> 10));
        unit(0xDC00 | (code & 0x3FF));
    } else {
        unit(code);
    }
}

bool isUtf16Value(const std::string& value)
{
    return value.size() >= 2 && static_cast<uint8_t>(value[0]) == 0xFE && static_cast<uint8_t>(value[1]) == 0xFF;
}

// In an update that rewrites the existing dictionary, infoNumber holds the existing number
// (written as it is) and appendInfoIsExisting is set.
int objectNumberOfInfo(const PdfDocument* doc)
{
    return doc->appendInfoIsExisting ? doc->infoNumber : doc->infoNumber + doc->numberBase;
}

// A text value: a literal string, or when encrypted the RC4 bytes as a hex string. Unencrypted
// values are fed to the document digest with their terminator (two zero bytes for UTF-16).
void writeValue(PdfDocument* doc, const std::string& value)
{
    if (doc->security.encrypted) {
        std::string secret = encryptedCopy(doc, objectNumberOfInfo(doc), value.data(), value.size());
        writeHexBytes(doc, secret.data(), secret.size());
        return;
    }
    writeLiteralString(doc, value.data(), value.size());
    static const char zeros[2] = {0, 0};
    doc->digest.update(value.data(), value.size());
    doc->digest.update(zeros, isUtf16Value(value) ? 2 : 1);
}

void writeEntry(PdfDocument* doc, const char* key, const std::string& value)
{
    writeString(doc, key);
    writeChar(doc, ' ');
    writeValue(doc, value);
    writeChar(doc, ' ');
}

void writeDate(PdfDocument* doc, const char* key, const std::string& date, bool kept)
{
    if (doc->security.encrypted || !kept) {
        writeEntry(doc, key, date);
        return;
    }
    // A date kept from an existing file is already in its written form.
    writeString(doc, key);
    writeString(doc, " (");
    writeBytes(doc, date.data(), date.size());
    writeString(doc, ") ");
    doc->digest.update(date.c_str(), date.size() + 1);
}

} // namespace

std::string textValueFromUtf8(const char* text)
{
    if (!text)
        return {};
    // A C string cannot carry UTF-16 (its zero bytes end it), so FE FF at the start is taken as
    // two invalid UTF-8 bytes: file names in other encodings can begin with them.
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    size_t length = std::strlen(text);
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        length -= 3;
    }
    if (std::all_of(bytes, bytes + length, [](uint8_t b) { return b < 0x80; }))
        return std::string(reinterpret_cast<const char*>(bytes), length);
    std::string value = "\xFE\xFF";
    for (size_t i = 0; i < length;)
        appendUtf16(value, nextCodePoint(bytes, length, i));
    return value;
}

std::string pdfDateText(std::time_t when)
{
    std::tm local{};
    // A reproducible document's dates do not depend on the machine's time zone.
    if (sourceDateEpoch())
        gmtime_r(&when, &local);
    else
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

void setInfoField(PdfDocument* doc, const char* key, const char* value)
{
    if (!isValid(doc))
        return;
    checkScope(doc, kScopeDocument | kScopePage, "setInfoField");
    if (!key || !*key || !value || !*value) {
        reportError(doc, kErrArgument, "information entry with an empty key or value");
        return;
    }
    if (!std::strcmp(key, "Producer") || !std::strcmp(key, "CreationDate") || !std::strcmp(key, "ModDate"))
        return;
    for (int i = 0; i < kInfoFieldCount; ++i) {
        if (std::strcmp(key, kStandardKeys[i]) == 0) {
            doc->info.fields[i] = textValueFromUtf8(value);
            return;
        }
    }
    if (std::strpbrk(key, kForbiddenKeyCharacters)) {
        reportError(doc, kErrArgument, "information key \"%s\" holds a delimiter or white space", key);
        return;
    }
    InfoEntry entry{key, {}, false};
    if (std::strcmp(key, "Trapped") == 0) {
        auto known = std::find_if(std::begin(kTrappedValues), std::end(kTrappedValues),
                                  [&](const char* v) { return std::strcmp(v, value) == 0; });
        if (known == std::end(kTrappedValues)) {
            reportError(doc, kErrArgument, "trapping value \"%s\" is not True, False or Unknown", value);
            return;
        }
        entry.value = value;
        entry.valueIsName = true;
    } else {
        entry.value = textValueFromUtf8(value);
    }
    // A key appears once in a dictionary: a repeated key replaces its earlier value.
    auto& further = doc->info.further;
    further.erase(std::remove_if(further.begin(), further.end(), [&](const InfoEntry& e) { return e.key == key; }),
                  further.end());
    further.push_back(std::move(entry));
}

namespace {

// Entries from the existing file that this update does not replace, written back as read.
void writeKeptValue(PdfDocument* doc, const char* key, const ExistingInfoValue& value)
{
    if (!value.present)
        return;
    writeString(doc, key);
    writeChar(doc, ' ');
    if (value.isName) {
        writeName(doc, value.bytes.c_str());
        writeChar(doc, ' ');
        return;
    }
    writeValue(doc, value.bytes);
    writeChar(doc, ' ');
}

void writeInfoBody(PdfDocument* doc)
{
    const bool append = doc->writeMode == 1;
    const ExistingInfoValue* kept = doc->existing.info;
    writeString(doc, " <<");
    for (int i = 0; i < kInfoFieldCount; ++i) {
        if (doc->info.fields[i].empty()) {
            // The standard fields are read in the same order as they are kept here.
            if (append)
                writeKeptValue(doc, (std::string("/") + kStandardKeys[i]).c_str(), kept[i]);
            continue;
        }
        writeString(doc, "/");
        writeEntry(doc, kStandardKeys[i], doc->info.fields[i]);
    }
    const auto& further = doc->info.further;
    for (auto entry = further.rbegin(); entry != further.rend(); ++entry) {
        writeName(doc, entry->key.c_str());
        writeChar(doc, ' ');
        if (entry->valueIsName)
            writeName(doc, entry->value.c_str());
        else
            writeValue(doc, entry->value);
        writeChar(doc, '\r');
    }
    if (append) {
        // Keys of the existing dictionary beyond the standard ones stay, unless set anew.
        for (const auto& extra : doc->existing.infoExtras) {
            if (std::any_of(further.begin(), further.end(), [&](const InfoEntry& e) { return e.key == extra.key; }))
                continue;
            writeString(doc, "/");
            writeBytes(doc, extra.key.data(), extra.key.size());
            writeChar(doc, ' ');
            if (extra.isString)
                writeValue(doc, extra.bytes);
            else
                writeBytes(doc, extra.bytes.data(), extra.bytes.size());
            writeChar(doc, '\r');
        }
    }
    bool trappedSet = std::any_of(further.begin(), further.end(), [](const InfoEntry& e) { return e.key == "Trapped"; });
    if (append && !trappedSet)
        writeKeptValue(doc, "/Trapped", kept[kExistingTrapped]);
    if (append && doc->producer.empty() && kept[kExistingProducer].present)
        writeKeptValue(doc, "/Producer", kept[kExistingProducer]);
    else
        writeEntry(doc, "/Producer",
                   doc->producer.empty() ? std::string(kBuiltInProducer) : textValueFromUtf8(doc->producer.c_str()));
    std::string now = pdfDateText(sourceDateEpoch().value_or(std::time(nullptr)));
    if (append && kept[kExistingCreationDate].present) {
        writeKeptValue(doc, "/CreationDate", kept[kExistingCreationDate]);
    } else {
        bool keptDate = !doc->info.creationDate.empty();
        writeDate(doc, "/CreationDate", keptDate ? doc->info.creationDate : now, keptDate);
    }
    writeDate(doc, "/ModDate", now, false);
    writeString(doc, ">> endobj\r");
}

} // namespace

void writeInfoDictionary(PdfDocument* doc)
{
    if (doc->infoNumber == 0)
        doc->infoNumber = reserveObject(doc);
    beginObject(doc, doc->infoNumber);
    writeInfoBody(doc);
}

int writeAppendInfoDictionary(PdfDocument* doc, int64_t* offset)
{
    int existing = doc->existing.infoNumber;
    // A damaged trailer may name the catalog or a page-tree object as its information; that
    // object must not be replaced by an information dictionary, so a new one is written instead.
    const ExistingPdf& e = doc->existing;
    if (existing == e.catalogNumber || existing == e.pageTreeRoot ||
        std::find(e.pages.begin(), e.pages.end(), existing) != e.pages.end())
        existing = 0;
    if (existing) {
        doc->infoNumber = existing;
        doc->appendInfoIsExisting = true;
        *offset = currentOffset(doc);
        int generation = existing < static_cast<int>(doc->existing.generations.size())
                             ? doc->existing.generations[static_cast<size_t>(existing)]
                             : 0;
        writeFormatted(doc, "%d %d obj\r", existing, generation);
        writeInfoBody(doc);
        return existing;
    }
    doc->infoNumber = reserveObject(doc);
    *offset = currentOffset(doc);
    beginObject(doc, doc->infoNumber);
    writeInfoBody(doc);
    return doc->infoNumber + doc->numberBase;
}

} // namespace folvane::pdf
