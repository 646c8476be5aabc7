#pragma once
// Loads the text recognition module (libfolvane-ocr.so) on first use, from the folders
// base/private_module.h lists. Engine-internal. Any thread may call; the first answer, module or
// failure, holds for the rest of the process.

#include <string>

#include "text_module_abi.h"

namespace folvane::engine {

// The file name of the module.
inline constexpr char kTextModuleName[] = "libfolvane-ocr.so";

// The loaded module, or nullptr with `failure` saying what is missing: the module itself, or a
// library it needs (such as Tesseract's), named by the dynamic loader.
const FolvaneTextModule* textModule(std::string& failure);

} // namespace folvane::engine
