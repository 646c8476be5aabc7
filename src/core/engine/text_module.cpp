#include "text_module.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace folvane::engine {

namespace {

// The installed module folder seen from the installed programs' folder, so that an installation
// moved to another prefix (or staged below DESTDIR) finds its own module.
constexpr char kInstalledFolderFromPrograms[] = FOLVANE_RELATIVE_LIBDIR "/";
constexpr char kInstalledFolder[] = FOLVANE_INSTALLED_LIBDIR "/";

std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string programFolder()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 && static_cast<size_t>(n) < sizeof buffer ? folderOf(std::string(buffer, static_cast<size_t>(n)))
                                                           : std::string();
}

// The folder of the file this code was loaded from: the engine library when the engine is used
// through it, else the program.
std::string engineFolder()
{
    Dl_info info{};
    link_map* map = nullptr;
    if (!::dladdr1(reinterpret_cast<void*>(&textModule), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
        !map || !map->l_name || !map->l_name[0])
        return programFolder();
    return folderOf(map->l_name);
}

std::vector<std::string> candidateFiles()
{
    std::vector<std::string> files;
    auto add = [&files](const std::string& folder) {
        if (folder.empty())
            return;
        std::string file = std::filesystem::path(folder + kTextModuleName).lexically_normal().string();
        for (const std::string& known : files)
            if (known == file)
                return;
        files.push_back(file);
    };
    const std::string engine = engineFolder();
    const std::string program = programFolder();
    add(engine);
    add(program);
    for (const std::string& folder : {engine, program}) {
        if (folder.empty())
            continue;
        add(folder + kInstalledFolderFromPrograms);
        add(folder + "folvane/");
    }
    add(kInstalledFolder);
    return files;
}

struct Loaded {
    const FolvaneTextModule* module = nullptr;
    std::string failure;
};

Loaded load()
{
    std::vector<std::string> files = candidateFiles();
    for (const std::string& file : files) {
        if (::access(file.c_str(), F_OK) != 0)
            continue;
        // Never unmapped: each thread's recogniser lives in the module until the thread ends.
        void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!library) {
            const char* error = ::dlerror();
            return {nullptr, "text recognition is not available: " + file + " could not be loaded (" +
                                 (error ? error : "unknown error") + ")"};
        }
        auto entry = reinterpret_cast<FolvaneTextModuleEntry>(::dlsym(library, FOLVANE_TEXT_MODULE_ENTRY));
        const FolvaneTextModule* module = entry ? entry() : nullptr;
        if (!module || module->version != FOLVANE_TEXT_MODULE_VERSION || !module->recognise)
            return {nullptr, "text recognition is not available: " + file + " belongs to another version"};
        return {module, {}};
    }
    std::string folders;
    for (const std::string& file : files)
        folders += (folders.empty() ? "" : ", ") + folderOf(file);
    return {nullptr, std::string("text recognition is not available: ") + kTextModuleName +
                         " was not found (looked in " + folders + ")"};
}

} // namespace

const FolvaneTextModule* textModule(std::string& failure)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.module)
        failure = loaded.failure;
    return loaded.module;
}

} // namespace folvane::engine
