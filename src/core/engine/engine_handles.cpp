// The handle table and the opening and closing of engine documents.
#include "engine/engine.h"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/engine_document.h"
#include "pdf/fonts.h"
#include "pdf/outline.h"

namespace folvane::engine {

namespace {

// The handle table is the engine's only shared record. The rule for threads:
//   - g_tableMutex guards the slots: taking a slot (with the check that no open document has the
//     same output path) and emptying it happen under it, so documents may be opened and closed
//     on several threads at once; looking a handle up takes it for the read of the slot only.
//   - A document belongs to the thread that opened it until that thread closes it: every other
//     operation on a handle runs without a lock and must come from one thread at a time. Other
//     threads read no more of it than its output path, which never changes while it is open.
//   - Everything below a document (the writer, the image intake, the codec layer, the skew
//     correction) keeps its state in the document or on the stack. The shared pieces are made
//     for several threads: the external converter is loaded once under its own lock and its
//     entry read atomically, temporary files are unnamed or get unique names, the codec libraries
//     get their error handlers per call (libjpeg, libpng, libtiff open options), times are
//     formatted with localtime_r and gmtime_r, and numbers without the C locale.
std::mutex g_tableMutex;
std::array<std::unique_ptr<EngineDocument>, kMaxDocuments> g_table;

// The engine ignores the writer's reports; a failed final write shows in closePdfDocument.
void ignoreWriterError(pdf::PdfDocument*, int, const char*) {}

bool pathInUse(const std::string& path)
{
    for (const auto& slot : g_table)
        if (slot && strcasecmp(slot->settings.outputPath.c_str(), path.c_str()) == 0)
            return true;
    return false;
}

// Where a finished new file is renamed to: the path itself (a link that leads nowhere included,
// which the file then replaces), or the file a symbolic link points at. Empty when the file must be written directly: standard output, or an existing target that
// is not a regular file (a device or a pipe must never be replaced by a file).
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

DocHandle storeDocument(std::unique_ptr<EngineDocument> doc)
{
    for (size_t i = 0; i < g_table.size(); ++i) {
        if (!g_table[i]) {
            g_table[i] = std::move(doc);
            return static_cast<DocHandle>(i + 1);
        }
    }
    return 0;
}

} // namespace

EngineDocument* lookupDocument(DocHandle handle)
{
    if (handle < 1 || handle > kMaxDocuments)
        return nullptr;
    std::lock_guard lock(g_tableMutex);
    return g_table[static_cast<size_t>(handle - 1)].get();
}

DocHandle CreateDocument(const std::string& path)
{
    return CreateDocument(path, NamingRule {});
}

DocHandle CreateDocument(const std::string& path, const NamingRule& naming)
{
    if (path.empty())
        return 0;
    std::lock_guard lock(g_tableMutex);
    if (pathInUse(path))
        return 0;
    pdf::PdfHooks hooks;
    hooks.error = ignoreWriterError;
    pdf::PdfDocument* writer = pdf::newPdfDocument(hooks);
    if (!writer)
        return 0;
    // A new file is written as a temporary file beside its final name and receives the name when
    // it is complete, so an interrupted conversion never leaves a half-written PDF under it (and,
    // where the file system allows unnamed files, nothing at all).
    auto doc = std::make_unique<EngineDocument>();
    std::string target = path;
    std::string finalPath = publishTarget(path);
    if (!finalPath.empty()) {
        doc->temporary = std::make_unique<TemporaryOutput>();
        target = doc->temporary->create(finalPath) ? doc->temporary->writePath() : std::string();
    }
    if (target.empty() || pdf::openOutput(writer, target) != 1) {
        pdf::freePdfDocument(writer);
        return 0;
    }
    doc->pdf = writer;
    doc->settings.outputPath = path;
    doc->naming = naming;
    DocHandle handle = storeDocument(std::move(doc));
    if (handle == 0) {
        // The table was full: the document (and its temporary file) went with the unique_ptr.
        pdf::closePdfDocument(writer);
        pdf::freePdfDocument(writer);
    }
    return handle;
}

namespace {
thread_local std::string t_appendRefusal;
} // namespace

std::string LastAppendRefusal()
{
    return t_appendRefusal;
}

DocHandle OpenDocumentForAppend(const std::string& path)
{
    t_appendRefusal.clear();
    if (path.empty())
        return 0;
    std::lock_guard lock(g_tableMutex);
    // The table is checked first: an update once opened cannot be dropped without writing it.
    if (pathInUse(path) || std::none_of(g_table.begin(), g_table.end(), [](const auto& slot) { return !slot; }))
        return 0;
    pdf::PdfHooks hooks;
    hooks.error = ignoreWriterError;
    pdf::PdfDocument* writer = pdf::newPdfDocument(hooks);
    if (!writer)
        return 0;
    if (pdf::openForAppend(writer, path, &t_appendRefusal) != 1) {
        pdf::freePdfDocument(writer);
        return 0;
    }
    auto doc = std::make_unique<EngineDocument>();
    doc->pdf = writer;
    doc->mode = 1;
    doc->settings.outputPath = path;
    if (!pdf::appendPermitted(writer))
        doc->refusal = kReasonAppendNotPermitted;
    t_appendRefusal = doc->refusal;
    return storeDocument(std::move(doc));
}

int CloseDocument(DocHandle handle)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc)
        return 0;
    if (!doc->refusal.empty()) {
        pdf::abandonAppend(doc->pdf);
        pdf::freePdfDocument(doc->pdf);
        std::lock_guard lock(g_tableMutex);
        g_table[static_cast<size_t>(handle - 1)].reset();
        return 0;
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
    std::lock_guard lock(g_tableMutex);
    g_table[static_cast<size_t>(handle - 1)].reset();
    return written ? 1 : 0;
}

int DiscardDocument(DocHandle handle)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc || !doc->temporary)
        return 0;
    pdf::freePdfDocument(doc->pdf); // whatever it finishes goes with the temporary file
    doc->temporary->discard();
    std::lock_guard lock(g_tableMutex);
    g_table[static_cast<size_t>(handle - 1)].reset();
    return 1;
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
