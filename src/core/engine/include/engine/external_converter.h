#pragma once
// The optional external converter library (libquillmar5.so): turns an image the codec layer
// cannot read into a multi-page TIFF file. Loaded once, at start-up or on first need; conversions
// read the process-wide entry, from any thread.

#include <string>

namespace folvane::engine {

// Loads the converter from `folder` (a path ending in "/"), then from the installed library
// folder as seen from `folder` (the installed programs' folder), then from the library folder the
// build was configured to install into, unless one is loaded already. True when a converter with its entry is available.
bool loadExternalConverter(const std::string& folder);
// Remembers `folder` and loads from it as loadExternalConverter would, but only when a conversion
// first needs the converter: a job of JPEG and TIFF files never pays for loading it.
void deferExternalConverter(const std::string& folder);
// Loads the converter from one exact file (tests, or a converter placed elsewhere).
bool loadExternalConverterFile(const std::string& file);
// Releases the library; conversions that need it then fail with -1.
void unloadExternalConverter();
bool externalConverterAvailable();

// Asks the converter to convert `input` into the TIFF file `output`: its result (negative on
// failure), or -1 when no converter is loaded.
int runExternalConverter(const std::string& input, const std::string& output);

} // namespace folvane::engine
