#include "layout/document_settings.h"

namespace folvane::layout {

namespace {

// Settings 1..4 of the colour and grayscale compression; 0 ("None") and others leave the engine's.
bool toneCompression(app::Compression setting, engine::ToneCompression& out)
{
    switch (setting) {
    case app::Compression::Lzw: out = engine::ToneCompression::Lzw; return true;
    case app::Compression::Zip: out = engine::ToneCompression::Zip; return true;
    case app::Compression::PackBits: out = engine::ToneCompression::PackBits; return true;
    case app::Compression::Jpeg: out = engine::ToneCompression::Jpeg; return true;
    default: return false;
    }
}

bool bilevelCompression(app::BwCompression setting, engine::BilevelCompression& out)
{
    switch (setting) {
    case app::BwCompression::Lzw: out = engine::BilevelCompression::Lzw; return true;
    case app::BwCompression::Zip: out = engine::BilevelCompression::Zip; return true;
    case app::BwCompression::Group3: out = engine::BilevelCompression::Group3; return true;
    case app::BwCompression::Group4: out = engine::BilevelCompression::Group4; return true;
    default: return false;
    }
}

// A level outside the list is read as 128-bit RC4.
engine::Encryption encryptionFor(app::SecurityLevel level)
{
    switch (level) {
    case app::SecurityLevel::Rc4Bits40: return engine::Encryption::Rc4_40;
    case app::SecurityLevel::Aes128: return engine::Encryption::Aes128;
    case app::SecurityLevel::Aes256: return engine::Encryption::Aes256;
    default: return engine::Encryption::Rc4_128;
    }
}

} // namespace

engine::ViewerPreferences viewerPreferencesFor(const app::OutputSettings& s, engine::ViewerPreferences current)
{
    engine::ViewerPreferences v = current;
    v.pageMode = s.openPanel == app::OpenPanel::Bookmarks    ? engine::PageMode::Outlines
                 : s.openPanel == app::OpenPanel::Thumbnails ? engine::PageMode::Thumbnails
                                                             : engine::PageMode::PageOnly;
    if (s.fullScreen == 1)
        v.pageMode = engine::PageMode::FullScreen;
    v.openZoom = s.openZoom == app::OpenZoom::FitWidth ? engine::OpenZoom::FitWidth : engine::OpenZoom::FitPage;
    v.fitWindow = v.fitWindow || s.fitWindow == 1;
    v.centerWindow = v.centerWindow || s.centerWindow == 1;
    v.hideMenubar = v.hideMenubar || s.hideMenubar == 1;
    v.hideToolbar = v.hideToolbar || s.hideToolbar == 1;
    v.hideWindowControls = v.hideWindowControls || s.hideWindowControls == 1;
    v.openPage = 1;
    return v;
}

void applyDocumentSettings(engine::Document& document, const app::OutputSettings& s)
{
    engine::ToneCompression tone;
    if (toneCompression(s.colorCompression, tone))
        document.setColorCompression(tone);
    if (toneCompression(s.grayCompression, tone))
        document.setGrayCompression(tone);
    engine::BilevelCompression bilevel;
    if (bilevelCompression(s.bwCompression, bilevel))
        document.setCompression(bilevel);
    document.setJpegQuality(s.jpegQuality);
    document.setSkewCorrection(s.skewCorrection >= 1);
    document.setPageRotation(static_cast<int>(s.rotation) * 90);
    document.setInfo(engine::DocumentInfo {s.title, s.subject, s.author, s.keywords, s.creator});
    document.setProducer(s.producer.empty() ? kDefaultProducer : s.producer);
    if (s.securityOn == 1) {
        engine::Security security;
        security.level = encryptionFor(s.securityLevel);
        security.ownerPassword = s.ownerPassword;
        security.userPassword = s.userPassword;
        security.allowPrint = s.allowPrint == 1;
        security.allowCopy = s.allowCopy == 1;
        security.allowChange = s.allowModify == 1;
        // An update refuses security: the refusal is the document's appendRefusal, which the
        // job reports for the images it then fails.
        (void)document.setSecurity(security);
    }
    document.setViewerPreferences(viewerPreferencesFor(s, document.viewerPreferences()));
    document.setAutoOrient(s.autoOrient >= 1);
    document.setLossless(s.lossless >= 1);
    document.setSkewRefinement(s.skewMethod != app::SkewMethod::FirstEstimate);
    // A language that is not installed leaves the pictures without a text layer.
    if (s.recognizeText == 1)
        (void)document.setTextRecognition(true, s.recognitionLanguages);
}

} // namespace folvane::layout
