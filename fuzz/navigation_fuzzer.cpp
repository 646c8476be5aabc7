// Feeds arbitrary bytes to the UTF-8 decoder behind bookmark titles and information values, and
// drives bookmarks, information entries, viewer settings and encryption with operations decoded
// from the input, then checks the decoder's output is a well-formed text value.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdf/document.h"
#include "pdf/outline.h"
#include "pdf/security.h"

using namespace folvane::pdf;

namespace {

// A UTF-16 value must hold whole code units and never a lone surrogate.
void checkTextValue(const std::string& value)
{
    if (value.size() < 2 || static_cast<uint8_t>(value[0]) != 0xFE || static_cast<uint8_t>(value[1]) != 0xFF) {
        for (char c : value)
            if (static_cast<uint8_t>(c) >= 0x80)
                std::abort(); // a plain value must be ASCII
        return;
    }
    if (value.size() % 2)
        std::abort();
    for (size_t i = 2; i < value.size(); i += 2) {
        unsigned unit = static_cast<unsigned>(static_cast<uint8_t>(value[i])) << 8 | static_cast<uint8_t>(value[i + 1]);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            std::abort();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 3 >= value.size())
                std::abort();
            unsigned low = static_cast<unsigned>(static_cast<uint8_t>(value[i + 2])) << 8 | static_cast<uint8_t>(value[i + 3]);
            if (low < 0xDC00 || low > 0xDFFF)
                std::abort();
            i += 2;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string whole(reinterpret_cast<const char*>(data), size);
    checkTextValue(textValueFromUtf8(whole.c_str()));

    PdfDocument* doc = newPdfDocument();
    if (!doc)
        return 0;
    openOutput(doc, "");
    size_t i = 0;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    auto text = [&]() {
        std::string t;
        for (uint8_t n = next() % 24; n > 0 && i < size; --n)
            t += static_cast<char>(next());
        return t;
    };
    if (next() & 1) {
        unsigned permissions = next();
        int keyLength = next() & 1 ? 5 : 16;
        std::string owner = text();
        std::string user = text();
        enableEncryption(doc, true, permissions, keyLength, owner.c_str(), user.c_str());
    }
    while (i < size) {
        switch (next() % 8) {
        case 0: beginPage(doc, 200, 200); break;
        case 1: endPage(doc); break;
        case 2: {
            std::string title = text();
            addBookmark(doc, title.c_str(), static_cast<int8_t>(next()), next() & 1);
            break;
        }
        case 3: {
            std::string key = text();
            std::string value = text();
            setInfoField(doc, key.c_str(), value.c_str());
            break;
        }
        case 4: setNumericParameter(doc, "pagemode", next() % 7 - 1); break;
        case 5: setNumericParameter(doc, "openaction", next() % 4); break;
        case 6: setNumericParameter(doc, "openpage", static_cast<int8_t>(next())); break;
        default: setNumericParameter(doc, "viewerprefs", next() << 10); break;
        }
    }
    closePdfDocument(doc);
    freePdfDocument(doc);
    return 0;
}
