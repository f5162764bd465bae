#include "platform/file_system.h"

#include <atomic>

#include "platform/file_exception.h"

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

void ReplaceFileContent(FileSystem& fs, const std::string& path, const std::string& temporary,
                        std::string_view content) {
  try {
    std::unique_ptr<File> file = fs.Open(temporary, OpenMode::kCreateNew);
    file->Write(content.data(), content.size());
    file->Sync();
    file->Close();
    fs.Rename(temporary, path);
  } catch (...) {
    try {
      fs.Remove(temporary);
    } catch (const FileException&) {
      // Never created, or already renamed.
    }
    throw;
  }
  try {
    fs.SyncDirectory(DirectoryOf(path));
  } catch (const FileException&) {
  }
}

}  // namespace talmor
