#pragma once

#include <string>
#include <string_view>

namespace talmor {

// The directory that stands for the Windows directory: it holds the database files, the audit
// log pair and the profile file. On Linux it is $QUORVANE_WINDIR, or when that is unset or empty
// ${XDG_DATA_HOME:-$HOME/.local/share}/quorvane. Looked up afresh at every call; a missing
// directory is created (failure to create it is not reported here: opening a file in it fails
// later). Never ends with a separator unless it is the root.
std::string WindowsDirectory();

// `directory` followed by `name`, where `name` is written as the system writes its file names,
// with a leading backslash ("\USERS.REC"). Backslashes become the platform's separator.
std::string JoinDataPath(const std::string& directory, std::string_view name);

// JoinDataPath(WindowsDirectory(), name).
inline std::string DataFilePath(std::string_view name) {
  return JoinDataPath(WindowsDirectory(), name);
}

}  // namespace talmor
