#pragma once
// libcurl, loaded with dlopen on the first update check instead of being linked: the programs
// would otherwise map libcurl and the TLS, Kerberos, LDAP, SSH and other libraries it needs at
// every start, though most runs never check for updates. Services-internal.

#include <string>

#include <curl/curl.h>

namespace folvane::services {

// The functions of libcurl the update check uses.
struct CurlLibrary {
    CURL* (*easyInit)();
    CURLcode (*easySetopt)(CURL*, CURLoption, ...);
    CURLcode (*easyPerform)(CURL*);
    void (*easyCleanup)(CURL*);
    const char* (*easyStrerror)(CURLcode);
    curl_slist* (*slistAppend)(curl_slist*, const char*);
    void (*slistFreeAll)(curl_slist*);
};

// The library, loaded and globally initialised on the first call (from any thread), or nullptr
// with `failure` saying why it cannot be used. The first answer holds for the process.
const CurlLibrary* curlLibrary(std::string& failure);

} // namespace folvane::services
