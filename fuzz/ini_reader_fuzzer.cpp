// Reads and edits arbitrary settings text, in memory and through a settings file, and checks
// that a value once set reads back as stored while the other keys keep their values.
//
// Input layout: one byte key length (mod 32), the key, one byte value length, the value, one
// byte read capacity, then the INI text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

#include "ini_text.h"
#include "app/settings_store.h"

using namespace folvane::app;

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::string_view take(std::string_view& input, size_t n)
{
    std::string_view part = input.substr(0, n);
    input.remove_prefix(part.size());
    return part;
}

size_t takeLength(std::string_view& input, size_t modulo)
{
    return input.empty() ? 0 : static_cast<unsigned char>(take(input, 1)[0]) % modulo;
}

// Trimmed the way the reader trims names, to know which probes the edit may touch.
std::string_view trimmed(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A fresh empty file in $TMPDIR (default /tmp); empty when none can be made.
std::string makeScratchFile()
{
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && folder[0] ? folder : "/tmp") + "/ini_reader_fuzz_XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string key(take(input, takeLength(input, 32)));
    const std::string value(take(input, takeLength(input, 256)));
    const size_t capacity = takeLength(input, 256);
    const std::string text(input);

    static const char* const kProbes[] = {"quality", "hideMenu", "a", "title", "Settings", ""};
    std::optional<std::string> before[std::size(kProbes)];
    for (size_t i = 0; i < std::size(kProbes); ++i)
        before[i] = findIniValue(text, "Settings", kProbes[i]);
    findIniValue(text, key, value);

    std::optional<std::string> edited = setIniValue(text, "Settings", key, value);
    if (edited) {
        if (findIniValue(*edited, "Settings", key) != storableIniValue(value))
            std::abort();
        for (size_t i = 0; i < std::size(kProbes); ++i)
            if (!sameIgnoringCase(kProbes[i], trimmed(key)) && findIniValue(*edited, "Settings", kProbes[i]) != before[i])
                std::abort();
    }

    // The same through a file.
    const std::string path = makeScratchFile();
    if (path.empty())
        return 0;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        SettingsStore store(path);
        store.getInt(key, 7);
        if (store.getString(key, value, capacity).size() >= std::max<size_t>(capacity, 1))
            std::abort();
        store.putString(key, value);
        if (edited && store.getString(key, "", 1024) != storableIniValue(value))
            std::abort();
    }
    ::unlink(path.c_str());
    return 0;
}
