#pragma once
// A new output file while it is being written, in the folder of its final name. Preferably an
// unnamed file (O_TMPFILE), which the system removes by itself should the process die, and which
// receives a name only when it is complete; where the file system has no unnamed files, a hidden
// sibling ".<name>.XXXXXX" that a failed or abandoned write removes.
//
// A published file is on disk: the writer syncs its data before the name is given, and the
// folder is synced after, so a source deleted once its PDF is reported written cannot outlive
// the PDF in a power cut.

#include <functional>
#include <string>

namespace folvane::engine {

// How a finished file takes its name.
struct NamingRule {
    // True: whatever lies under the name is replaced (the replacement takes over the mode, owner
    // and group of the replaced file where the system permits). False: the file is given only a
    // name that nothing holds at that moment, checked by the call that gives it; when another
    // process took the name meanwhile, `nextName` is asked for another one.
    bool mayReplace = true;
    // Told the name found taken; returns the next name to try, or "" to give up.
    std::function<std::string(const std::string& taken)> nextName;
};

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
    // Gives the complete file its final name by the rule. A file that replaces nothing gets the
    // permissions of a newly created file. False, with nothing left behind, when that fails.
    bool publish(const NamingRule& rule = {});
    // The name the file was published under (the final path given to create, or one that
    // NamingRule::nextName gave).
    const std::string& finalPath() const { return m_finalPath; }
    // Drops the file; nothing of it remains.
    void discard();

private:
    bool publishUnnamed(const NamingRule& rule);
    bool publishSibling(const NamingRule& rule);
    bool replaceWithSibling();

    std::string m_finalPath;
    std::string m_writePath; // "/proc/self/fd/N" for an unnamed file, else the sibling's path
    std::string m_sibling;   // the named sibling, when one was made
    int m_fd = -1;           // the unnamed file, kept open until published or dropped
};

} // namespace folvane::engine
