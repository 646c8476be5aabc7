#pragma once
// How a job's ordered images become output documents: all into one file (merge), one file per
// image, or one file per source folder. Both the file-list job and the watch-folder runner plan
// their documents here, so the two group alike.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "jobs/image_inputs.h"
#include "jobs/output_naming.h"

namespace folvane::jobs {

// One output document: the file it is meant to have and its images, in the order they go in.
struct PlannedDocument {
    size_t index = 0;        // the document's position in the plan
    std::string wantedPath;  // before the existing-file policy renames it
    std::vector<size_t> inputs; // indexes into the job's images
};

// The folder of an image's per-image PDF; by default the "outPath1" folder.
using PerImageFolder = std::function<std::string(const std::string& imagePath)>;

// The documents of `mode` over `images`, in the order they are written. Merge mode gives one
// document holding every image (also when there are none); per-image mode one per image; per-folder
// mode, over images already in folder order (sortForFolders), one per run of consecutive images
// whose PDF names are equal with letter case ignored. Another mode gives no document.
std::vector<PlannedDocument> planDocuments(const std::vector<std::string>& images, int mode, const OutputPaths& paths,
                                           const PerImageFolder& perImageFolder = {});

// Puts images into the order per-folder mode needs, keeping each folder's images together:
// plain byte order for FolderOrder::Name; for FolderOrder::Natural only the folders are sorted,
// so each folder's images keep the order they came in. Stable; returns, for each new position,
// the image's previous index.
std::vector<size_t> sortForFolders(std::vector<std::string>& images, FolderOrder order);

} // namespace folvane::jobs
