#pragma once
// The outcome of an operation that can fail for a reason a user should read: success, or the
// kind of failure with a one-line detail in the words front ends show ("not a readable image",
// "12-bit JPEG is not supported", "the PDF file could not be written"). Every layer from the
// image decoders up to the jobs passes it on instead of a bare number, so a "Failed" always has
// its cause at hand. Header-only; every module may use it.

#include <string>
#include <utility>

namespace folvane {

enum class FailureCode {
    None,
    NotAnImage,   // not recognised as an image, or no frame could be found
    Damaged,      // recognised, but its data could not be decoded
    OutOfRange,   // a frame range beyond the image, or no converter for its format
    Environment,  // outside the image: temporary files, missing languages, resources
    Refused,      // the document refuses the operation (an append it may not take)
    WriteFailed,  // the output file could not be created or completed
    InvalidArgument,
};

struct Result {
    bool ok = true;
    FailureCode code = FailureCode::None;
    std::string detail; // empty on success

    static Result success() { return {}; }
    static Result failure(FailureCode code, std::string detail) { return {false, code, std::move(detail)}; }

    explicit operator bool() const { return ok; }
};

} // namespace folvane
