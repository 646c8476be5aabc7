#pragma once
// A new output file while it is being written, in the folder of its final name. Preferably an
// unnamed file (O_TMPFILE), which the system removes by itself should the process die, and which
// receives a name only when it is complete; where the file system has no unnamed files, a hidden
// sibling ".<name>.XXXXXX" that a failed or abandoned write removes.

#include <string>

namespace folvane::engine {

class TemporaryOutput {
public:
    TemporaryOutput() = default;
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() { discard(); }

    // Creates the file that is to become finalPath; false when nothing could be created.
    bool create(const std::string& finalPath);
    // The path under which the writer opens the file for writing.
    const std::string& writePath() const { return m_writePath; }
    // Gives the complete file its final name (replacing what is there) with the permissions of a
    // newly created file. False, with nothing left behind, when that fails.
    bool publish();
    // Drops the file; nothing of it remains.
    void discard();

private:
    std::string m_finalPath;
    std::string m_writePath; // "/proc/self/fd/N" for an unnamed file, else the sibling's path
    std::string m_sibling;   // the named sibling, when one was made
    int m_fd = -1;           // the unnamed file, kept open until published or dropped
};

} // namespace folvane::engine
