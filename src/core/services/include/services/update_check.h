#pragma once
// The update check: fetches the one-line version file from the update server over HTTPS
// (certificate and host name verified) and compares the number at its start with this
// program's version. Nothing is downloaded or installed; the caller shows the result and, when
// newer, the address of the download page.
//
// The server address is the build setting FOLVANE_UPDATE_HOST (an https address) unless the
// environment variable FOLVANE_UPDATE_URL names another one (scheme, host and optional port,
// such as "http://127.0.0.1:8080"; plain HTTP is accepted there only, for tests against a local
// server); the fixed paths are appended to it.
//
// fetchLatestVersion blocks until the server has answered or the request failed, so front ends
// call it from a worker thread; any thread may call it. A transfer slower than
// 1 KB/s for 15 seconds is abandoned.

#include <string>
#include <string_view>

#include "version.h"

namespace folvane::services {

// This program's version, compared as a single-precision float.
inline constexpr float kOwnVersion = kVersionNumber;

inline constexpr std::string_view kVersionFilePath = "/update/folvane.txt";
// The project's download page for Linux, where the packages are.
inline constexpr std::string_view kDownloadPath = "/folvane/download/linux/";

// The update server address without a trailing "/".
std::string updateServerAddress();
// The address of the version file and of the program download.
std::string versionFileUrl();
std::string downloadUrl();

// The number at the start of `text`: optional leading blanks, optional sign, digits with an
// optional decimal point and digits, an optional exponent. Anything after it is ignored; text
// without a leading number, and a number that does not fit a float, reads as 0. The locale
// plays no part.
float parseVersionText(std::string_view text);

// A version as shown to the user: "v %0.1f" (6.71 shows as "v 6.7").
std::string formatVersion(float version);

// GET of `url` with caching disabled. On a completed transfer the body's leading number goes
// into `remote` and the result is true; a failed connection or request gives false and leaves
// `remote` alone. The HTTP status is not examined: an error page reads as version 0. Only the
// first 64 KiB of the body are kept, which is far more than the number needs.
bool fetchLatestVersion(float& remote, const std::string& url);

// The bound below which a transfer counts as stalled and is abandoned.
struct TransferLimits {
    long lowSpeedBytesPerSecond = 1024;
    long lowSpeedSeconds = 15;
};
bool fetchLatestVersion(float& remote, const std::string& url, const TransferLimits& limits);
// The same, with the reason of a failure in `failure`: libcurl (loaded on the first check) is
// missing or unusable, or the transfer failed (libcurl's description of the error).
bool fetchLatestVersion(float& remote, const std::string& url, const TransferLimits& limits, std::string& failure);
// The same for versionFileUrl().
bool fetchLatestVersion(float& remote);

} // namespace folvane::services
