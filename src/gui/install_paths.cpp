#include "install_paths.h"

#include <filesystem>

#include "app/app_paths.h"

namespace folvane::gui {

namespace {
constexpr char kHelpName[] = "help.html";
} // namespace

std::string helpFilePath(const std::string& programFolder)
{
    const std::string candidates[] = {
        programFolder + kHelpName,
        std::filesystem::path(programFolder + FOLVANE_RELATIVE_DATADIR "/" + kHelpName).lexically_normal().string(),
        std::string(FOLVANE_INSTALLED_DATADIR "/") + kHelpName,
    };
    for (const std::string& candidate : candidates)
        if (app::AppPaths::fileExists(candidate))
            return candidate;
    return candidates[0];
}

std::string helpFilePath() { return helpFilePath(app::AppPaths::modulePath("")); }

} // namespace folvane::gui
