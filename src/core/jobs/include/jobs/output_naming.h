#pragma once
// Where the PDF files of the conversion jobs go and what they are called, and what happens when
// an output file exists already (the existing-file policy).
//
// Paths are UTF-8 byte strings with "/" as separator; output folders carry a trailing "/".
// Nothing here keeps state, so any thread may call these functions; openOutputDocument runs on
// the job's worker thread and asks its questions through the job's observer.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/settings_store.h"
#include "engine/engine.h"
#include "jobs/job_observer.h"

namespace folvane::jobs {

// How a job groups its images into PDF files ("outMode").
enum OutputMode : int {
    kMergeMode = 0,     // all images into the one file "outPath0"
    kPerImageMode = 1,  // one file per image in the folder "outPath1"
    kPerFolderMode = 2, // one file per source folder in the folder "outPath2"
};

// What to do when the output file exists ("exists"); any other value behaves as kAppend.
enum ExistsPolicy : int {
    kAskAlways = 0,
    kOverwrite = 1,
    kCreateNewFile = 2,
    kAppend = 3,
};

// Which generated new name a job uses: the file-list job numbers "MyPDF001.pdf", the
// watch-folder runner "MyPDF(NEW001).pdf".
enum class NamingStyle { List, Watch };

// The three stored output locations of a page.
struct OutputPaths {
    std::string merged;         // "outPath0": the merged PDF file
    std::string perImageFolder; // "outPath1"
    std::string perFolderFolder; // "outPath2"
};

// Room for a path read from the settings file: a Linux path may be far longer than the short
// texts of the other settings, and a path cut short would send the output somewhere else.
inline constexpr size_t kPathCapacity = 4096;

// Which page reads the paths: the file-list page falls back to the default output folder
// ("outPath0" to its "MyPDF.pdf"), the watch-folder page to empty paths.
enum class OutputPathsReader { FileList, WatchFolder };

// "outPath0" to "outPath2" of the settings file with the defaults of the reading page.
OutputPaths loadOutputPaths(const app::SettingsStore& store, OutputPathsReader reader);

// The path of `mode` (0 to 2): the merged file or the output folder; empty for another mode.
const std::string& outputPathOf(const OutputPaths& paths, int mode);

// A path split into its parts, so that drive + folder + name + extension gives it back. Linux
// paths have no drive, so `drive` is always empty. The folder keeps its trailing "/"; the
// extension starts at the name's last "." (a leading "." of a hidden file's name belongs to the
// name).
struct PathParts {
    std::string drive;
    std::string folder;
    std::string name;
    std::string extension;
};
PathParts splitPath(std::string_view path);

// The first free name made from path with "%s%s%s%03d%s" (drive, folder, name, n, extension) for
// n = 1, 2, ...: "MyPDF.pdf" gives "MyPDF001.pdf", or "MyPDF002.pdf" when that is taken. From
// 1000 on the number simply has more digits. A name is free when nothing at all exists under it
// (no file, folder or link, readable or not), so a generated name never replaces anything.
std::string numberedName(std::string_view path);

// As numberedName with "%s%s%s(NEW%03d)%s": "out.pdf" gives "out(NEW001).pdf".
std::string newName(std::string_view path);

// numberedName or newName by the style.
std::string generatedNewName(std::string_view path, NamingStyle style);

// Per-image output file: the folder, the image's file name without its extension, and ".pdf".
std::string perImageOutputName(std::string_view folder, std::string_view imagePath);

// The name of the PDF for an image's folder: the last component of the folder the image lies in.
// An image directly in "/" (or given without a folder) has no such component and gives "root".
std::string folderOutputTitle(std::string_view imagePath);

// Per-folder output file: the folder, folderOutputTitle of the image, and ".pdf".
std::string perFolderOutputName(std::string_view folder, std::string_view imagePath);

// The text of a row's "PDF Files" column: the output file the row's image goes to under `mode`
// ("outPath0" for merging), before any renaming by the existing-file policy. Empty for an
// unknown mode.
std::string plannedPdfName(std::string_view imagePath, int mode, const OutputPaths& paths);

// A merged file chosen by the user: ".pdf" is appended unless the path ends with ".pdf" in any
// letter case ("report" becomes "report.pdf").
std::string chosenMergedPath(std::string_view path);

// An output folder chosen by the user, with a "/" appended unless it ends with one.
std::string chosenOutputFolder(std::string_view folder);

// Deletes a file unless it is read-only: a file whose mode has no write permission bit counts as
// read-only and is refused, also when running as root, and so is a folder. A
// symbolic link is removed itself, not its target. True when the file is gone.
bool deleteUnlessReadOnly(const std::string& path);

// What openOutputDocument needs besides the wanted path.
struct OutputPolicy {
    int policy = kCreateNewFile; // ExistsPolicy, fixed for the whole job
    NamingStyle style = NamingStyle::List;
    JobObserver* observer = nullptr; // asked under kAskAlways; none behaves like Cancel
};

struct OutputDocument {
    engine::Document document;    // open when the output could be opened; the caller owns it
    std::string path;             // the path finally used (after renaming), also on failure
    bool appending = false;       // opened for appending to an existing PDF
    std::string refusal;          // why the engine refused to append; empty when it did not
    // Set when the name was taken by another process before the finished file could be given it,
    // to the free generated name the file was given instead; empty otherwise. Read it after the
    // document is closed.
    std::shared_ptr<std::string> publishedPath;

    bool isOpen() const { return document.isOpen(); }

    // The file the document was written to: `path`, or the name it took instead.
    std::string writtenPath() const { return publishedPath && !publishedPath->empty() ? *publishedPath : path; }
};

// Opens the output document for `wantedPath`. When nothing (not even a dangling link) exists at
// the path the document is created there. Otherwise, by the policy:
//   - kAskAlways: the observer is asked for a name; the chosen name is created exactly as given,
//     a cancelled question uses the generated new name;
//   - kOverwrite: when deleteUnlessReadOnly would refuse the existing file the result is a
//     failure (no open document) and the file stays as it was; otherwise the new document replaces it
//     when it is closed complete, and a document that fails leaves it as it was (an existing
//     symbolic link is removed at once, so the new file takes its place);
//   - kCreateNewFile: the generated new name is created;
//   - kAppend and any other value: the existing PDF is opened for appending.
// Only kOverwrite and a name chosen under kAskAlways may replace a file when the finished
// document takes its name. Every other name is given only while it is still free; when another
// process took it meanwhile, the next free generated name is taken (see publishedPath).
// A result without an open document means the output cannot be written; the job reports it.
OutputDocument openOutputDocument(const std::string& wantedPath, const OutputPolicy& policy);

// Whether openOutputDocument for `wantedPath` under `policy` and `style` would look at a path for
// which `taken` holds: the wanted path itself, or, when it exists and a new name would be
// generated, one of the numbered names tried before the first free one. Several documents that
// are written at once use it to find out whether an earlier, still open document can change the
// name chosen for a later one. The name a user chooses under kAskAlways is not known beforehand.
bool outputNameTouches(const std::string& wantedPath, int policy, NamingStyle style,
                       const std::function<bool(const std::string&)>& taken);

} // namespace folvane::jobs
