#include "jobs/grouping.h"

#include <algorithm>
#include <numeric>
#include <strings.h>

namespace folvane::jobs {

std::vector<PlannedDocument> planDocuments(const std::vector<std::string>& images, int mode, const OutputPaths& paths,
                                           const PerImageFolder& perImageFolder)
{
    std::vector<PlannedDocument> plan;
    auto add = [&plan](std::string wanted) {
        plan.push_back({plan.size(), std::move(wanted), {}});
        return &plan.back();
    };
    switch (mode) {
    case kMergeMode: {
        PlannedDocument* doc = add(paths.merged);
        doc->inputs.resize(images.size());
        std::iota(doc->inputs.begin(), doc->inputs.end(), size_t {0});
        break;
    }
    case kPerImageMode:
        for (size_t i = 0; i < images.size(); ++i) {
            std::string folder = perImageFolder ? perImageFolder(images[i]) : paths.perImageFolder;
            add(perImageOutputName(folder, images[i]))->inputs.push_back(i);
        }
        break;
    case kPerFolderMode: {
        std::string current;
        for (size_t i = 0; i < images.size(); ++i) {
            std::string name = perFolderOutputName(paths.perFolderFolder, images[i]);
            if (plan.empty() || strcasecmp(name.c_str(), current.c_str()) != 0) {
                current = name;
                add(name);
            }
            plan.back().inputs.push_back(i);
        }
        break;
    }
    default:
        break;
    }
    return plan;
}

std::vector<size_t> sortForFolders(std::vector<std::string>& images, FolderOrder order)
{
    std::vector<size_t> previous(images.size());
    std::iota(previous.begin(), previous.end(), size_t {0});
    auto folderOf = [](const std::string& path) { return path.substr(0, path.rfind('/') + 1); };
    // std::string compares as unsigned bytes, which is the plain byte order wanted here.
    if (order == FolderOrder::Natural)
        std::stable_sort(previous.begin(), previous.end(),
                         [&](size_t a, size_t b) { return folderOf(images[a]) < folderOf(images[b]); });
    else
        std::stable_sort(previous.begin(), previous.end(), [&](size_t a, size_t b) { return images[a] < images[b]; });
    std::vector<std::string> sorted;
    sorted.reserve(images.size());
    for (size_t index : previous)
        sorted.push_back(std::move(images[index]));
    images = std::move(sorted);
    return previous;
}

} // namespace folvane::jobs
