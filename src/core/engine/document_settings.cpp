// The settings of a document: document-wide choices, and the page settings that return to their
// defaults whenever a page begins or ends.
#include "engine/engine.h"

#include <cstring>

#include "engine_document.h"
#include "pdf/fonts.h"
#include "pdf/outline.h"
#include "pdf/security.h"

namespace folvane::engine {

namespace {

// The first `limit` bytes of UTF-8 text, never ending inside a character.
std::string cutUtf8(const std::string& value, size_t limit)
{
    if (value.size() <= limit)
        return value;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    return value.substr(0, end);
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

void Document::setCompression(BilevelCompression compression)
{
    static const char* const names[] = {"lzw", "zip", "g3", "g4"};
    if (m_doc)
        m_doc->settings.compression[0] = names[static_cast<int>(compression)];
}

void Document::setGrayCompression(ToneCompression compression)
{
    static const char* const names[] = {"lzw", "zip", "packbits", "jpeg"};
    if (m_doc)
        m_doc->settings.compression[1] = names[static_cast<int>(compression)];
}

void Document::setColorCompression(ToneCompression compression)
{
    static const char* const names[] = {"lzw", "zip", "packbits", "jpeg"};
    if (m_doc)
        m_doc->settings.compression[2] = names[static_cast<int>(compression)];
}

void Document::setJpegQuality(int quality)
{
    if (m_doc)
        m_doc->settings.jpegQuality = quality;
}

void Document::setSkewCorrection(bool on)
{
    if (m_doc)
        m_doc->settings.skewCorrection = on;
}

void Document::setSkewRefinement(bool refined)
{
    if (m_doc)
        m_doc->settings.skewMethod = refined ? 1 : 0;
}

void Document::setPageRotation(int degrees)
{
    if (!m_doc)
        return;
    int& rotation = m_doc->settings.rotation;
    if (degrees >= 46 && degrees <= 135)
        rotation = 90;
    else if (degrees >= 136 && degrees <= 225)
        rotation = 180;
    else if (degrees >= 226 && degrees <= 315)
        rotation = 270;
    else
        rotation = 0;
}

void Document::setAutoOrient(bool on)
{
    if (m_doc)
        m_doc->settings.autoOrient = on;
}

bool Document::autoOrient() const
{
    return !m_doc || m_doc->settings.autoOrient;
}

void Document::setLossless(bool on)
{
    if (m_doc)
        m_doc->settings.lossless = on;
}

Result Document::setTextRecognition(bool on, const std::string& languages)
{
    if (!m_doc)
        return Result::failure(FailureCode::InvalidArgument, "the document is not open");
    std::string wanted = languages.empty() ? "eng" : languages;
    if (on) {
        std::string problem = textRecognitionProblem(wanted);
        if (!problem.empty())
            return Result::failure(FailureCode::Environment, problem);
    }
    m_doc->settings.textRecognition = on;
    m_doc->settings.textLanguages = wanted;
    return Result::success();
}

Result Document::setSecurity(const Security& security)
{
    if (!m_doc)
        return Result::failure(FailureCode::InvalidArgument, "the document is not open");
    EngineDocument* doc = m_doc.get();
    bool switchOff = security.level == Encryption::None;
    if (doc->mode == 1) {
        // An update keeps the file's own encryption. Pages added to a file without one would go
        // out unprotected although protection was asked for, so the whole append is refused.
        if (!switchOff && !doc->pdf->existing.encryption.encrypted) {
            doc->refusal = kReasonCannotAddSecurity;
            return Result::failure(FailureCode::Refused, kReasonCannotAddSecurity);
        }
        return Result::failure(FailureCode::Refused, "an update keeps the file's own security");
    }
    if (switchOff) {
        pdf::enableEncryption(doc->pdf, false, 0, 0, "", "");
        return Result::success();
    }
    // Permission bits counted from 1 as the PDF standard numbers them.
    auto bit = [](int n) { return 1u << (n - 1); };
    unsigned word = 0;
    if (security.allowPrint)
        word |= bit(3) | bit(12);
    if (security.allowCopy)
        word |= bit(5) | bit(10);
    if (security.allowChange)
        word |= bit(4) | bit(6) | bit(9) | bit(11);
    if (security.level == Encryption::Aes128 || security.level == Encryption::Aes256) {
        // UTF-8 passwords, converted and cut as the revision asks by the writer.
        pdf::enableAesEncryption(doc->pdf, word, security.level == Encryption::Aes128 ? 128 : 256,
                                 security.ownerPassword.c_str(), security.userPassword.c_str());
        return Result::success();
    }
    int keyLength = security.level == Encryption::Rc4_40 ? 5 : 16;
    std::string owner = security.ownerPassword.substr(0, 32);
    std::string user = security.userPassword.substr(0, 32);
    pdf::enableEncryption(doc->pdf, true, word, keyLength, owner.c_str(), user.c_str());
    return Result::success();
}

void Document::setViewerPreferences(const ViewerPreferences& preferences)
{
    if (!m_doc)
        return;
    EngineSettings& s = m_doc->settings;
    s.pageMode = static_cast<int>(preferences.pageMode);
    s.openZoom = static_cast<int>(preferences.openZoom);
    s.openPage = preferences.openPage > 0 ? preferences.openPage : 1;
    unsigned flags = 0;
    flags |= preferences.hideToolbar ? pdf::kHideToolbar : 0u;
    flags |= preferences.hideMenubar ? pdf::kHideMenubar : 0u;
    flags |= preferences.hideWindowControls ? pdf::kHideWindowControls : 0u;
    flags |= preferences.fitWindow ? pdf::kFitWindow : 0u;
    flags |= preferences.centerWindow ? pdf::kCenterWindow : 0u;
    s.viewerFlags = flags;
    applyViewerSettings(m_doc.get());
}

ViewerPreferences Document::viewerPreferences() const
{
    ViewerPreferences preferences;
    if (!m_doc)
        return preferences;
    const EngineSettings& s = m_doc->settings;
    preferences.pageMode = static_cast<PageMode>(s.pageMode);
    preferences.openZoom = static_cast<OpenZoom>(s.openZoom);
    preferences.openPage = s.openPage;
    preferences.hideToolbar = (s.viewerFlags & pdf::kHideToolbar) != 0;
    preferences.hideMenubar = (s.viewerFlags & pdf::kHideMenubar) != 0;
    preferences.hideWindowControls = (s.viewerFlags & pdf::kHideWindowControls) != 0;
    preferences.fitWindow = (s.viewerFlags & pdf::kFitWindow) != 0;
    preferences.centerWindow = (s.viewerFlags & pdf::kCenterWindow) != 0;
    return preferences;
}

void Document::setProducer(const std::string& producer)
{
    if (m_doc && !producer.empty())
        m_doc->pdf->producer = producer;
}

bool Document::beginPage(Size size, PageStart start)
{
    if (!m_doc)
        return false;
    if (size.width < 10 || size.width > 14399 || size.height < 10 || size.height > 14399)
        return false;
    EngineDocument* doc = m_doc.get();
    EngineSettings& s = doc->settings;
    s.pageWidth = size.width;
    s.pageHeight = size.height;
    endEnginePage(doc);
    s.page = PageSettings {};
    if (start == PageStart::WhenPlaced) {
        s.pagePending = true;
        return true;
    }
    beginEnginePage(doc, size.width, size.height, 2);
    if (start == PageStart::Now)
        pdf::setTextPosition(doc->pdf, s.page.textLeftMargin, size.height - s.page.textTopMargin);
    return true;
}

void Document::endPage()
{
    if (!m_doc)
        return;
    EngineSettings& s = m_doc->settings;
    if (s.pagePending && !s.pageOpen)
        s.pendingBookmark.clear(); // its page never began
    s.pagePending = false;
    endEnginePage(m_doc.get());
    s.page = PageSettings {};
}

bool Document::setFrameRange(int first, int count)
{
    if (!m_doc)
        return false;
    PageSettings& page = m_doc->settings.page;
    if (first >= 1 && count >= 1) {
        page.firstFrame = first;
        page.frameCount = count;
        return true;
    }
    if (first == 0 && count == 0) {
        page.firstFrame = 1;
        page.frameCount = 0;
        return true;
    }
    return false;
}

void Document::setPlacementBox(Box box)
{
    if (!m_doc)
        return;
    PageSettings& page = m_doc->settings.page;
    page.placeX = box.x;
    page.placeY = box.y;
    page.placeWidth = box.width;
    page.placeHeight = box.height;
}

bool Document::setBookmarkText(const std::string& text)
{
    if (!m_doc || text.empty() || m_doc->mode == 1)
        return false;
    m_doc->settings.pendingBookmark = cutUtf8(text, 255);
    return true;
}

bool Document::setFont(const std::string& name, int size)
{
    if (!m_doc || name.size() > 63)
        return false; // longer than any font name the engine keeps
    m_doc->settings.page.fontName = name;
    if (size > 0)
        m_doc->settings.page.fontSize = size;
    return true;
}

} // namespace folvane::engine
