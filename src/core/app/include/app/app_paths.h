#pragma once
// Path helpers of the application. Paths are UTF-8 byte strings with "/" as separator;
// folders carry a trailing "/". None of these functions throws or changes the current
// directory, so any thread may call them.

#include <string>
#include <string_view>

namespace folvane::app {

// The product name, as it appears in folder names.
inline constexpr std::string_view kProductName = "Folvane";

namespace AppPaths {

// The folder of the running program (from /proc/self/exe, with its trailing "/") followed by
// `name`. Just `name` when the program's path cannot be found.
std::string modulePath(std::string_view name);

// Creates the folder named by the text before each "/" of `path`; folders that exist and
// failures are passed over. A last component without a trailing "/" is not created.
void createDirectories(std::string_view path);

// True when `path` names something other than a folder that can be opened for reading.
bool fileExists(std::string_view path);

// True when `path` is a folder that could be made the current directory (searchable).
bool folderExists(std::string_view path);

// True when `path` exists as a file or folder (a link counts when its target exists).
bool pathExists(std::string_view path);

// The user's home folder followed by "/Quillmar" and `suffix`.
std::string makeDataFolderPath(std::string_view suffix);

} // namespace AppPaths

// The default output folder: makeDataFolderPath of "/Folvane/", i.e. "$HOME/Quillmar/Folvane/".
std::string dataFolder();

// $HOME when it is an absolute path, otherwise the home folder of the user's account entry;
// without a trailing "/". Empty when neither is known.
std::string homeFolder();

} // namespace folvane::app
