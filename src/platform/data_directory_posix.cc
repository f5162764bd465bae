#include <cstdlib>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"

namespace talmor {

namespace {

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string WindowsDirectory() {
  std::string dir = EnvOrEmpty("QUORVANE_WINDIR");
  if (dir.empty()) {
    std::string base = EnvOrEmpty("XDG_DATA_HOME");
    if (base.empty()) {
      const std::string home = EnvOrEmpty("HOME");
      base = (home.empty() ? std::string("/tmp") : home) + "/.local/share";
    }
    dir = base + "/quorvane";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  try {
    FileSystem::Default().CreateDirectories(dir);
  } catch (const FileException&) {
    // Reported when a file in it is opened.
  }
  return dir;
}

std::string JoinDataPath(const std::string& directory, std::string_view name) {
  std::string path = directory;
  if (path == "/" && !name.empty() && (name.front() == '\\' || name.front() == '/')) path.clear();
  for (char c : name) path.push_back(c == '\\' ? '/' : c);
  return path;
}

}  // namespace talmor
