#include "curl_library.h"

#include <dlfcn.h>
#include <mutex>

namespace folvane::services {

namespace {

// The run-time name of libcurl with the ABI the headers describe (Debian's libcurl4).
constexpr char kCurlFile[] = "libcurl.so.4";

struct Loaded {
    CurlLibrary library{};
    bool ready = false;
    std::string failure;
};

template <typename Function>
bool bind(void* handle, const char* name, Function& function, std::string& missing)
{
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    if (!function)
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    return function != nullptr;
}

Loaded load()
{
    Loaded loaded;
    // Never unloaded: libcurl's global state lives until the process ends.
    void* handle = ::dlopen(kCurlFile, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* error = ::dlerror();
        loaded.failure = std::string(kCurlFile) + " could not be loaded (" + (error ? error : "unknown error") +
                         "; install the package libcurl4)";
        return loaded;
    }
    CurlLibrary& curl = loaded.library;
    CURLcode (*globalInit)(long) = nullptr;
    std::string missing;
    bind(handle, "curl_global_init", globalInit, missing);
    bind(handle, "curl_easy_init", curl.easyInit, missing);
    bind(handle, "curl_easy_setopt", curl.easySetopt, missing);
    bind(handle, "curl_easy_perform", curl.easyPerform, missing);
    bind(handle, "curl_easy_cleanup", curl.easyCleanup, missing);
    bind(handle, "curl_easy_strerror", curl.easyStrerror, missing);
    bind(handle, "curl_slist_append", curl.slistAppend, missing);
    bind(handle, "curl_slist_free_all", curl.slistFreeAll, missing);
    if (!missing.empty()) {
        loaded.failure = std::string(kCurlFile) + " lacks " + missing;
        return loaded;
    }
    if (CURLcode result = globalInit(CURL_GLOBAL_DEFAULT); result != CURLE_OK) {
        loaded.failure = std::string("libcurl could not be initialised (") + curl.easyStrerror(result) + ")";
        return loaded;
    }
    loaded.ready = true;
    return loaded;
}

} // namespace

const CurlLibrary* curlLibrary(std::string& failure)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.ready) {
        failure = loaded.failure;
        return nullptr;
    }
    return &loaded.library;
}

} // namespace folvane::services
