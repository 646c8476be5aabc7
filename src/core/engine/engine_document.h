#pragma once
// Engine-internal: the record behind a Document (the writer's document plus the engine's own
// per-document settings) and the helpers the engine's files share.

#include <memory>
#include <string>

#include "codec/stored_frame_checks.h"
#include "engine/temporary_output.h"
#include "pdf/document.h"

namespace folvane::engine {

// Settings that return to their defaults whenever a page is begun or ended (and at close).
struct PageSettings {
    std::string fontName = "Helvetica";
    std::string fontEncoding;              // empty: the host ANSI encoding
    int fontSize = 16;
    int textLeftMargin = 64;
    int textTopMargin = 64;
    int firstFrame = 1;
    int frameCount = 0;                    // 0 = all frames
    int placeX = 0, placeY = 0, placeWidth = 0, placeHeight = 0;
};

struct EngineSettings {
    std::string outputPath;
    int pageWidth = 594;
    int pageHeight = 792;
    bool pageOpen = false;
    int pageKind = 0;                      // 1 image-sized, 2 page size or text, 3 line
    // A page of pageWidth x pageHeight asked for with "WhenPlaced": it begins when a picture is
    // placed, so a picture that cannot be read leaves no empty page behind.
    bool pagePending = false;
    std::string pendingBookmark;           // at most 255 bytes
    PageSettings page;
    std::string compression[3];            // black-and-white, grayscale, colour
    int jpegQuality = 0;                   // 0 = unset
    bool skewCorrection = false;
    // Photos shown upright by their EXIF orientation (JPEG, PNG eXIf).
    bool autoOrient = true;
    // Pictures that are not JPEG data already are kept exactly (Deflate) instead of JPEG coded.
    bool lossless = false;
    // 0 the first skew estimate, 1 refined by a projection profile search around it.
    int skewMethod = 1;
    int rotation = 0;
    int pageMode = 0, openZoom = 0, openPage = 1;
    unsigned viewerFlags = 0;
    bool textRecognition = false;          // an invisible text layer over every picture
    std::string textLanguages = "eng";
};

struct EngineDocument {
    pdf::PdfDocument* pdf = nullptr;
    EngineSettings settings;
    int mode = 0;                          // 0 new file, 1 appending
    // Set for an append that must not happen (kReasonAppendNotPermitted or
    // kReasonCannotAddSecurity): nothing is added and the file is left as it was.
    std::string refusal;
    // Distinguishes the temporary file names of documents converting at the same time.
    int tag = 0;
    std::unique_ptr<TemporaryOutput> temporary; // a new file until it is complete and named
    NamingRule naming;                     // how the complete new file takes its name
    // Resolution recorded in the image file addImage is reading (dots per inch, 0 unknown):
    // its prepared copies may have lost it, and text recognition needs it.
    double sourceDpi = 0;
    // Stored Group 4 frames checked ahead on another core; made when first needed.
    std::unique_ptr<codec::StoredFrameChecks> storedChecks;
};

class Document;
// The record behind an open document (null for a closed one); for the engine's own files and
// tests of its state.
EngineDocument* recordOf(const Document& document);

inline constexpr const char* kReasonCannotAddSecurity = "cannot add password security to an existing PDF";
inline constexpr const char* kReasonAppendNotPermitted = "the PDF file's permissions do not allow adding pages";

// Ends the open page: the pending bookmark becomes an outline entry first.
void endEnginePage(EngineDocument* doc);
// Begins a page of the given size and records who began it.
void beginEnginePage(EngineDocument* doc, double width, double height, int kind);

// Registers and selects the font of the page settings at `size`; returns the font index or -1.
int selectEngineFont(EngineDocument* doc, const std::string& name, double size, bool select);

} // namespace folvane::engine
