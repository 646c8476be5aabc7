#pragma once
// Several watch runners, on one host or several, sharing one input folder (on NFS or SMB as well
// as a local disk). A runner claims a source by renaming it into a claim folder of its own,
// "_processing/<host>.<pid>.<start>/", converts it there and moves it on from there; rename is
// atomic on one file system, so exactly one runner gets each source. A runner keeps its claim
// folder's modification time fresh while it runs. A claim folder whose runner is gone (on the
// same host: the process no longer exists; on another: not refreshed for the lease time) is
// taken over by whichever runner notices first, again by one rename, and its sources go back to
// the input folder.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace folvane::jobs {

// The folder inside the watched folder that holds the claim folders.
inline constexpr std::string_view kProcessingFolder = "_processing";

class ClaimFolder {
public:
    // `inputFolder` ends with "/". `host` names this runner's machine (the system's host name
    // when empty); `lease` is how long another host's claim may go unrefreshed.
    ClaimFolder(std::string inputFolder, std::string host, std::chrono::seconds lease);

    // Creates "_processing/" and this runner's claim folder; false with `error` set when that
    // cannot be done (the run must not start then).
    bool open(std::string& error);
    // The claim folder's path, ending with "/".
    const std::string& path() const { return m_path; }

    // Moves `source` (in the input folder) into the claim folder. The claimed path, or "" when
    // another runner took it first or it is gone.
    std::string claim(const std::string& source);
    // The path the claimed file had in the input folder.
    std::string originalPath(const std::string& claimed) const;

    // Marks the claim folder as alive; safe from any thread.
    void refresh() const;

    // Takes over the claim folders of runners that are gone and returns their sources to the
    // input folder (under a numbered name when the name was taken meanwhile). Returns the
    // sources returned.
    std::vector<std::string> recoverStale();

    // Returns whatever is left in this runner's own claim folder to the input folder and removes
    // the folder; called when the run ends.
    void close();

private:
    std::string m_input;
    std::string m_host;
    std::chrono::seconds m_lease;
    std::string m_name; // "<host>.<pid>.<start>"
    std::string m_path;
    int m_recoveries = 0;
};

// The system's host name, for claim folder names ("localhost" when it has none).
std::string hostName();

} // namespace folvane::jobs
