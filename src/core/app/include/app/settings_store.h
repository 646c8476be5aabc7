#pragma once
// Access to the section "Settings" of the settings file, one key at a time.
//
// Every call goes to the file: nothing is cached, so a value written by one page or job is
// what the next reader sees. Reading never fails (a missing file, key or unreadable file gives
// the default); the front ends ask readProblem() once at start-up, so that a file that exists
// but cannot be read is reported instead of silently read as defaults. A write that cannot
// happen returns false with its reason and is passed to the write-failure handler. Calls may
// come from any thread; writes are serialised within the process by a mutex and between
// processes by an flock on "<file>.lock", so no change of another writer is lost.

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace folvane::app {

// Room for a text setting: a value reads back with at most kTextCapacity - 1 bytes.
inline constexpr size_t kTextCapacity = 256;

// The one section of the settings file.
inline constexpr std::string_view kSettingsSection = "Settings";

class SettingsStore {
public:
    // `path` is the full path of the settings file; it need not exist yet.
    explicit SettingsStore(std::string path);

    const std::string& path() const { return m_path; }

    // Why the settings file exists but cannot be read ("Permission denied", "Is a directory",
    // "not a regular file", too large), or empty when it can be read or does not exist.
    std::string readProblem() const;

    // The key's value read as a signed decimal integer from its leading digits (after an
    // optional sign): "12abc" reads 12, "abc" reads 0. A missing file or key, or an empty
    // value, gives `defaultValue`. Values beyond the int range read as its nearest end.
    int getInt(std::string_view key, int defaultValue) const;

    // The key's text, or `defaultValue` when the file or key is missing, cut to at most
    // capacity - 1 bytes. The cut never splits a UTF-8 character.
    std::string getString(std::string_view key, std::string_view defaultValue,
                          size_t capacity = kTextCapacity) const;

    // Writes or replaces the key's line, creating the file (mode 0600, its folder 0700) and
    // the section when absent; every other byte of the file stays as it was. The file is
    // replaced atomically, so a crash leaves either the old or the new file, and temporary files
    // an interrupted write left are removed. A file that then holds a password ("user" or
    // "owner" not empty) is made private (0600). Line breaks in `text` become spaces and a NUL
    // ends it. False when the file could not be written (an existing file that cannot be read
    // is never replaced), with the reason in `reason` when given. Writes are skipped (and
    // succeed) while suspended.
    bool putString(std::string_view key, std::string_view text, std::string* reason = nullptr) const;

    // putString with the integer in decimal ("%d").
    bool putInt(std::string_view key, int value, std::string* reason = nullptr) const;

    struct Entry {
        std::string_view key;
        std::string_view text;
    };
    // putString for several keys, in order, with a single replacement of the file: a page
    // that writes all its keys at once waits for the disk once instead of once per key.
    bool putStrings(std::span<const Entry> entries, std::string* reason = nullptr) const;

    // Process-wide: while suspended no settings file is written (the desktop application runs on
    // defaults after the user chose not to touch a file it could not read).
    static void setWritesSuspended(bool suspended);
    static bool writesSuspended();

    // Process-wide: called with the file's path and the reason whenever a write fails, on the
    // thread that wrote. The desktop application shows it; an empty function removes it.
    using WriteFailureHandler = std::function<void(const std::string& path, const std::string& reason)>;
    static void setWriteFailureHandler(WriteFailureHandler handler);

private:
    // One locked read-modify-write; the reason of a failure, empty on success.
    std::string write(std::span<const Entry> entries) const;

    std::string m_path;
};

} // namespace folvane::app
