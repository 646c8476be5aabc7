// Opening, closing and discarding documents, and the record of the output paths open.
#include "engine/engine.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine_document.h"
#include "intake.h"
#include "text_layer.h"
#include "pdf/fonts.h"
#include "pdf/outline.h"

namespace folvane::engine {

namespace {

// The output paths of the open documents are the engine's only shared record: two documents
// must never write the same file. g_openMutex guards it; registering a path (with the check that
// no open document has it) and removing it happen under it, so documents may be opened and
// closed on several threads at once.
//
// A document belongs to the thread using it: every other operation runs without a lock. Other
// threads read no more of it than its output path, which never changes while it is open.
// Everything below a document (the writer, the image intake, the codec layer, the skew
// correction) keeps its state in the document or on the stack. The shared pieces are made for
// several threads: the external converter is loaded once under its own lock and its entry read
// atomically, temporary files are unnamed or get unique names, the codec libraries get their
// error handlers per call (libjpeg, libpng, libtiff open options), times are formatted with
// localtime_r and gmtime_r, and numbers without the C locale.
std::mutex g_openMutex;
std::set<EngineDocument*> g_open;
std::atomic<int> g_nextTag {1};

// The engine ignores the writer's reports; a failed final write shows in closePdfDocument.
void ignoreWriterError(pdf::PdfDocument*, int, const char*) {}

bool pathInUse(const std::string& path)
{
    return std::any_of(g_open.begin(), g_open.end(), [&](const EngineDocument* doc) {
        return strcasecmp(doc->settings.outputPath.c_str(), path.c_str()) == 0;
    });
}

// Where a finished new file is renamed to: the path itself (a link that leads nowhere included,
// which the file then replaces), or the file a symbolic link points at. Empty when the file must
// be written directly: standard output, or an existing target that is not a regular file (a
// device or a pipe must never be replaced by a file).
std::string publishTarget(const std::string& path)
{
    if (path == "-")
        return {};
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return path;
    if (S_ISLNK(info.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved)
            return path; // a dangling link is replaced itself; its target is never created
        std::string target = resolved;
        std::free(resolved);
        if (::stat(target.c_str(), &info) != 0)
            return {};
        return S_ISREG(info.st_mode) ? target : std::string();
    }
    return S_ISREG(info.st_mode) ? path : std::string();
}

Result notOpened(std::string detail = "the PDF file could not be created or opened for appending")
{
    return Result::failure(FailureCode::WriteFailed, std::move(detail));
}

// Takes `path` for a new document; false when an open document has it already.
bool registerPath(EngineDocument* doc, const std::string& path)
{
    std::lock_guard lock(g_openMutex);
    if (pathInUse(path))
        return false;
    doc->settings.outputPath = path;
    g_open.insert(doc);
    return true;
}

// A record taking `path` for a new document; null when the path is empty or an open document
// has it already.
std::unique_ptr<EngineDocument> registeredRecord(const std::string& path)
{
    if (path.empty())
        return nullptr;
    auto doc = std::make_unique<EngineDocument>();
    if (!registerPath(doc.get(), path))
        return nullptr;
    return doc;
}

// A PDF writer whose errors show in its results alone.
pdf::PdfDocument* newWriter()
{
    pdf::PdfHooks hooks;
    hooks.error = ignoreWriterError;
    return pdf::newPdfDocument(hooks);
}

void unregister(EngineDocument* doc)
{
    std::lock_guard lock(g_openMutex);
    g_open.erase(doc);
}

} // namespace

Document::Document() = default;
Document::Document(std::unique_ptr<EngineDocument> doc) : m_doc(std::move(doc)) {}
Document::Document(Document&&) noexcept = default;

Document& Document::operator=(Document&& other) noexcept
{
    if (this != &other) {
        abandon();
        m_doc = std::move(other.m_doc);
    }
    return *this;
}

Document::~Document()
{
    abandon();
}

void Document::abandon()
{
    // Never written by accident: a new file is dropped, an update left as the file was.
    if (!m_doc)
        return;
    if (m_doc->mode == 1)
        pdf::abandonAppend(m_doc->pdf);
    pdf::freePdfDocument(m_doc->pdf);
    if (m_doc->temporary)
        m_doc->temporary->discard();
    release();
}

void Document::release()
{
    unregister(m_doc.get());
    m_doc.reset();
}

EngineDocument* recordOf(const Document& document)
{
    return document.m_doc.get();
}

bool Document::appending() const
{
    return m_doc && m_doc->mode == 1;
}

const std::string& Document::path() const
{
    static const std::string none;
    return m_doc ? m_doc->settings.outputPath : none;
}

const std::string& Document::appendRefusal() const
{
    static const std::string none;
    return m_doc ? m_doc->refusal : none;
}

Opened Document::create(const std::string& path, const NamingRule& naming)
{
    std::unique_ptr<EngineDocument> record = registeredRecord(path);
    if (!record)
        return {Document(), notOpened()};
    Document document(std::move(record));
    EngineDocument* d = document.m_doc.get();
    pdf::PdfDocument* writer = newWriter();
    if (!writer) {
        document.release();
        return {Document(), notOpened()};
    }
    // A new file is written as a temporary file beside its final name and receives the name when
    // it is complete, so an interrupted conversion never leaves a half-written PDF under it (and,
    // where the file system allows unnamed files, nothing at all).
    std::string target = path;
    std::string finalPath = publishTarget(path);
    if (!finalPath.empty()) {
        d->temporary = std::make_unique<TemporaryOutput>();
        target = d->temporary->create(finalPath) ? d->temporary->writePath() : std::string();
    }
    if (target.empty() || pdf::openOutput(writer, target) != 1) {
        pdf::freePdfDocument(writer);
        document.release(); // the temporary file goes with the record
        return {Document(), notOpened()};
    }
    d->pdf = writer;
    d->naming = naming;
    d->tag = g_nextTag++;
    return {std::move(document), Result::success()};
}

Opened Document::openForAppend(const std::string& path)
{
    std::unique_ptr<EngineDocument> record = registeredRecord(path);
    if (!record)
        return {Document(), notOpened()};
    Document document(std::move(record));
    EngineDocument* d = document.m_doc.get();
    pdf::PdfDocument* writer = newWriter();
    if (!writer) {
        document.release();
        return {Document(), notOpened()};
    }
    std::string refusal;
    if (pdf::openForAppend(writer, path, &refusal) != 1) {
        pdf::freePdfDocument(writer);
        document.release();
        return {Document(), refusal.empty() ? notOpened() : Result::failure(FailureCode::Refused, refusal)};
    }
    d->pdf = writer;
    d->mode = 1;
    d->tag = g_nextTag++;
    if (!pdf::appendPermitted(writer))
        d->refusal = kReasonAppendNotPermitted;
    return {std::move(document), Result::success()};
}

Result Document::close()
{
    if (!m_doc)
        return Result::failure(FailureCode::InvalidArgument, "the document is not open");
    EngineDocument* doc = m_doc.get();
    if (!doc->refusal.empty()) {
        std::string refusal = doc->refusal;
        pdf::abandonAppend(doc->pdf);
        pdf::freePdfDocument(doc->pdf);
        release();
        return Result::failure(FailureCode::Refused, refusal);
    }
    if (doc->settings.pageOpen)
        endEnginePage(doc);
    bool written = pdf::closePdfDocument(doc->pdf) == 1;
    pdf::freePdfDocument(doc->pdf);
    if (doc->temporary) {
        if (written)
            written = doc->temporary->publish(doc->naming);
        else
            doc->temporary->discard();
    }
    release();
    if (!written)
        return Result::failure(FailureCode::WriteFailed, "the PDF file could not be written");
    return Result::success();
}

bool Document::discard()
{
    if (!m_doc || !m_doc->temporary)
        return false;
    pdf::freePdfDocument(m_doc->pdf); // whatever it finishes goes with the temporary file
    m_doc->temporary->discard();
    release();
    return true;
}

ImageAdded Document::addImage(const std::string& path)
{
    ImageAdded added;
    if (!m_doc || path.empty()) {
        added.status = Result::failure(FailureCode::NotAnImage, "not a readable image");
        return added;
    }
    int pagesBefore = m_doc->pdf->pageCount;
    int placed = addImageFile(m_doc.get(), path);
    added.pages = m_doc->pdf->pageCount - pagesBefore;
    added.textLayer = textLayerReport();
    if (placed > 0)
        return added;
    // The cause the intake noted, else what the result number says.
    Result cause = imageFailure();
    if (placed < 0) {
        added.converterError = placed < -1 ? placed : 0;
        added.status = Result::failure(FailureCode::OutOfRange,
                                       cause.ok ? "frame range beyond the image, or no converter for this format" : cause.detail);
    } else {
        added.status = cause.ok ? Result::failure(FailureCode::Damaged, "image data damaged or unreadable") : cause;
    }
    return added;
}

void Document::expectImage(const std::string& path)
{
    if (m_doc && !path.empty())
        expectImageFile(m_doc.get(), path);
}

void endEnginePage(EngineDocument* doc)
{
    EngineSettings& s = doc->settings;
    if (!s.pageOpen)
        return;
    if (!s.pendingBookmark.empty()) {
        pdf::addBookmark(doc->pdf, s.pendingBookmark.c_str(), 0, true);
        s.pendingBookmark.clear();
    }
    pdf::endPage(doc->pdf);
    s.pageOpen = false;
    s.pageKind = 0;
}

void beginEnginePage(EngineDocument* doc, double width, double height, int kind)
{
    pdf::setRotation(doc->pdf, doc->settings.rotation);
    pdf::beginPage(doc->pdf, width, height);
    doc->settings.pageOpen = true;
    doc->settings.pageKind = kind;
}

} // namespace folvane::engine
