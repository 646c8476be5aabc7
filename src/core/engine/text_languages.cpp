// Which text recognition languages are installed, and the check made before a job starts: the
// recognition module must load, and a language whose data file is missing is named with the
// Debian package that brings it.
#include "engine/engine.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "text_module.h"
#include "text_recognition.h"

namespace folvane::engine {

namespace {

constexpr std::string_view kDataSuffix = ".traineddata";

// Letters, digits and "_" (as in "chi_sim"), optionally below one folder ("script/Latin").
bool wellFormedCode(const std::string& code)
{
    if (code.empty() || code.front() == '/' || code.back() == '/' || std::count(code.begin(), code.end(), '/') > 1)
        return false;
    return std::all_of(code.begin(), code.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '/';
    });
}

// The Debian package of a language: "chi_sim" comes with tesseract-ocr-chi-sim.
std::string packageOf(const std::string& code)
{
    std::string name;
    for (char c : code)
        name += c == '_' || c == '/' ? '-' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return "tesseract-ocr-" + name;
}

std::vector<std::string> splitLanguages(const std::string& languages)
{
    std::vector<std::string> codes;
    size_t start = 0;
    while (true) {
        size_t plus = languages.find('+', start);
        codes.push_back(languages.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
        if (plus == std::string::npos)
            return codes;
        start = plus + 1;
    }
}

} // namespace

std::vector<std::string> installedTextLanguages()
{
    std::vector<std::string> languages;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(textDataFolder(), error)) {
        std::string name = entry.path().filename().string();
        if (name.size() <= kDataSuffix.size() || !name.ends_with(kDataSuffix))
            continue;
        name.resize(name.size() - kDataSuffix.size());
        if (name != "osd" && name != "equ")
            languages.push_back(name);
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::string textRecognitionProblem(const std::string& requested)
{
    const std::string languages = requested.empty() ? "eng" : requested;
    std::string missing;
    if (!textModule(missing))
        return missing;
    for (const std::string& code : splitLanguages(languages)) {
        if (!wellFormedCode(code))
            return "\"" + languages + "\" is not a list of text recognition languages (codes such as eng or "
                   "chi_sim joined by +)";
        std::error_code error;
        if (!std::filesystem::is_regular_file(textDataFolder() + "/" + code + std::string(kDataSuffix), error))
            return "the text recognition language \"" + code + "\" is not installed (install the package " +
                   packageOf(code) + ")";
    }
    return {};
}

} // namespace folvane::engine
