#include "autostart.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/app_paths.h"

namespace folvane::gui {

namespace {

constexpr char kEntryName[] = "Folvane.desktop";

std::string autostartFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        std::string home = app::homeFolder();
        if (home.empty())
            return {};
        folder = home + "/.config";
    }
    if (folder.back() != '/')
        folder += '/';
    return folder + "autostart/";
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string autostartEntryPath()
{
    std::string folder = autostartFolder();
    return folder.empty() ? std::string() : folder + kEntryName;
}

std::string desktopExecArgument(const std::string& program)
{
    static constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`";
    if (program.empty() || program.find_first_of("\n\r") != std::string::npos)
        return {};
    // The argument as the Exec line means it: "%" starts a field code, so a plain one is doubled;
    // a quoted argument escapes four characters with a backslash.
    bool quote = program.find_first_of(kReserved) != std::string::npos;
    std::string argument = quote ? "\"" : "";
    for (char c : program) {
        if (c == '%')
            argument += '%';
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            argument += '\\';
        argument += c;
    }
    if (quote)
        argument += '"';
    // The entry's string values escape every backslash once more.
    std::string written;
    for (char c : argument) {
        if (c == '\\')
            written += '\\';
        written += c;
    }
    return written;
}

std::string autostartEntryText(const std::string& program)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Folvane\n"
           "Exec=" + desktopExecArgument(program) + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool writeAutostartEntry(const std::string& program)
{
    std::string path = autostartEntryPath();
    if (path.empty() || desktopExecArgument(program).empty())
        return false;
    app::AppPaths::createDirectories(autostartFolder());
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, autostartEntryText(program)) && ::fchmod(fd, 0644) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(name.data(), path.c_str()) == 0)
        return true;
    ::unlink(name.data());
    return false;
}

bool removeAutostartEntry()
{
    std::string path = autostartEntryPath();
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

std::string runningProgramPath()
{
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size())
        return {};
    return std::string(buffer.data(), static_cast<size_t>(n));
}

} // namespace folvane::gui
