#include "app/settings_store.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ini_text.h"

namespace folvane::app {

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and is neither parsed
// nor rewritten.
constexpr off_t kMaxFileSize = 1 << 20;

enum class FileState { Missing, Read, Unusable };

struct FileContents {
    FileState state = FileState::Missing;
    std::string text;
    struct stat info {};
};

// Reads the whole file. Only regular files count: opening without blocking keeps a FIFO or
// device at the path from hanging the caller.
FileContents readFile(const std::string& path)
{
    FileContents contents;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        contents.state = errno == ENOENT ? FileState::Missing : FileState::Unusable;
        return contents;
    }
    contents.state = FileState::Unusable;
    if (::fstat(fd, &contents.info) == 0 && S_ISREG(contents.info.st_mode) && contents.info.st_size <= kMaxFileSize) {
        char chunk[8192];
        bool ok = true;
        while (true) {
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            contents.text.append(chunk, static_cast<size_t>(n));
            if (contents.text.size() > static_cast<size_t>(kMaxFileSize)) {
                ok = false; // grew while being read
                break;
            }
        }
        if (ok)
            contents.state = FileState::Read;
        else
            contents.text.clear();
    }
    ::close(fd);
    return contents;
}

// Writes go to the file a symbolic link points at, so the link itself survives the rename.
std::string resolveLink(const std::string& path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// Creates the missing folder levels above the file, private to the user: the file can hold
// passwords.
void createParentFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes a temporary file beside the target and renames it over the target. A new file gets
// mode 0600; a replaced file keeps its mode and, where permitted, its owner.
void replaceFile(const std::string& target, const std::string& text, const struct stat* previous)
{
    std::string temp = target + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    bool ok = true;
    if (previous) {
        if (previous->st_uid != ::geteuid() || previous->st_gid != ::getegid())
            if (::fchown(fd, previous->st_uid, previous->st_gid) != 0) {
                // Not permitted for others' files; the write still goes ahead as ours.
            }
        ok = ::fchmod(fd, previous->st_mode & 07777) == 0;
    } else {
        ok = ::fchmod(fd, 0600) == 0;
    }
    ok = ok && writeAll(fd, text) && ::fdatasync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0)
        ::unlink(temp.c_str());
}

std::mutex& writeMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<std::string> readValue(const std::string& path, std::string_view key)
{
    FileContents contents = readFile(path);
    if (contents.state != FileState::Read)
        return std::nullopt;
    return findIniValue(contents.text, kSettingsSection, key);
}

// Sign and leading digits, saturating at the ends of the int range; no digits read as 0.
int parseLeadingInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude >= limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string cutToCapacity(std::string text, size_t capacity)
{
    if (capacity == 0)
        return {};
    const size_t limit = capacity - 1;
    if (text.size() <= limit)
        return text;
    // Back off to the first byte of the character the cut would split, when that is UTF-8.
    size_t cut = limit;
    for (int steps = 0; steps < 3 && cut > 0 && isContinuationByte(text[cut]); ++steps)
        --cut;
    if (cut != limit && static_cast<unsigned char>(text[cut]) < 0xC0)
        cut = limit; // not a UTF-8 sequence: cut at the byte limit
    text.resize(cut);
    return text;
}

} // namespace

SettingsStore::SettingsStore(std::string path) : m_path(std::move(path)) {}

int SettingsStore::getInt(std::string_view key, int defaultValue) const
{
    std::optional<std::string> value = readValue(m_path, key);
    // An empty value counts as absent, as with the Windows profile functions.
    if (!value || value->empty())
        return defaultValue;
    return parseLeadingInteger(*value);
}

std::string SettingsStore::getString(std::string_view key, std::string_view defaultValue, size_t capacity) const
{
    std::optional<std::string> value = readValue(m_path, key);
    return cutToCapacity(value ? std::move(*value) : std::string(defaultValue), capacity);
}

void SettingsStore::putString(std::string_view key, std::string_view text) const
{
    const Entry entry{key, text};
    putStrings(std::span<const Entry>(&entry, 1));
}

void SettingsStore::putStrings(std::span<const Entry> entries) const
{
    std::lock_guard<std::mutex> lock(writeMutex());
    const std::string target = resolveLink(m_path);
    FileContents current = readFile(target);
    if (current.state == FileState::Unusable)
        return; // never replace a file that could not be read whole
    std::string updated = current.text;
    for (const Entry& entry : entries) {
        // A key that cannot be stored is passed over, as a single write of it would be.
        if (std::optional<std::string> next = setIniValue(updated, kSettingsSection, entry.key, entry.text))
            updated = std::move(*next);
    }
    if (current.state == FileState::Read) {
        if (updated == current.text)
            return;
        replaceFile(target, updated, &current.info);
    } else if (!updated.empty()) {
        createParentFolders(target);
        replaceFile(target, updated, nullptr);
    }
}

void SettingsStore::putInt(std::string_view key, int value) const
{
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    putString(key, std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
}

} // namespace folvane::app
