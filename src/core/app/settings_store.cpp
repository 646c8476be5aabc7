#include "app/settings_store.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ini_text.h"

namespace folvane::app {

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and is neither parsed
// nor rewritten.
constexpr off_t kMaxFileSize = 1 << 20;
constexpr const char* kTooLarge = "larger than 1 MiB, too large for a settings file";

// Temporary files of a write are named "<file>.tmp-XXXXXX" beside the file; the lock file is
// "<file>.lock".
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::string_view kLockSuffix = ".lock";

enum class FileState { Missing, Read, Unusable };

struct FileContents {
    FileState state = FileState::Missing;
    std::string text;
    struct stat info {};
    std::string problem; // why an Unusable file could not be read
};

// Reads the whole file. Only regular files count: opening without blocking keeps a FIFO or
// device at the path from hanging the caller.
FileContents readFile(const std::string& path)
{
    FileContents contents;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // A path below something that is not a folder names no file either.
        contents.state = errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unusable;
        contents.problem = std::strerror(errno);
        return contents;
    }
    contents.state = FileState::Unusable;
    if (::fstat(fd, &contents.info) != 0)
        contents.problem = std::strerror(errno);
    else if (S_ISDIR(contents.info.st_mode))
        contents.problem = std::strerror(EISDIR);
    else if (!S_ISREG(contents.info.st_mode))
        contents.problem = "not a regular file";
    else if (contents.info.st_size > kMaxFileSize)
        contents.problem = kTooLarge;
    else {
        char chunk[8192];
        while (contents.problem.empty()) {
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                contents.problem = std::strerror(errno);
            if (n <= 0)
                break;
            contents.text.append(chunk, static_cast<size_t>(n));
            if (contents.text.size() > static_cast<size_t>(kMaxFileSize))
                contents.problem = kTooLarge; // grew while being read
        }
        if (contents.problem.empty())
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
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string systemError()
{
    return std::strerror(errno);
}

// An exclusive flock on "<file>.lock", held for one read-modify-write, so that two processes
// changing different keys both keep their change. The lock file stays: removing it would let a
// third process lock a new file while another still holds the old one.
class FileLock {
public:
    explicit FileLock(const std::string& target)
    {
        std::string path = target + std::string(kLockSuffix);
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
        if (m_fd < 0) {
            m_problem = systemError();
            return;
        }
        int rc;
        do {
            rc = ::flock(m_fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0)
            m_problem = systemError();
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Empty when the lock is held.
    const std::string& problem() const { return m_problem; }

private:
    int m_fd = -1;
    std::string m_problem;
};

// Removes what an interrupted write left beside the file. Called with the lock held, when no
// other write is under way.
void removeStaleTemporaries(const std::string& target)
{
    size_t slash = target.rfind('/');
    std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    std::string prefix = target.substr(slash + 1) + std::string(kTemporaryInfix);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
            continue;
        struct stat info;
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

bool holdsPassword(const std::string& text)
{
    for (std::string_view key : {"user", "owner"}) {
        std::optional<std::string> value = findIniValue(text, kSettingsSection, key);
        if (value && !value->empty())
            return true;
    }
    return false;
}

// Writes a temporary file beside the target and renames it over the target. A new file gets
// mode 0600; a replaced file keeps its mode and, where permitted, its owner, except that a file
// holding a password is made private (0600). Returns the reason of a failure, empty on success.
std::string replaceFile(const std::string& target, const std::string& text, const struct stat* previous)
{
    std::string temp = target + std::string(kTemporaryInfix) + "XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return systemError();
    std::string problem;
    auto fail = [&problem] {
        if (problem.empty())
            problem = systemError();
    };
    mode_t mode = previous ? previous->st_mode & 07777 : 0600;
    if (holdsPassword(text))
        mode &= 0600;
    if (previous && (previous->st_uid != ::geteuid() || previous->st_gid != ::getegid()))
        if (::fchown(fd, previous->st_uid, previous->st_gid) != 0) {
            // Not permitted for others' files; the write still goes ahead as ours.
        }
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, text) || ::fdatasync(fd) != 0)
        fail();
    if (::close(fd) != 0)
        fail();
    if (problem.empty() && ::rename(temp.c_str(), target.c_str()) != 0)
        fail();
    if (!problem.empty())
        ::unlink(temp.c_str());
    return problem;
}

std::mutex& writeMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::atomic<bool> g_writesSuspended{false};

std::mutex& handlerMutex()
{
    static std::mutex mutex;
    return mutex;
}

SettingsStore::WriteFailureHandler& failureHandler()
{
    static SettingsStore::WriteFailureHandler handler;
    return handler;
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

std::string SettingsStore::readProblem() const
{
    FileContents contents = readFile(m_path);
    return contents.state == FileState::Unusable ? contents.problem : std::string();
}

bool SettingsStore::putString(std::string_view key, std::string_view text, std::string* reason) const
{
    const Entry entry{key, text};
    return putStrings(std::span<const Entry>(&entry, 1), reason);
}

bool SettingsStore::putStrings(std::span<const Entry> entries, std::string* reason) const
{
    if (g_writesSuspended)
        return true;
    std::string problem = write(entries);
    if (problem.empty())
        return true;
    if (reason)
        *reason = problem;
    WriteFailureHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex());
        handler = failureHandler();
    }
    if (handler)
        handler(m_path, problem);
    return false;
}

std::string SettingsStore::write(std::span<const Entry> entries) const
{
    std::lock_guard<std::mutex> lock(writeMutex());
    const std::string target = resolveLink(m_path);
    FileContents current = readFile(target);
    // The folders are made before the lock file can be put beside the settings file.
    if (current.state == FileState::Missing)
        createParentFolders(target);
    FileLock fileLock(target);
    if (!fileLock.problem().empty())
        return fileLock.problem();
    removeStaleTemporaries(target);
    current = readFile(target); // what another process may have written meanwhile
    if (current.state == FileState::Unusable)
        return current.problem; // never replace a file that could not be read whole
    std::string updated = current.text;
    for (const Entry& entry : entries) {
        // A key that cannot be stored is passed over, as a single write of it would be.
        if (std::optional<std::string> next = setIniValue(updated, kSettingsSection, entry.key, entry.text))
            updated = std::move(*next);
    }
    if (current.state == FileState::Read) {
        bool tighten = holdsPassword(updated) && (current.info.st_mode & 077) != 0;
        if (updated == current.text && !tighten)
            return {};
        return replaceFile(target, updated, &current.info);
    }
    if (updated.empty())
        return {};
    return replaceFile(target, updated, nullptr);
}

void SettingsStore::setWritesSuspended(bool suspended)
{
    g_writesSuspended = suspended;
}

bool SettingsStore::writesSuspended()
{
    return g_writesSuspended;
}

void SettingsStore::setWriteFailureHandler(WriteFailureHandler handler)
{
    std::lock_guard<std::mutex> lock(handlerMutex());
    failureHandler() = std::move(handler);
}

bool SettingsStore::putInt(std::string_view key, int value, std::string* reason) const
{
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    return putString(key, std::string_view(digits, static_cast<size_t>(result.ptr - digits)), reason);
}

} // namespace folvane::app
