// Where a profile file lives on Linux: a name without a directory is in WindowsDirectory().

#include <string>

#include "platform/data_directory.h"
#include "platform/profile_file.h"

namespace talmor {

std::string ProfileFilePath(std::string_view file) {
  if (!file.empty() && file.front() == '/') return std::string(file);
  std::string dir = WindowsDirectory();
  if (dir != "/") dir.push_back('/');
  return dir + std::string(file);
}

}  // namespace talmor
