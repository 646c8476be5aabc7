#include "engine/external_converter.h"

#include <atomic>
#include <dlfcn.h>
#include <mutex>

namespace folvane::engine {

namespace {

using Entry = int (*)(int argc, char** argv);

std::mutex g_loadMutex;
void* g_library = nullptr;
std::atomic<Entry> g_entry{nullptr};
// Set while a folder to load from waits for the first conversion that needs the converter.
std::atomic<bool> g_deferred{false};
std::string g_deferredFolder;

constexpr char kLibraryName[] = "libquillmar5.so";
constexpr char kInstalledFolder[] = FOLVANE_INSTALLED_LIBDIR "/";
// The installed library folder seen from the installed programs' folder, so that an installation
// moved to another prefix (or staged below DESTDIR) finds its own converter.
constexpr char kInstalledFolderFromPrograms[] = FOLVANE_RELATIVE_LIBDIR "/";

bool loadLocked(const std::string& file)
{
    if (g_library)
        return g_entry.load() != nullptr;
    // Never unmapped: a converter may leave worker threads or exit handlers behind that would
    // run into unmapped code after a dlclose.
    void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library)
        return false;
    g_library = library;
    // A library without the entry stays loaded until shutdown, but converts nothing.
    g_entry = reinterpret_cast<Entry>(::dlsym(library, "quillmar5"));
    return g_entry.load() != nullptr;
}

bool loadFromFolderLocked(const std::string& folder)
{
    if (g_library)
        return g_entry.load() != nullptr;
    return loadLocked(folder + kLibraryName) || loadLocked(folder + kInstalledFolderFromPrograms + kLibraryName)
        || loadLocked(std::string(kInstalledFolder) + kLibraryName);
}

// Loads a deferred converter now; true when one is available afterwards.
bool loadDeferred()
{
    if (!g_deferred.load())
        return false;
    std::lock_guard lock(g_loadMutex);
    if (g_deferred.exchange(false))
        loadFromFolderLocked(g_deferredFolder);
    return g_entry.load() != nullptr;
}

} // namespace

bool loadExternalConverter(const std::string& folder)
{
    std::lock_guard lock(g_loadMutex);
    g_deferred = false;
    return loadFromFolderLocked(folder);
}

void deferExternalConverter(const std::string& folder)
{
    std::lock_guard lock(g_loadMutex);
    if (g_library)
        return;
    g_deferredFolder = folder;
    g_deferred = true;
}

bool loadExternalConverterFile(const std::string& file)
{
    std::lock_guard lock(g_loadMutex);
    return loadLocked(file);
}

void unloadExternalConverter()
{
    std::lock_guard lock(g_loadMutex);
    g_deferred = false;
    g_entry = nullptr;
    if (g_library)
        ::dlclose(g_library);
    g_library = nullptr;
}

bool externalConverterAvailable()
{
    return g_entry.load() != nullptr || loadDeferred();
}

int runExternalConverter(const std::string& input, const std::string& output)
{
    Entry entry = g_entry.load();
    if (!entry && loadDeferred())
        entry = g_entry.load();
    if (!entry)
        return -1;
    // The converter's argument vector names the library as its first element, as it always has.
    std::string name = "quillmar5.dll";
    std::string command = "convert";
    std::string in = input;
    std::string out = output;
    char* argv[] = {name.data(), command.data(), in.data(), out.data(), nullptr};
    return entry(4, argv);
}

} // namespace folvane::engine
