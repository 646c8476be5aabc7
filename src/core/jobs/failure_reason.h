#pragma once
// The one-line reasons front ends show for an image that did not make it into a PDF.

#include <string>
#include <utility>

#include "base/result.h"

namespace folvane::jobs {

inline constexpr const char* kReasonNotOpened = "the PDF file could not be created or opened for appending";
inline constexpr const char* kReasonNotWritten = "the PDF file could not be written";
inline constexpr const char* kReasonNotAnImage = "not a readable image";

// The outcome of an image of several frames: the first frame that failed decides, so a frame
// that could not be read fails its file even when later frames made pages. An image without
// frames fails with the probe's reason, "not a readable image" unless it knows better.
struct ImageOutcome {
    explicit ImageOutcome(int frameCount, std::string noFrames = kReasonNotAnImage)
        : frames(frameCount), noFramesReason(noFrames.empty() ? kReasonNotAnImage : std::move(noFrames))
    {
    }

    int frames = 0;
    bool failed = false;
    std::string reason;
    std::string noFramesReason;

    // After each frame (0-based), with the engine's result for it.
    void frameDone(int frame, const Result& result)
    {
        if (result.ok || failed)
            return;
        failed = true;
        reason = result.detail.empty() ? "image data damaged or unreadable" : result.detail;
        if (frames > 1)
            reason = "frame " + std::to_string(frame + 1) + " of " + std::to_string(frames) + ": " + reason;
    }
    bool succeeded() const { return frames > 0 && !failed; }
    std::string failureReason() const { return frames <= 0 ? noFramesReason : reason; }
};

} // namespace folvane::jobs
