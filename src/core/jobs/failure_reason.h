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
    if (result < 0)
        return "frame range beyond the image, or no converter for this format";
    if (!engineReason.empty())
        return engineReason;
    return "image data damaged or unreadable";
}

} // namespace folvane::jobs
