// The document-wide settings a job sends to each output document it opens.

#include "jobs/conversion_job.h"

namespace folvane::jobs {

namespace {

// Compression texts of option 123 for colour and grayscale images, settings 1 to 4.
const char* const kContinuousToneCompression[] = {"lzw", "zip", "packbits", "jpeg"};
// The same for black/white images.
const char* const kBilevelCompression[] = {"lzw", "zip", "g3", "g4"};

// Image classes of option 123.
enum ImageClass : int { kBilevel = 1, kGray = 2, kColor = 3 };

void setCompression(engine::CEngineClient& engine, engine::DocHandle handle, int imageClass, int setting,
                    const char* const (&texts)[4])
{
    // 0 ("None") and values outside the list leave the engine's choice alone.
    if (setting < 1 || setting > 4)
        return;
    engine.SetDocumentOption(handle, engine::kOptionCompression, imageClass, 0, texts[setting - 1]);
}

// Key bits of option 105 for "level": 0 40-bit RC4, 1 128-bit RC4, 2 AES-128, 3 AES-256.
int securityKeyBits(int level)
{
    switch (level) {
    case 0:
        return 40;
    case 2:
        return engine::kSecurityAes + 128;
    case 3:
        return engine::kSecurityAes + 256;
    default:
        return 128;
    }
}

} // namespace

int viewerPreferenceBits(const app::OutputSettings& s)
{
    int bits = s.openPanel == app::OpenPanel::Bookmarks ? 0x2 : s.openPanel == app::OpenPanel::Thumbnails ? 0x4 : 0x1;
    bits += s.openZoom != app::OpenZoom::FitWidth ? 0x40 : 0x80;
    if (s.fitWindow == 1)
        bits += 0x8000;
    if (s.centerWindow == 1)
        bits += 0x10000;
    if (s.fullScreen == 1)
        bits += 0x8;
    if (s.hideMenubar == 1)
        bits += 0x2000;
    if (s.hideToolbar == 1)
        bits += 0x1000;
    if (s.hideWindowControls == 1)
        bits += 0x4000;
    return bits;
}

void applyDocumentSettings(engine::CEngineClient& engine, engine::DocHandle handle, const app::OutputSettings& s)
{
    setCompression(engine, handle, kColor, static_cast<int>(s.colorCompression), kContinuousToneCompression);
    setCompression(engine, handle, kGray, static_cast<int>(s.grayCompression), kContinuousToneCompression);
    setCompression(engine, handle, kBilevel, static_cast<int>(s.bwCompression), kBilevelCompression);
    engine.SetDocumentOption(handle, engine::kOptionJpegQuality, s.jpegQuality, 0);
    engine.SetDocumentOption(handle, engine::kOptionSkewCorrection, s.skewCorrection, 0);
    engine.SetDocumentOption(handle, engine::kOptionPageRotation, static_cast<int>(s.rotation) * 90, 0);
    engine.SetDocumentInfo(handle, s.title.c_str(), s.subject.c_str(), s.author.c_str(), s.keywords.c_str(),
                           s.creator.c_str());
    engine.SetDocumentOption(handle, engine::kOptionProducer, 0, 0,
                             s.producer.empty() ? kDefaultProducer : s.producer.c_str());
    if (s.securityOn == 1) {
        int permissions = (s.allowPrint == 1 ? 1 : 0) + (s.allowCopy == 1 ? 2 : 0) + (s.allowModify == 1 ? 4 : 0);
        engine.SetDocumentOption(handle, engine::kOptionSecurity, securityKeyBits(static_cast<int>(s.securityLevel)), permissions,
                                 s.ownerPassword.c_str(), s.userPassword.c_str());
    }
    engine.SetDocumentOption(handle, engine::kOptionViewerPreferences, viewerPreferenceBits(s), 0);
    // Image handling
    engine.SetDocumentOption(handle, engine::kOptionAutoOrient, s.autoOrient, 0);
    engine.SetDocumentOption(handle, engine::kOptionLossless, s.lossless, 0);
    engine.SetDocumentOption(handle, engine::kOptionSkewMethod, static_cast<int>(s.skewMethod), 0);
    if (s.recognizeText == 1)
        engine.SetDocumentOption(handle, engine::kOptionTextRecognition, 1, 0, s.recognitionLanguages.c_str());
}

} // namespace folvane::jobs
