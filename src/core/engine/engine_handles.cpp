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

// The file creation mask of the process, read without changing it (umask() would change it for
// every thread for a moment).
mode_t currentUmask()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (!status)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// Where a finished new file is renamed to: the path itself, or the file a symbolic link points
// at. Empty when the file must be written directly: standard output, or an existing target that
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
            return {}; // a dangling link: write through it, as opening it would
        std::string target = resolved;
        std::free(resolved);
        if (::stat(target.c_str(), &info) != 0)
            return {};
        return S_ISREG(info.st_mode) ? target : std::string();
    }
    return S_ISREG(info.st_mode) ? path : std::string();
}

// ".<name>.XXXXXX" in the folder of path, created empty; "" when it cannot be created.
std::string makeTemporarySibling(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

// Gives the finished file its final name and the permissions of a newly created file.
bool publishTemporary(const std::string& temporary, const std::string& path)
{
    ::chmod(temporary.c_str(), 0666 & ~currentUmask());
    if (::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
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
    // A new file is written under a temporary name beside its final one and renamed when it is
    // complete, so an interrupted conversion never leaves a half-written PDF under that name.
    std::string target = path;
    std::string finalPath = publishTarget(path);
    if (!finalPath.empty())
        target = makeTemporarySibling(finalPath);
    if (target.empty() || pdf::openOutput(writer, target) != 1) {
        if (!target.empty() && target != path)
            ::unlink(target.c_str());
        pdf::freePdfDocument(writer);
        return 0;
    }
    auto doc = std::make_unique<EngineDocument>();
    doc->pdf = writer;
    doc->settings.outputPath = path;
    doc->temporaryPath = target == path ? std::string() : target;
    doc->publishPath = finalPath;
    std::string temporary = doc->temporaryPath;
    DocHandle handle = storeDocument(std::move(doc));
    if (handle == 0) {
        pdf::closePdfDocument(writer);
        pdf::freePdfDocument(writer);
        if (!temporary.empty())
            ::unlink(temporary.c_str());
    }
    return handle;
}

DocHandle OpenDocumentForAppend(const std::string& path)
{
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
    if (pdf::openForAppend(writer, path) != 1) {
        pdf::freePdfDocument(writer);
        return 0;
    }
    auto doc = std::make_unique<EngineDocument>();
    doc->pdf = writer;
    doc->mode = 1;
    doc->settings.outputPath = path;
    return storeDocument(std::move(doc));
}

int CloseDocument(DocHandle handle)
{
    EngineDocument* doc = lookupDocument(handle);
    if (!doc)
        return 0;
    if (doc->settings.pageOpen)
        endEnginePage(doc);
    bool written = pdf::closePdfDocument(doc->pdf) == 1;
    pdf::freePdfDocument(doc->pdf);
    if (!doc->temporaryPath.empty()) {
        if (written)
            written = publishTemporary(doc->temporaryPath, doc->publishPath);
        else
            ::unlink(doc->temporaryPath.c_str());
    }
    std::lock_guard lock(g_tableMutex);
    g_table[static_cast<size_t>(handle - 1)].reset();
    return written ? 1 : 0;
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
