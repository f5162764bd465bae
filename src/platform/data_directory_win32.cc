#include <windows.h>

#include "platform/data_directory.h"
#include "platform/environment.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"

namespace talmor {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True for "C:\" and "\" (and their forward-slash forms): a root keeps its separator.
bool IsRoot(const std::string& dir) {
  return dir.size() == 1 ? IsSeparator(dir[0])
                         : dir.size() == 3 && dir[1] == ':' && IsSeparator(dir[2]);
}

}  // namespace

std::string WindowsDirectory() {
  // QUORVANE_WINDIR, when set and not empty, stands for the Windows directory, as on Linux.
  std::string dir;
  if (std::optional<std::string> value = EnvironmentValue("QUORVANE_WINDIR")) {
    dir = *value;
  } else {
    char buffer[MAX_PATH + 1];
    const UINT length = ::GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length > 0 && length < sizeof buffer) dir.assign(buffer, length);
  }
  while (dir.size() > 1 && IsSeparator(dir.back()) && !IsRoot(dir)) dir.pop_back();
  if (!dir.empty()) {
    try {
      FileSystem::Default().CreateDirectories(dir);
    } catch (const FileException&) {
      // Reported when a file in it is opened.
    }
  }
  return dir;
}

std::string JoinDataPath(const std::string& directory, std::string_view name) {
  std::string path = directory;
  // A root already ends with its separator; the name's own leading one is not doubled.
  if (!path.empty() && IsSeparator(path.back()) && !name.empty() && IsSeparator(name.front())) {
    name.remove_prefix(1);
  }
  for (char c : name) path.push_back(c == '/' ? '\\' : c);
  return path;
}

}  // namespace talmor
