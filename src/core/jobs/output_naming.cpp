#include "jobs/output_naming.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_paths.h"
#include "app/setting_keys.h"
#include "app/settings_schema.h"

namespace folvane::jobs {

namespace {

// True unless something, even a dangling link, exists under the path. A name that cannot be
// looked up (a folder without search permission) counts as free: creating it then fails, which
// the job reports, instead of the search going on for ever.
bool nameIsFree(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) != 0;
}

// The longest file name Linux file systems take, in bytes.
constexpr size_t kNameLimit = 255;

// `name` cut to at most `limit` bytes, never inside a UTF-8 character.
std::string cutOnCharacter(const std::string& name, size_t limit)
{
    if (name.size() <= limit)
        return name;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::string numberedCandidate(const PathParts& parts, unsigned long long n, NamingStyle style)
{
    char number[32];
    if (style == NamingStyle::List)
        std::snprintf(number, sizeof number, "%03llu", n);
    else
        std::snprintf(number, sizeof number, "(NEW%03llu)", n);
    // A name near the limit is shortened to make room for the number, or the numbered file could
    // never be written.
    size_t room = parts.extension.size() + std::strlen(number) < kNameLimit
                      ? kNameLimit - parts.extension.size() - std::strlen(number)
                      : 0;
    return parts.drive + parts.folder + cutOnCharacter(parts.name, room) + number + parts.extension;
}

// Something, even a dangling link, lies under the path.
bool somethingExists(const std::string& path)
{
    return !nameIsFree(path);
}

} // namespace

OutputPaths loadOutputPaths(const app::SettingsStore& store, OutputPathsReader reader)
{
    std::string folder = reader == OutputPathsReader::FileList ? app::dataFolder() : std::string();
    std::string merged = reader == OutputPathsReader::FileList ? folder + std::string(app::kDefaultMergedFileName) : std::string();
    return OutputPaths {store.getString(app::key::mergedOutputPath, merged, kPathCapacity),
                        store.getString(app::key::perImageOutputFolder, folder, kPathCapacity),
                        store.getString(app::key::perFolderOutputFolder, folder, kPathCapacity)};
}

const std::string& outputPathOf(const OutputPaths& paths, int mode)
{
    static const std::string none;
    switch (mode) {
    case kMergeMode:
        return paths.merged;
    case kPerImageMode:
        return paths.perImageFolder;
    case kPerFolderMode:
        return paths.perFolderFolder;
    default:
        return none;
    }
}

PathParts splitPath(std::string_view path)
{
    PathParts parts;
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    parts.folder = std::string(path.substr(0, nameStart));
    std::string_view file = path.substr(nameStart);
    size_t dot = file.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        dot = file.size();
    parts.name = std::string(file.substr(0, dot));
    parts.extension = std::string(file.substr(dot));
    return parts;
}

std::string generatedNewName(std::string_view path, NamingStyle style)
{
    PathParts parts = splitPath(path);
    for (unsigned long long n = 1;; ++n) {
        std::string candidate = numberedCandidate(parts, n, style);
        if (nameIsFree(candidate))
            return candidate;
    }
}

std::string numberedName(std::string_view path)
{
    return generatedNewName(path, NamingStyle::List);
}

std::string newName(std::string_view path)
{
    return generatedNewName(path, NamingStyle::Watch);
}

std::string perImageOutputName(std::string_view folder, std::string_view imagePath)
{
    return std::string(folder) + splitPath(imagePath).name + ".pdf";
}

std::string folderOutputTitle(std::string_view imagePath)
{
    std::string folder = splitPath(imagePath).folder;
    std::string title;
    if (folder.size() >= 2) {
        folder.pop_back();
        size_t slash = folder.rfind('/');
        title = slash == std::string::npos ? folder : folder.substr(slash + 1);
    }
    // Windows names such a PDF after the drive ("C:"); the Linux root has no name of its own.
    return title.empty() ? "root" : title;
}

std::string perFolderOutputName(std::string_view folder, std::string_view imagePath)
{
    return std::string(folder) + folderOutputTitle(imagePath) + ".pdf";
}

std::string plannedPdfName(std::string_view imagePath, int mode, const OutputPaths& paths)
{
    switch (mode) {
    case kMergeMode:
        return paths.merged;
    case kPerImageMode:
        return perImageOutputName(paths.perImageFolder, imagePath);
    case kPerFolderMode:
        return perFolderOutputName(paths.perFolderFolder, imagePath);
    default:
        return {};
    }
}

std::string chosenMergedPath(std::string_view path)
{
    std::string chosen(path);
    if (chosen.size() < 4 || strcasecmp(chosen.c_str() + chosen.size() - 4, ".pdf") != 0)
        chosen += ".pdf";
    return chosen;
}

std::string chosenOutputFolder(std::string_view folder)
{
    std::string chosen(folder);
    if (chosen.empty() || chosen.back() != '/')
        chosen.push_back('/');
    return chosen;
}

namespace {

enum class Deletable { No, File, Link };

// What deleteUnlessReadOnly would find at `path`, without deleting anything.
Deletable deletability(const std::string& path)
{
    struct stat info;
    if (path.empty() || ::lstat(path.c_str(), &info) != 0)
        return Deletable::No;
    if (S_ISDIR(info.st_mode))
        return Deletable::No;
    // A link has no read-only state of its own; removing it leaves its target alone.
    if (S_ISLNK(info.st_mode))
        return Deletable::Link;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Deletable::No;
    return Deletable::File;
}

// Whether the folder holding `path` lets its entries be removed and added.
bool folderIsWritable(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

bool deleteUnlessReadOnly(const std::string& path)
{
    if (deletability(path) == Deletable::No)
        return false;
    return ::unlink(path.c_str()) == 0;
}

namespace {

// The naming rule of a file that must not replace anything: when another process takes the name
// first, the file takes the next free generated name, which `published` then holds.
engine::NamingRule freeNameRule(const std::string& wantedPath, NamingStyle style,
                                const std::shared_ptr<std::string>& published)
{
    engine::NamingRule rule;
    rule.mayReplace = false;
    rule.nextName = [wantedPath, style, published](const std::string&) {
        *published = generatedNewName(wantedPath, style);
        return *published;
    };
    return rule;
}

engine::NamingRule replacingRule()
{
    return engine::NamingRule {};
}

} // namespace

OutputDocument openOutputDocument(const std::string& wantedPath, const OutputPolicy& policy)
{
    OutputDocument out;
    out.path = wantedPath;
    out.publishedPath = std::make_shared<std::string>();
    auto create = [&](const std::string& path, const engine::NamingRule& naming) {
        engine::Opened opened = engine::Document::create(path, naming);
        if (opened.status.ok)
            out.document = std::move(opened.document);
    };
    // Only "Overwrite" and a name the user chose under "Ask always" may replace a file. Every
    // other name was free when it was chosen and is given to the finished file only if it still
    // is; otherwise the next free generated name is taken.
    auto createFree = [&](const std::string& path) {
        out.path = path;
        create(path, freeNameRule(wantedPath, policy.style, out.publishedPath));
    };
    if (!somethingExists(wantedPath)) {
        if (policy.policy == kOverwrite)
            create(wantedPath, replacingRule());
        else
            createFree(wantedPath);
        return out;
    }
    switch (policy.policy) {
    case kAskAlways: {
        std::string chosen = policy.observer ? policy.observer->askOutputName(wantedPath) : std::string();
        if (chosen.empty()) {
            createFree(generatedNewName(wantedPath, policy.style));
        } else {
            out.path = chosen;
            create(chosen, replacingRule());
        }
        return out;
    }
    case kOverwrite:
        // A file that could be deleted is kept until the new document is complete: the new file
        // replaces it when it is closed, so a conversion that fails leaves the old one in place.
        // A link is removed at once, so the new file takes the link's place and not its target's.
        switch (deletability(wantedPath)) {
        case Deletable::No:
            return out;
        case Deletable::Link:
            if (::unlink(wantedPath.c_str()) != 0)
                return out;
            break;
        case Deletable::File:
            if (!folderIsWritable(wantedPath))
                return out;
            break;
        }
        create(wantedPath, replacingRule());
        return out;
    case kCreateNewFile:
        createFree(generatedNewName(wantedPath, policy.style));
        return out;
    default:
        out.appending = true;
        if (wantedPath.empty())
            return out;
        engine::Opened opened = engine::Document::openForAppend(wantedPath);
        if (opened.status.ok) {
            out.document = std::move(opened.document);
            out.refusal = out.document.appendRefusal();
        } else if (opened.status.code == folvane::FailureCode::Refused) {
            out.refusal = opened.status.detail;
        }
        return out;
    }
}

bool outputNameTouches(const std::string& wantedPath, int policy, NamingStyle style,
                       const std::function<bool(const std::string&)>& taken)
{
    if (taken(wantedPath))
        return true;
    if (!somethingExists(wantedPath))
        return false;
    if (policy != kAskAlways && policy != kCreateNewFile)
        return false;
    // The same walk as generatedNewName: every candidate up to the first free one decides.
    PathParts parts = splitPath(wantedPath);
    for (unsigned long long n = 1;; ++n) {
        std::string candidate = numberedCandidate(parts, n, style);
        if (taken(candidate))
            return true;
        if (nameIsFree(candidate))
            return false;
    }
}

} // namespace folvane::jobs
