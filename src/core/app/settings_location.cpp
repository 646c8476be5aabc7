#include "app/settings_location.h"

#include <array>
#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "app/app_paths.h"

namespace folvane::app {

namespace {

std::string absolutePath(std::string_view path)
{
    if (path.front() == '/')
        return std::string(path);
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (buffer.size() >= (1u << 20))
            return std::string(path);
        buffer.resize(buffer.size() * 2);
    }
    std::string folder(buffer.data());
    if (folder.back() != '/')
        folder += '/';
    return folder + std::string(path);
}

// An XDG base folder: the variable's value when it is an absolute path (relative values are
// to be ignored), otherwise the fallback below the home folder. With trailing "/".
std::string xdgFolder(const char* variable, std::string_view fallbackBelowHome)
{
    const char* value = std::getenv(variable);
    std::string folder = value && value[0] == '/' ? std::string(value)
                                                  : homeFolder() + "/" + std::string(fallbackBelowHome);
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

// Folders of installed software: a Settings.ini found there belongs to no user and must not be
// written to.
bool isSystemFolder(std::string_view folder)
{
    static constexpr std::array<std::string_view, 8> kSystemRoots = {
        "/usr/", "/bin/", "/sbin/", "/lib/", "/lib32/", "/lib64/", "/libx32/", "/etc/"};
    for (std::string_view root : kSystemRoots)
        if (folder.substr(0, root.size()) == root)
            return true;
    return false;
}

std::string productFolder(const char* variable, std::string_view fallbackBelowHome)
{
    return xdgFolder(variable, fallbackBelowHome) + std::string(kProductName) + "/";
}

} // namespace

SettingsLocation locateSettings(std::string_view commandLineValue)
{
    return locateSettings(commandLineValue, AppPaths::modulePath(""));
}

SettingsLocation locateSettings(std::string_view commandLineValue, std::string_view programFolder)
{
    if (!commandLineValue.empty())
        return {absolutePath(commandLineValue), false};
    const char* fromEnvironment = std::getenv("FOLVANE_SETTINGS");
    if (fromEnvironment && fromEnvironment[0])
        return {absolutePath(fromEnvironment), false};
    if (!programFolder.empty() && programFolder.front() == '/' && !isSystemFolder(programFolder)) {
        std::string beside(programFolder);
        if (beside.back() != '/')
            beside += '/';
        beside += kSettingsFileName;
        if (AppPaths::fileExists(beside))
            return {beside, true};
    }
    return {productFolder("XDG_CONFIG_HOME", ".config") + std::string(kSettingsFileName), false};
}

std::string defaultLogFolder(const SettingsLocation& location)
{
    if (location.portable)
        return location.path.substr(0, location.path.rfind('/') + 1);
    return productFolder("XDG_DATA_HOME", ".local/share");
}

} // namespace folvane::app
