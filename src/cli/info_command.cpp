// folvane-cli info: what the engine sees in an image file.

#include <cstdio>
#include <iterator>
#include <string>

#include "commands.h"
#include "engine/engine_client.h"
#include "engine/external_converter.h"
#include "engine/intake.h"
#include "jobs/image_inputs.h"

namespace folvane::cli {

namespace {

// The name of a recognised format; the file's own extension for the formats only the external
// converter reads.
std::string formatName(const std::string& path)
{
    static const char* const names[] = {nullptr, "BMP", "GIF", "JPEG", "PNG", "ICO", "TIFF", "TGA", "PCX",
                                        "WBMP", "WMF/EMF", "JP2", "J2K", "PGX", "PNM", "RAS", nullptr, "MNG",
                                        "SKA", "RAW", "PSD"};
    int id = engine::SniffImageFormat(path);
    if (id > 0 && id < static_cast<int>(std::size(names)) && names[id])
        return names[id];
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
    engine::CEngineClient engine;
    int status = kExitOk;
    // One code a line, as --ocr-lang takes them.
    if (listTextLanguages)
        for (const std::string& language : engine::InstalledTextLanguages())
            std::printf("%s\n", language.c_str());
    for (const std::string& file : files) {
        int frames = engine.QueryDocument(0, engine::kQueryFrameCount, 0, 0, file.c_str(), nullptr);
        int width = 0;
        int height = 0;
        if (frames <= 0) {
            std::printf("%s: cannot be read\n", file.c_str());
            status = kExitFailed;
            continue;
        }
        std::string size = "size unknown"; // formats that only the external converter reads
        if (engine.pixelSize(file, 1, width, height))
            size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
        std::printf("%s: %s, %d %s, %s\n", file.c_str(), formatName(file).c_str(), frames,
                    frames == 1 ? "frame" : "frames", size.c_str());
    }
    return status;
}

} // namespace folvane::cli
