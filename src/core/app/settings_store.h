#pragma once
// Access to the section "Settings" of the settings file, one key at a time.
//
// Every call goes to the file: nothing is cached, so a value written by one page or job is
// what the next reader sees. Reading never fails (a missing file, key or unreadable file gives
// the default); writing fails silently, as the rest of the program expects. Calls may come from
// any thread; writes within the process are serialised so none is lost.

#include <cstddef>
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
    // replaced atomically, so a crash leaves either the old or the new file. Line breaks in
    // `text` become spaces and a NUL ends it.
    void putString(std::string_view key, std::string_view text) const;

    // putString with the integer in decimal ("%d").
    void putInt(std::string_view key, int value) const;

    struct Entry {
        std::string_view key;
        std::string_view text;
    };
    // putString for several keys, in order, with a single replacement of the file: a page
    // that writes all its keys at once waits for the disk once instead of once per key.
    void putStrings(std::span<const Entry> entries) const;

private:
    std::string m_path;
};

} // namespace folvane::app
