#pragma once
// Modules of our own that the programs open with dlopen on first use (text recognition, the less
// common image decoders) instead of linking them, so that a run which never needs them does not
// pay for loading them and the many libraries they bring.
//
// A module `fileName` is looked for beside the code that asks (the program, or the engine library
// when the engine is used through it), then beside the running program, then in the installed
// private library folder as seen from each (lib/folvane below the prefix, folvane/ below an
// installed engine library), then in the private library folder the build was configured to
// install into. The first file found is the one used.

#include <string>

namespace folvane {

// Opens the module and returns the address of its symbol `entry`; nullptr with `failure` saying
// what is missing: "<file> was not found (looked in ...)", "<path> could not be loaded (<the
// dynamic loader's reason, naming a missing library>)", or "<path> has no <entry>". A module once
// opened stays mapped for the life of the process.
void* openPrivateModule(const std::string& fileName, const char* entry, std::string& failure);

} // namespace folvane
