#include "services/update_check.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "curl_library.h"

#ifndef FOLVANE_UPDATE_HOST
#define FOLVANE_UPDATE_HOST "https://update.quillmar.example"
#endif

namespace folvane::services {
namespace {

constexpr size_t kBodyLimit = 64 * 1024;
// No time-out is part of the check itself, but a dead server must not keep the check going
// for ever: these are generous bounds in the spirit of the system defaults. A transfer that
// stalls is abandoned earlier by the low-speed limit.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kTransferTimeoutSeconds = 120;

struct Body {
    std::string text;
    bool full = false;
};

size_t appendChunk(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<Body*>(user);
    size_t bytes = size * count;
    size_t room = kBodyLimit - body->text.size();
    if (bytes > room) {
        body->text.append(data, room);
        body->full = true;
        return 0; // ends the transfer; what we have is enough
    }
    body->text.append(data, bytes);
    return bytes;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::string updateServerAddress()
{
    const char* env = std::getenv("FOLVANE_UPDATE_URL");
    std::string address = (env && *env) ? env : FOLVANE_UPDATE_HOST;
    while (!address.empty() && address.back() == '/')
        address.pop_back();
    return address;
}

std::string versionFileUrl() { return updateServerAddress() + std::string(kVersionFilePath); }
std::string downloadUrl() { return updateServerAddress() + std::string(kDownloadPath); }

float parseVersionText(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    size_t numberStart = i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0f;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    float value = 0.0f;
    auto [end, error] = std::from_chars(text.data() + numberStart, text.data() + i, value);
    if (error != std::errc() || !std::isfinite(value))
        return 0.0f;
    return negative ? -value : value;
}

std::string formatVersion(float version)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "v %0.1f", static_cast<double>(version));
    return buffer;
}

bool fetchLatestVersion(float& remote, const std::string& url)
{
    return fetchLatestVersion(remote, url, TransferLimits{});
}

bool fetchLatestVersion(float& remote, const std::string& url, const TransferLimits& limits)
{
    std::string failure;
    return fetchLatestVersion(remote, url, limits, failure);
}

bool fetchLatestVersion(float& remote, const std::string& url, const TransferLimits& limits, std::string& failure)
{
    const CurlLibrary* library = curlLibrary(failure);
    if (!library)
        return false;
    const CurlLibrary& c = *library;
    CURL* curl = c.easyInit();
    if (!curl) {
        failure = "libcurl could not start a transfer";
        return false;
    }
    // Plain HTTP only for an address a test set through the environment. A libcurl that cannot
    // restrict the protocols is not used at all.
    const char* testServer = std::getenv("FOLVANE_UPDATE_URL");
    CURLcode allowed = c.easySetopt(curl, CURLOPT_PROTOCOLS_STR, testServer && *testServer ? "http,https" : "https");
    if (allowed != CURLE_OK) {
        c.easyCleanup(curl);
        failure = std::string("libcurl cannot restrict the update check to HTTPS (") + c.easyStrerror(allowed) + ")";
        return false;
    }
    Body body;
    curl_slist* headers = nullptr;
    headers = c.slistAppend(headers, "Accept: */*");
    headers = c.slistAppend(headers, "Cache-Control: no-cache");
    headers = c.slistAppend(headers, "Pragma: no-cache");
    c.easySetopt(curl, CURLOPT_URL, url.c_str());
    c.easySetopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    c.easySetopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    c.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    c.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    c.easySetopt(curl, CURLOPT_USERAGENT, "folvane");
    c.easySetopt(curl, CURLOPT_HTTPHEADER, headers);
    c.easySetopt(curl, CURLOPT_HTTPGET, 1L);
    c.easySetopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    c.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    c.easySetopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    c.easySetopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
    c.easySetopt(curl, CURLOPT_WRITEFUNCTION, appendChunk);
    c.easySetopt(curl, CURLOPT_WRITEDATA, &body);
    CURLcode result = c.easyPerform(curl);
    c.easyCleanup(curl);
    c.slistFreeAll(headers);
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && body.full)) {
        failure = c.easyStrerror(result);
        return false;
    }
    remote = parseVersionText(body.text);
    return true;
}

bool fetchLatestVersion(float& remote) { return fetchLatestVersion(remote, versionFileUrl()); }

} // namespace folvane::services
