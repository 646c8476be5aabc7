#include "text_module.h"

#include <mutex>

#include "base/private_module.h"

namespace folvane::engine {

namespace {

struct Loaded {
    const FolvaneTextModule* module = nullptr;
    std::string failure;
};

Loaded load()
{
    std::string failure;
    auto entry = reinterpret_cast<FolvaneTextModuleEntry>(
        openPrivateModule(kTextModuleName, FOLVANE_TEXT_MODULE_ENTRY, failure));
    const FolvaneTextModule* module = entry ? entry() : nullptr;
    if (entry && (!module || module->version != FOLVANE_TEXT_MODULE_VERSION || !module->recognise))
        failure = std::string(kTextModuleName) + " belongs to another version of the program";
    if (failure.empty() && module)
        return {module, {}};
    return {nullptr, "text recognition is not available: " + failure};
}

} // namespace

const FolvaneTextModule* textModule(std::string& failure)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.module)
        failure = loaded.failure;
    return loaded.module;
}

} // namespace folvane::engine
