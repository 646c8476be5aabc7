// The integer protocol over engine::Document: the handle table, the option and query codes with
// their (a, b, text1, text2) decoding and refusals, and the reasons of the last failures per
// thread.
#include "engine_protocol.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <strings.h>

namespace folvane::engine {

namespace {

// The table guards its slots only: taking a slot and emptying it happen under g_tableMutex, a
// lookup takes it for the read of the slot. A document is used by one thread at a time, so the
// operations on it run without the lock (see Document).
std::mutex g_tableMutex;
std::array<std::unique_ptr<Document>, kMaxDocuments> g_table;

thread_local std::string t_appendRefusal;
thread_local std::string t_imageFailure;
thread_local TextLayerReport t_textLayer;

Document* lookup(DocHandle handle)
{
    if (handle < 1 || handle > kMaxDocuments)
        return nullptr;
    std::lock_guard lock(g_tableMutex);
    return g_table[static_cast<size_t>(handle - 1)].get();
}

bool tableFull()
{
    std::lock_guard lock(g_tableMutex);
    for (const auto& slot : g_table)
        if (!slot)
            return false;
    return true;
}

// Stores an open document in the lowest free slot; 0 (and the document dropped unwritten) when
// every slot is taken.
DocHandle store(Document document)
{
    std::lock_guard lock(g_tableMutex);
    for (size_t i = 0; i < g_table.size(); ++i) {
        if (!g_table[i]) {
            g_table[i] = std::make_unique<Document>(std::move(document));
            return static_cast<DocHandle>(i + 1);
        }
    }
    return 0;
}

void drop(DocHandle handle)
{
    std::unique_ptr<Document> gone;
    std::lock_guard lock(g_tableMutex);
    gone = std::move(g_table[static_cast<size_t>(handle - 1)]);
}

bool present(const char* text)
{
    return text && *text;
}

std::string text(const char* value)
{
    return value ? std::string(value) : std::string();
}

// Standard font named by a font code (100-103, 200-203, 300-303, 400, 500; 2 and 3 name two
// further fixed fonts); null for a code that names no font.
const char* standardFontForCode(int code)
{
    switch (code) {
    case 2: return "Times-Roman";
    case 3: return "Courier";
    case 100: return "Helvetica";
    case 101: return "Helvetica-Bold";
    case 102: return "Helvetica-Oblique";
    case 103: return "Helvetica-BoldOblique";
    case 200: return "Times-Roman";
    case 201: return "Times-Bold";
    case 202: return "Times-Italic";
    case 203: return "Times-BoldItalic";
    case 300: return "Courier";
    case 301: return "Courier-Bold";
    case 302: return "Courier-Oblique";
    case 303: return "Courier-BoldOblique";
    case 400: return "Symbol";
    case 500: return "ZapfDingbats";
    default: return nullptr;
    }
}

int security(Document& doc, int bits, int permissions, const char* owner, const char* user)
{
    Security security;
    bool switchOff = bits == 0 && permissions == 0 && !present(owner) && !present(user);
    if (switchOff)
        security.level = Encryption::None;
    else if (bits & kSecurityAes)
        security.level = (bits & ~kSecurityAes) == 128 ? Encryption::Aes128 : Encryption::Aes256;
    else
        security.level = bits == 5 || bits == 40 ? Encryption::Rc4_40 : Encryption::Rc4_128;
    security.allowPrint = (permissions & 1) != 0;
    security.allowCopy = (permissions & 2) != 0;
    security.allowChange = (permissions & 4) != 0;
    security.ownerPassword = text(owner);
    security.userPassword = text(user);
    return doc.setSecurity(security).ok ? 1 : 0;
}

int pageSize(Document& doc, int width, int height, const char* text2)
{
    if (width == 0) {
        if (height != 0)
            return 0;
        doc.endPage();
        return 1;
    }
    PageStart start = PageStart::Now;
    if (text2 && strcasecmp(text2, "WhenPlaced") == 0)
        start = PageStart::WhenPlaced;
    else if (text2 && strcasecmp(text2, "NoTextPos") == 0)
        start = PageStart::NowWithoutTextPosition;
    return doc.beginPage(Size {width, height}, start) ? 1 : 0;
}

// Bits 0x1, 0x2, 0x4 and 0x8 choose the page mode (the highest wins), 0x40 and 0x80 the zoom,
// 0x1000..0x10000 add viewer flags to those already set; b is the page to open at.
int viewerPreferences(Document& doc, int bits, int page)
{
    ViewerPreferences preferences = doc.viewerPreferences();
    const PageMode modes[] = {PageMode::PageOnly, PageMode::Outlines, PageMode::Thumbnails, PageMode::FullScreen};
    for (int i = 0; i < 4; ++i)
        if (bits & (1 << i))
            preferences.pageMode = modes[i];
    // 0x100 and 0x200 name zooms the writer does not know: the zoom stays as it was.
    if (bits & 0x40)
        preferences.openZoom = OpenZoom::FitPage;
    if (bits & 0x80)
        preferences.openZoom = OpenZoom::FitWidth;
    preferences.hideToolbar = preferences.hideToolbar || (bits & 0x1000);
    preferences.hideMenubar = preferences.hideMenubar || (bits & 0x2000);
    preferences.hideWindowControls = preferences.hideWindowControls || (bits & 0x4000);
    preferences.fitWindow = preferences.fitWindow || (bits & 0x8000);
    preferences.centerWindow = preferences.centerWindow || (bits & 0x10000);
    preferences.openPage = page > 0 ? page : 1;
    doc.setViewerPreferences(preferences);
    return 1;
}

int compression(Document& doc, int imageClass, const char* name)
{
    if (imageClass < 1 || imageClass > 3)
        return 1;
    if (!name)
        return 0;
    if (imageClass == 1) {
        const std::pair<const char*, BilevelCompression> names[] = {{"lzw", BilevelCompression::Lzw},
                                                                    {"zip", BilevelCompression::Zip},
                                                                    {"g3", BilevelCompression::Group3},
                                                                    {"g4", BilevelCompression::Group4}};
        for (const auto& [word, value] : names) {
            if (strcasecmp(name, word) == 0) {
                doc.setCompression(value);
                return 1;
            }
        }
        return 0;
    }
    const std::pair<const char*, ToneCompression> names[] = {
        {"lzw", ToneCompression::Lzw}, {"zip", ToneCompression::Zip}, {"packbits", ToneCompression::PackBits},
        {"jpeg", ToneCompression::Jpeg}, {"jpg", ToneCompression::Jpeg}};
    for (const auto& [word, value] : names) {
        if (strcasecmp(name, word) == 0) {
            if (imageClass == 2)
                doc.setGrayCompression(value);
            else
                doc.setColorCompression(value);
            return 1;
        }
    }
    return 0;
}

int font(Document& doc, int code, int size, const char* name)
{
    if (code == 1 && name)
        return doc.setFont(name, size) ? 1 : 0;
    const char* standard = standardFontForCode(code);
    return doc.setFont(standard ? standard : "Helvetica", size) ? 1 : 0;
}

void storeSlot(intptr_t slot, int value)
{
    // A slot carries an output address only when it is above 1000; small values mean no output.
    if (slot > 1000)
        *reinterpret_cast<int*>(slot) = value;
}

// Queries 250 and 251: the widest line of the text, or the height of its lines.
int textMetric(const Document& doc, int code, long fontCode, long size, const char* value)
{
    if (!present(value) || size < 0)
        return 0;
    std::string name;
    if (fontCode != 0) {
        const char* standard = standardFontForCode(static_cast<int>(fontCode));
        if (!standard)
            return 0;
        name = standard;
    }
    if (code == kQueryTextHeight)
        return doc.textHeight(value, static_cast<int>(size));
    return doc.textWidth(value, name, static_cast<int>(size));
}

} // namespace

Document* DocumentOf(DocHandle handle)
{
    return lookup(handle);
}

DocHandle CreateDocument(const std::string& path)
{
    return CreateDocument(path, NamingRule {});
}

DocHandle CreateDocument(const std::string& path, const NamingRule& naming)
{
    if (tableFull())
        return 0;
    Opened opened = Document::create(path, naming);
    return opened.status.ok ? store(std::move(opened.document)) : 0;
}

std::string LastAppendRefusal()
{
    return t_appendRefusal;
}

DocHandle OpenDocumentForAppend(const std::string& path)
{
    t_appendRefusal.clear();
    // The table is checked first: an update once opened cannot be dropped without writing it.
    if (path.empty() || tableFull())
        return 0;
    Opened opened = Document::openForAppend(path);
    if (!opened.status.ok) {
        if (opened.status.code == FailureCode::Refused)
            t_appendRefusal = opened.status.detail;
        return 0;
    }
    t_appendRefusal = opened.document.appendRefusal();
    return store(std::move(opened.document));
}

int CloseDocument(DocHandle handle)
{
    Document* doc = lookup(handle);
    if (!doc)
        return 0;
    bool written = doc->close().ok;
    drop(handle);
    return written ? 1 : 0;
}

int DiscardDocument(DocHandle handle)
{
    Document* doc = lookup(handle);
    if (!doc || !doc->discard())
        return 0;
    drop(handle);
    return 1;
}

int SetDocumentOption(DocHandle handle, int code, int a, int b, const char* text1, const char* text2)
{
    Document* found = lookup(handle);
    if (!found)
        return 0;
    Document& doc = *found;
    switch (code) {
    case kOptionFrameRange:
        return doc.setFrameRange(a, b) ? 1 : 0;
    case kOptionImagePlacement:
        doc.setPlacementBox(Box {a, b, text1 ? std::atoi(text1) : 0, text2 ? std::atoi(text2) : 0});
        return 1;
    case kOptionSecurity:
        return security(doc, a, b, text1, text2);
    case kOptionFont:
        return font(doc, a, b, text1);
    case kOptionPageSize:
        return pageSize(doc, a, b, text2);
    case kOptionBookmarkText:
        return doc.setBookmarkText(text(text1)) ? 1 : 0;
    case kOptionProducer:
        doc.setProducer(text(text1));
        return 0;
    case kOptionViewerPreferences:
        return viewerPreferences(doc, a, b);
    case kOptionPageRotation:
        doc.setPageRotation(a);
        return 1;
    case kOptionCompression:
        return compression(doc, a, text1);
    case kOptionSkewCorrection:
        doc.setSkewCorrection(a >= 1);
        return 1;
    case kOptionJpegQuality:
        doc.setJpegQuality(a);
        return 1;
    case kOptionAutoOrient:
        doc.setAutoOrient(a >= 1);
        return 1;
    case kOptionLossless:
        doc.setLossless(a >= 1);
        return 1;
    case kOptionSkewMethod:
        doc.setSkewRefinement(a != 0);
        return 1;
    case kOptionTextRecognition:
        return doc.setTextRecognition(a >= 1, text(text1)).ok ? 1 : 0;
    default:
        return 0;
    }
}

int QueryDocument(DocHandle handle, int code, intptr_t out1, intptr_t out2, const char* text1, const char* text2)
{
    const Document* doc = lookup(handle);
    if (code == kQueryFrameCount || code == kQueryPixelSize) {
        if (!present(text1))
            return 0;
        int frame = present(text2) ? std::atoi(text2) : 1;
        ImageProbe probe = probeImage(text1, frame, doc ? doc->autoOrient() : true);
        if (code == kQueryFrameCount)
            return probe.frames;
        if (probe.width <= 0)
            return 0;
        storeSlot(out1, probe.width);
        storeSlot(out2, probe.height);
        return probe.width;
    }
    if (!doc)
        return 0;
    if (code == kQueryTextWidth || code == kQueryTextHeight)
        return textMetric(*doc, code, static_cast<long>(out1), static_cast<long>(out2), text1);
    return 0;
}

int SetDocumentInfo(DocHandle handle, const char* title, const char* subject, const char* author,
                    const char* keywords, const char* creator)
{
    Document* doc = lookup(handle);
    if (!doc)
        return 0;
    doc->setInfo(DocumentInfo {text(title), text(subject), text(author), text(keywords), text(creator)});
    return 1;
}

ImageAdded AddImage(DocHandle handle, const std::string& path)
{
    Document* doc = lookup(handle);
    if (!doc) {
        ImageAdded none;
        none.status = Result::failure(FailureCode::InvalidArgument, "the PDF file could not be created or opened for appending");
        return none;
    }
    return doc->addImage(path);
}

int AddImageFile(DocHandle handle, const std::string& path)
{
    t_imageFailure.clear();
    t_textLayer = TextLayerReport {};
    if (!lookup(handle) || path.empty())
        return 0;
    ImageAdded added = AddImage(handle, path);
    t_textLayer = added.textLayer;
    if (added.status.ok)
        return 1;
    t_imageFailure = added.status.detail;
    if (added.converterError < 0)
        return added.converterError;
    return added.status.code == FailureCode::OutOfRange ? -1 : 0;
}

std::string LastImageFailure()
{
    return t_imageFailure;
}

TextLayerReport LastTextLayer()
{
    return t_textLayer;
}

int DrawText(DocHandle handle, int x, int y, const char* value, unsigned color)
{
    Document* doc = lookup(handle);
    return doc && value && doc->drawText(x, y, value, color) ? 1 : 0;
}

int DrawLine(DocHandle handle, int x1, int y1, int x2, int y2, int width, unsigned color)
{
    Document* doc = lookup(handle);
    return doc && doc->drawLine(x1, y1, x2, y2, width, color) ? 1 : 0;
}

} // namespace folvane::engine
