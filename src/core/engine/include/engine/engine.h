#pragma once
// The conversion engine: the only way the application produces PDF files.
//
// A Document is one output PDF while it is written. It owns its writer, its temporary file and
// its settings; it is move-only and belongs to one thread at a time (distinct documents may be
// used on different threads at once). Destroying a document that was neither closed nor
// discarded discards it (a new file is dropped unwritten, an update leaves the file as it was).
//
// Coordinates are PDF points from the page's top-left corner, y growing downwards. Colours are
// 24-bit values 0x00BBGGRR (red in the low byte). Texts are UTF-8. No call throws: failures come
// back as a Result (base/result.h) that carries the reason a user reads, or as false/0 where the
// only cause is a value out of range.

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/temporary_output.h"

namespace folvane::engine {

struct EngineDocument;

// Compression of black-and-white pictures that are not JPEG data.
enum class BilevelCompression { Lzw, Zip, Group3, Group4 };
// Compression of grayscale and colour pictures that are not JPEG data.
enum class ToneCompression { Lzw, Zip, PackBits, Jpeg };

enum class Encryption { None, Rc4_40, Rc4_128, Aes128, Aes256 };

// Password security of a new file. Level None switches security off.
struct Security {
    Encryption level = Encryption::None;
    std::string ownerPassword; // RC4 keeps the first 32 bytes
    std::string userPassword;
    bool allowPrint = false;
    bool allowCopy = false;
    bool allowChange = false;
};

enum class PageMode { NotSet, PageOnly, Outlines, Thumbnails, FullScreen };
enum class OpenZoom { NotSet, FitPage, FitWidth };

// How a viewer shows the file when it opens it.
struct ViewerPreferences {
    PageMode pageMode = PageMode::NotSet;
    OpenZoom openZoom = OpenZoom::NotSet;
    int openPage = 1;          // 1-based
    bool hideToolbar = false;
    bool hideMenubar = false;
    bool hideWindowControls = false;
    bool fitWindow = false;
    bool centerWindow = false;
};

// Document information; empty fields are left out.
struct DocumentInfo {
    std::string title;
    std::string subject;
    std::string author;
    std::string keywords;
    std::string creator;
};

struct Size {
    int width = 0;
    int height = 0;
};

// The box the next pictures are drawn into, top-left corner and size. A width or height of 0
// keeps the picture's own length on that side (a pixel a point); a negative one mirrors it.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// How a page begun with beginPage starts.
enum class PageStart {
    Now,                    // at once, text position at the top-left margins
    NowWithoutTextPosition, // at once, the text position left where it was
    WhenPlaced,             // when a picture is placed, so an unreadable one leaves no empty page
};

// What text recognition did for the frames of one addImage call: the frames it read, those whose
// recognition failed (their pictures stay, without text) with the first failure's reason, and
// the time it took. All zero when recognition is off.
struct TextLayerReport {
    int frames = 0;
    int failed = 0;
    double seconds = 0;
    std::string failure;
};

// The outcome of addImage: ok, or the cause ("image data damaged or unreadable", "cannot write
// temporary files in /tmp: No space left on device", an append refusal ...), with the pages the
// call began and what text recognition did.
struct ImageAdded {
    Result status;
    int pages = 0;          // pages the call began (0 when it placed on a page begun before)
    int converterError = 0; // the external converter's own error number (below 0) when it failed
    TextLayerReport textLayer;
};

// The outcome of opening a document (see Document::create and openForAppend).
struct Opened;

class Document {
public:
    Document();
    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;
    ~Document();

    // A new PDF at `path` ("-" = standard output), written under a temporary name and given its
    // name by `naming` when closed. Fails (WriteFailed, "the PDF file could not be created or
    // opened for appending") when the path is empty, already open in another document (letter
    // case ignored), or cannot be created.
    static Opened create(const std::string& path, const NamingRule& naming = {});

    // An existing PDF to which pages are added by an incremental update. Fails with Refused and
    // the reason for a file the reader does not accept ("not a PDF", "encrypted with a user
    // password" ...), with WriteFailed for an empty path, a path already open or a file that
    // cannot be opened; the file is never changed by a failed open. A file whose permissions forbid adding pages opens, but refused:
    // addImage then fails with appendRefusal() and close() leaves the file as it was.
    static Opened openForAppend(const std::string& path);

    bool isOpen() const { return m_doc != nullptr; }
    bool appending() const;
    const std::string& path() const;
    // Why the pages of this update will not be added ("the PDF file's permissions do not allow
    // adding pages", "cannot add password security to an existing PDF"); empty when they will.
    const std::string& appendRefusal() const;

    // ---- document-wide settings (all ignored by a closed document) ----
    void setCompression(BilevelCompression compression);
    void setGrayCompression(ToneCompression compression);
    void setColorCompression(ToneCompression compression);
    // 1..100 for pictures the engine codes as JPEG; anything else keeps the source's quality.
    void setJpegQuality(int quality);
    // Straightening of black-and-white scans: on or off, and whether the first skew estimate is
    // refined (finer, slower; the default) or used as it is.
    void setSkewCorrection(bool on);
    void setSkewRefinement(bool refined);
    // Degrees of every page begun afterwards, rounded to a quarter turn.
    void setPageRotation(int degrees);
    // Photos shown upright by their EXIF orientation (the default) or as stored.
    void setAutoOrient(bool on);
    bool autoOrient() const;
    // Pictures not JPEG already are kept exactly (Deflate) instead of coded as JPEG.
    void setLossless(bool on);
    // An invisible text layer over every picture in `languages` ("eng", "deu+eng"; empty =
    // "eng"). Fails with the reason when a language is not installed; recognition stays as it was.
    Result setTextRecognition(bool on, const std::string& languages = {});
    // Fails for an update: a file without security refuses the whole append (appendRefusal),
    // one with security keeps its own.
    Result setSecurity(const Security& security);
    void setViewerPreferences(const ViewerPreferences& preferences);
    ViewerPreferences viewerPreferences() const;
    void setInfo(const DocumentInfo& info);
    void setProducer(const std::string& producer);

    // ---- pages ----
    // Ends the open page and begins one of `size` (10..14399 points each); false when out of range.
    bool beginPage(Size size, PageStart start = PageStart::Now);
    // Ends the open page: the next picture makes a page of its own size. Page settings (font,
    // frame range, placement) return to their defaults.
    void endPage();
    // The frames the next addImage takes: `count` from `first` (1-based); (0, 0) every frame.
    bool setFrameRange(int first, int count);
    void setPlacementBox(Box box);
    // The outline entry of the page open or begun next (at most 255 bytes kept). Ignored for
    // an update; false for an empty text.
    bool setBookmarkText(const std::string& text);
    // Font of the texts drawn on this page: a standard PDF font name ("Helvetica", the default)
    // or an installed font; `size` 0 keeps the current size. False for a name longer than 63
    // bytes; a name that names no font makes drawText fail.
    bool setFont(const std::string& name, int size = 0);

    // Places every selected frame of an image file on the page (or on pages of its own size).
    ImageAdded addImage(const std::string& path);
    // A hint that the image at `path` is likely added next: the document may start reading it on
    // another core. Harmless when it is not added, or when the file changes before it is.
    void expectImage(const std::string& path);

    // Draws text (lines separated by "\n") with its first line's top-left at (x, y), or where the
    // last text ended for (-1, -1) or a zero coordinate. False for other negative positions or a
    // font that cannot be loaded.
    bool drawText(int x, int y, const std::string& text, unsigned color);
    // Draws a line; coordinates 0..11399, width 1..1000; false outside those.
    bool drawLine(int x1, int y1, int x2, int y2, int width, unsigned color);
    // Width of the widest line and height of the lines of `text` in `font` (empty: the current
    // one) at `size` (0: the current one); 0 for an empty text or an unknown font.
    int textWidth(const std::string& text, const std::string& font = {}, int size = 0) const;
    int textHeight(const std::string& text, int size = 0) const;

    // Ends the open page, writes the file and gives it its name; the document is closed after
    // it either way. Fails with WriteFailed "the PDF file could not be written" (a new file is
    // then not given its name, an update is cut back to the original bytes), with Refused and
    // the refusal of an update that may not add pages (the file stays as it was), or with
    // InvalidArgument for a document that is not open.
    Result close();
    // Drops a new document unwritten: whatever lies under its name stays. False (and the
    // document stays open) for an update or a file written directly (standard output, a device).
    bool discard();

private:
    friend EngineDocument* recordOf(const Document& document);
    explicit Document(std::unique_ptr<EngineDocument> doc);
    void release();
    void abandon();

    std::unique_ptr<EngineDocument> m_doc;
};

// On success `document` is open and belongs to the caller, who closes or discards it (or lets
// it go, which discards it); on failure it is not open and `status` says why, in words a user
// reads.
struct Opened {
    Document document; // open exactly when status.ok
    Result status;
};

// What an image file is, as far as the engine reads it. `frames` 0 with a failed status for a
// file it cannot read ("not a readable image"); width and height 0 when the size is unknown
// (formats only the external converter reads may not tell).
struct ImageProbe {
    Result status;
    int format = -1;       // the codec's format id; -1 unknown
    std::string formatName; // "JPEG", "TIFF" ...; empty when unknown
    int frames = 0;
    int width = 0;
    int height = 0;
};

// Probes `path`; the size is that of `frame` (1-based), as shown upright when `autoOrient`.
ImageProbe probeImage(const std::string& path, int frame = 1, bool autoOrient = true);

// The text recognition languages installed (Tesseract data files), sorted; "osd" and "equ",
// which are no languages, are left out.
std::vector<std::string> installedTextLanguages();

// Empty when text recognition can run with `languages` ("eng", "deu+eng"); otherwise the reason:
// the recognition module or a library it needs is missing (named), or a language is not
// installed (named with the Debian package that brings it). Loads the recognition module.
std::string textRecognitionProblem(const std::string& languages);

} // namespace folvane::engine
