#pragma once
// Checks of stored Group 4 frames made ahead of need on one background thread. Checking that a
// stored strip codes every row exactly is the costliest step of placing a scanned page as it is
// stored; while one page is being placed, the next one (the next frame of the same file, or the
// next file of a job) can be checked on another core.

#include <memory>
#include <string>

#include "codec/tiff_passthrough.h"

namespace folvane::codec {

class StoredFrameChecks {
public:
    StoredFrameChecks();
    // Stops the background thread; a check it is running is finished first.
    ~StoredFrameChecks();
    StoredFrameChecks(const StoredFrameChecks&) = delete;
    StoredFrameChecks& operator=(const StoredFrameChecks&) = delete;

    // Asks for the 0-based frame of `path` to be checked in the background. Only a hint: a file
    // that is not a TIFF file, or a frame never asked for later, costs one failed open.
    void expect(const std::string& path, int index);

    // The answer storedGroup4Frame gives, taken from the background check when it was made of
    // the file as it is now (same identity, size and modification time); otherwise checked here.
    bool storedGroup4Frame(const std::string& path, int index, StoredBilevelFrame& frame);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace folvane::codec
