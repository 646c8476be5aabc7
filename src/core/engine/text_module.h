#pragma once
// Finds and loads the text recognition module (libfolvane-ocr.so) on first use. Engine-internal.
//
// The module is looked for beside the code of the engine (the program, or the engine library),
// then beside the running program, then in the installed library folder as seen from each of
// them (lib/folvane below the prefix, and folvane/ below an installed engine library), then in
// the library folder the build was configured to install into. Any thread may call; the first
// answer, module or failure, holds for the rest of the process.

#include <string>

#include "text_module_abi.h"

namespace folvane::engine {

// The file name of the module.
inline constexpr char kTextModuleName[] = "libfolvane-ocr.so";

// The loaded module, or nullptr with `failure` saying what is missing: the module itself, or a
// library it needs (such as Tesseract's), named by the dynamic loader.
const FolvaneTextModule* textModule(std::string& failure);

} // namespace folvane::engine
