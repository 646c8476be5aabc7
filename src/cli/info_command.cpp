// folvane-cli info: what the engine sees in an image file.

#include <cstdio>
#include <string>

#include "app/app_paths.h"
#include "commands.h"
#include "engine/engine.h"
#include "engine/external_converter.h"
#include "jobs/image_inputs.h"

namespace folvane::cli {

namespace {

// The name of a recognised format; the file's own extension for the formats only the external
// converter reads.
std::string formatName(const engine::ImageProbe& probe, const std::string& path)
{
    if (!probe.formatName.empty())
        return probe.formatName;
    std::string extension = jobs::lowerExtension(path);
    if (extension.empty())
        return "unknown";
    std::string name = extension.substr(1);
    for (char& c : name)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return name;
}

} // namespace

int runInfo(const std::vector<std::string>& files, bool listTextLanguages)
{
    int status = kExitOk;
    // One code a line, as --ocr-lang takes them.
    if (listTextLanguages)
        for (const std::string& language : engine::installedTextLanguages())
            std::printf("%s\n", language.c_str());
    // Formats only the external converter reads are counted and measured by it; it is loaded
    // when the first such file is met.
    engine::deferExternalConverter(app::AppPaths::modulePath(""));
    for (const std::string& file : files) {
        engine::ImageProbe probe = engine::probeImage(file);
        const int frames = probe.frames;
        if (frames <= 0) {
            // A known cause is named; an unrecognised file stays "cannot be read".
            if (probe.status.detail.empty() || probe.status.detail == "not a readable image")
                std::printf("%s: cannot be read\n", file.c_str());
            else
                std::printf("%s: cannot be read: %s\n", file.c_str(), probe.status.detail.c_str());
            status = kExitFailed;
            continue;
        }
        std::string size = "size unknown"; // formats that only the external converter reads
        if (probe.width > 0)
            size = std::to_string(probe.width) + " x " + std::to_string(probe.height) + " pixels";
        std::printf("%s: %s, %d %s, %s\n", file.c_str(), formatName(probe, file).c_str(), frames,
                    frames == 1 ? "frame" : "frames", size.c_str());
    }
    return status;
}

} // namespace folvane::cli
