#include "base/private_module.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <unistd.h>
#include <vector>

namespace folvane {

namespace {

// The installed private library folder seen from the installed programs' folder, so that an
// installation moved to another prefix (or staged below DESTDIR) finds its own modules.
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
// through it, else the program (whose link map has no name).
std::string ownFolder()
{
    Dl_info info{};
    link_map* map = nullptr;
    if (!::dladdr1(reinterpret_cast<void*>(&openPrivateModule), &info, reinterpret_cast<void**>(&map),
                   RTLD_DL_LINKMAP) ||
        !map || !map->l_name || !map->l_name[0])
        return programFolder();
    return folderOf(map->l_name);
}

std::vector<std::string> candidateFiles(const std::string& fileName)
{
    std::vector<std::string> files;
    auto add = [&files, &fileName](const std::string& folder) {
        if (folder.empty())
            return;
        std::string file = std::filesystem::path(folder + fileName).lexically_normal().string();
        for (const std::string& known : files)
            if (known == file)
                return;
        files.push_back(file);
    };
    const std::string own = ownFolder();
    const std::string program = programFolder();
    add(own);
    add(program);
    for (const std::string& folder : {own, program}) {
        if (folder.empty())
            continue;
        add(folder + kInstalledFolderFromPrograms);
        add(folder + "folvane/");
    }
    add(kInstalledFolder);
    return files;
}

} // namespace

void* openPrivateModule(const std::string& fileName, const char* entry, std::string& failure)
{
    std::vector<std::string> files = candidateFiles(fileName);
    for (const std::string& file : files) {
        if (::access(file.c_str(), F_OK) != 0)
            continue;
        // Never unmapped: threads may keep state in a module until they end.
        void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!library) {
            const char* error = ::dlerror();
            failure = file + " could not be loaded (" + (error ? error : "unknown error") + ")";
            return nullptr;
        }
        void* symbol = ::dlsym(library, entry);
        if (!symbol)
            failure = file + " has no " + entry;
        return symbol;
    }
    std::string folders;
    for (const std::string& file : files)
        folders += (folders.empty() ? "" : ", ") + folderOf(file);
    failure = fileName + " was not found (looked in " + folders + ")";
    return nullptr;
}

} // namespace folvane
