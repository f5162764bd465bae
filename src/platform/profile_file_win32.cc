// Where a profile file lives on Windows: a name without a directory is in WindowsDirectory(), as
// the system's own profile calls put it; a full path ("C:\...", "\\server\...", "\...") is used
// as it is. The file itself is read and written by profile_file.cc, which keeps every other line
// byte for byte and replaces the file in one step (the system calls rewrite the whole file in
// their own layout).

#include <string>

#include "platform/data_directory.h"
#include "platform/profile_file.h"

namespace talmor {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string ProfileFilePath(std::string_view file) {
  const bool absolute = (!file.empty() && IsSeparator(file.front())) ||
                        (file.size() >= 3 && file[1] == ':' && IsSeparator(file[2]));
  if (absolute) return std::string(file);
  std::string dir = WindowsDirectory();
  if (dir.empty() || !IsSeparator(dir.back())) dir.push_back('\\');
  return dir + std::string(file);
}

}  // namespace talmor
