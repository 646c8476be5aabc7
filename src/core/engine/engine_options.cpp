// SetDocumentOption: the settings a caller sends to a document one at a time.
#include "engine/engine.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "engine/engine_document.h"
#include "pdf/fonts.h"
#include "pdf/outline.h"
#include "pdf/security.h"

namespace folvane::engine {

namespace {

bool present(const char* text)
{
    return text && *text;
}

// The first `limit` bytes of UTF-8 text, never ending inside a character.
std::string cutUtf8(const char* text, size_t limit)
{
    std::string value(text);
    if (value.size() <= limit)
        return value;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    return value.substr(0, end);
}

int frameRange(EngineSettings& s, int first, int count)
{
    if (first >= 1 && count >= 1) {
        s.page.firstFrame = first;
        s.page.frameCount = count;
        return 1;
    }
    if (first == 0 && count == 0) {
        s.page.firstFrame = 1;
        s.page.frameCount = 0;
        return 1;
    }
    return 0;
}

int imagePlacement(EngineSettings& s, int x, int y, const char* width, const char* height)
{
    s.page.placeX = x;
    s.page.placeY = y;
    s.page.placeWidth = width ? std::atoi(width) : 0;
    s.page.placeHeight = height ? std::atoi(height) : 0;
    return 1;
}

int security(EngineDocument* doc, int bits, int permissions, const char* owner, const char* user)
{
    bool switchOff = bits == 0 && permissions == 0 && !present(owner) && !present(user);
    if (doc->mode == 1) {
        // An update keeps the file's own encryption. Pages added to a file without one would go
        // out unprotected although protection was asked for, so the whole append is refused.
        if (!switchOff && !doc->pdf->existing.encryption.encrypted)
            doc->refusal = kReasonCannotAddSecurity;
        return 0;
    }
    if (switchOff) {
        pdf::enableEncryption(doc->pdf, false, 0, 0, "", "");
        return 1;
    }
    bool aes = (bits & kSecurityAes) != 0;
    int aesBits = (bits & ~kSecurityAes) == 128 ? 128 : 256;
    int keyLength = bits == 5 || bits == 40 ? 5 : 16;
    // Permission bits counted from 1 as the PDF standard numbers them.
    auto bit = [](int n) { return 1u << (n - 1); };
    unsigned word = 0;
    if (permissions & 1)
        word |= bit(3) | bit(12);
    if (permissions & 2)
        word |= bit(5) | bit(10);
    if (permissions & 4)
        word |= bit(4) | bit(6) | bit(9) | bit(11);
    if (aes) {
        // UTF-8 passwords, converted and cut as the revision asks by the writer.
        pdf::enableAesEncryption(doc->pdf, word, aesBits, owner ? owner : "", user ? user : "");
        return 1;
    }
    std::string ownerText = owner ? std::string(owner).substr(0, 32) : std::string();
    std::string userText = user ? std::string(user).substr(0, 32) : std::string();
    pdf::enableEncryption(doc->pdf, true, word, keyLength, ownerText.c_str(), userText.c_str());
    return 1;
}

int font(EngineSettings& s, int code, int size, const char* name)
{
    if (code == 1 && name) {
        if (std::strlen(name) > 63)
            return 0; // longer than any font name the engine keeps
        s.page.fontName = name;
    } else {
        const char* standard = standardFontForCode(code);
        s.page.fontName = standard ? standard : "Helvetica";
    }
    if (size > 0)
        s.page.fontSize = size;
    return 1;
}

int pageSize(EngineDocument* doc, int width, int height, const char* text2)
{
    EngineSettings& s = doc->settings;
    if (width == 0) {
        if (height != 0)
            return 0;
        if (s.pagePending && !s.pageOpen)
            s.pendingBookmark.clear(); // its page never began
        s.pagePending = false;
        endEnginePage(doc);
        s.page = PageSettings{};
        return 1;
    }
    if (width < 10 || width > 14399 || height < 10 || height > 14399)
        return 0;
    s.pageWidth = width;
    s.pageHeight = height;
    endEnginePage(doc);
    if (text2 && strcasecmp(text2, "WhenPlaced") == 0) {
        s.page = PageSettings{};
        s.pagePending = true;
        return 1;
    }
    beginEnginePage(doc, width, height, 2);
    s.page = PageSettings{};
    if (!(text2 && strcasecmp(text2, "NoTextPos") == 0))
        pdf::setTextPosition(doc->pdf, s.page.textLeftMargin, height - s.page.textTopMargin);
    return 1;
}

int viewerPreferences(EngineSettings& s, int bits, int page)
{
    const int modes[] = {0x1, 0x2, 0x4, 0x8};
    for (int i = 0; i < 4; ++i)
        if (bits & modes[i])
            s.pageMode = i + 1;
    const int zooms[] = {0x40, 0x80, 0x100, 0x200};
    for (int i = 0; i < 4; ++i)
        if (bits & zooms[i])
            s.openZoom = i + 1;
    s.viewerFlags |= static_cast<unsigned>(bits) & 0x3F000u;
    s.openPage = page > 0 ? page : 1;
    return 1;
}

int rotation(EngineSettings& s, int angle)
{
    if (angle >= 46 && angle <= 135)
        s.rotation = 90;
    else if (angle >= 136 && angle <= 225)
        s.rotation = 180;
    else if (angle >= 226 && angle <= 315)
        s.rotation = 270;
    else
        s.rotation = 0;
    return 1;
}

int compression(EngineSettings& s, int imageClass, const char* name)
{
    if (imageClass < 1 || imageClass > 3)
        return 1;
    if (!name)
        return 0;
    static const char* const bilevel[] = {"lzw", "zip", "g3", "g4"};
    static const char* const other[] = {"lzw", "zip", "packbits", "jpeg", "jpg"};
    const char* const* names = imageClass == 1 ? bilevel : other;
    size_t count = imageClass == 1 ? 4 : 5;
    for (size_t i = 0; i < count; ++i) {
        if (strcasecmp(name, names[i]) == 0) {
            s.compression[imageClass - 1] = std::strcmp(names[i], "jpg") == 0 ? "jpeg" : names[i];
            return 1;
        }
    }
    return 0;
}

// The viewer settings reach the writer when they change, so the catalog is right at close.
void applyViewerSettings(EngineDocument* doc)
{
    const EngineSettings& s = doc->settings;
    pdf::setNumericParameter(doc->pdf, "pagemode", s.pageMode);
    pdf::setNumericParameter(doc->pdf, "openaction", s.openZoom);
    pdf::setNumericParameter(doc->pdf, "openpage", s.openPage);
    pdf::setNumericParameter(doc->pdf, "viewerprefs", s.viewerFlags);
}

} // namespace

int SetDocumentOption(DocHandle handle, int code, int a, int b, const char* text1, const char* text2)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc)
        return 0;
    EngineSettings& s = doc->settings;
    switch (code) {
    case kOptionFrameRange:
        return frameRange(s, a, b);
    case kOptionImagePlacement:
        return imagePlacement(s, a, b, text1, text2);
    case kOptionSecurity:
        return security(doc, a, b, text1, text2);
    case kOptionFont:
        return font(s, a, b, text1);
    case kOptionPageSize:
        return pageSize(doc, a, b, text2);
    case kOptionBookmarkText:
        if (!present(text1) || doc->mode == 1)
            return 0;
        s.pendingBookmark = cutUtf8(text1, 255);
        return 1;
    case kOptionProducer:
        if (present(text1))
            doc->pdf->producer = text1;
        return 0;
    case kOptionViewerPreferences:
        viewerPreferences(s, a, b);
        applyViewerSettings(doc);
        return 1;
    case kOptionPageRotation:
        return rotation(s, a);
    case kOptionCompression:
        return compression(s, a, text1);
    case kOptionSkewCorrection:
        s.skewCorrection = a >= 1;
        return 1;
    case kOptionJpegQuality:
        s.jpegQuality = a;
        return 1;
    case kOptionAutoOrient:
        s.autoOrient = a >= 1;
        return 1;
    case kOptionLossless:
        s.lossless = a >= 1;
        return 1;
    case kOptionSkewMethod:
        s.skewMethod = a == 0 ? 0 : 1;
        return 1;
    case kOptionTextRecognition: {
        std::string languages = present(text1) ? text1 : "eng";
        if (a >= 1 && !TextRecognitionProblem(languages).empty())
            return 0;
        s.textRecognition = a >= 1;
        s.textLanguages = languages;
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace folvane::engine
