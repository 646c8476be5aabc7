#pragma once
// The one-line reasons front ends show for an image that did not make it into a PDF.

#include <string>

namespace folvane::jobs {

inline constexpr const char* kReasonNotOpened = "the PDF file could not be created or opened for appending";
inline constexpr const char* kReasonNotWritten = "the PDF file could not be written";

// From the image's frame count, its last frame's result and the engine's reason when the cause
// lay outside the image (engine::LastImageFailure).
inline std::string imageFailureReason(int frames, int result, const std::string& engineReason)
{
    if (frames <= 0)
        return "not a readable image";
    if (!engineReason.empty())
        return engineReason;
    if (result < 0)
        return "frame range beyond the image, or no converter for this format";
    return "image data damaged or unreadable";
}

// The outcome of an image of several frames: the first frame that failed decides, so a frame
// that could not be read fails its file even when later frames made pages.
struct ImageOutcome {
    explicit ImageOutcome(int frameCount) : frames(frameCount) {}

    int frames = 0;
    bool failed = false;
    std::string reason;

    // After each frame, with the engine's reason for that frame.
    void frameDone(int frame, int result, const std::string& engineReason)
    {
        if (result > 0 || failed)
            return;
        failed = true;
        reason = imageFailureReason(frames, result, engineReason);
        if (frames > 1)
            reason = "frame " + std::to_string(frame + 1) + " of " + std::to_string(frames) + ": " + reason;
    }
    bool succeeded() const { return frames > 0 && !failed; }
    std::string failureReason() const { return frames <= 0 ? imageFailureReason(frames, 0, {}) : reason; }
};

} // namespace folvane::jobs
