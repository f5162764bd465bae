#include "platform/file_system.h"

#include <atomic>

namespace talmor {

namespace {
std::atomic<FileSystem*> g_installed{nullptr};
}  // namespace

FileSystem& FileSystem::Default() {
  FileSystem* fs = g_installed.load(std::memory_order_acquire);
  return fs != nullptr ? *fs : OsFileSystem();
}

FileSystem* FileSystem::SetDefault(FileSystem* fs) {
  return g_installed.exchange(fs, std::memory_order_acq_rel);
}

std::string DirectoryOf(const std::string& path) {
  const auto pos = path.find_last_of("/\\");
  if (pos == std::string::npos) return ".";
  if (pos == 0) return path.substr(0, 1);
  return path.substr(0, pos);
}

}  // namespace talmor
