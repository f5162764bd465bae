// Private profile files through the system's own profile calls (GetPrivateProfileStringA and
// WritePrivateProfileStringA), always given a full path so that the file is the one
// ProfileFilePath names.

#include <windows.h>

// <windows.h> maps GetProfileString to the system's own call; here it is this library's.
#undef GetProfileString
#undef WriteProfileString

#include <algorithm>
#include <string>
#include <vector>

#include "platform/bounded_copy.h"
#include "platform/data_directory.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/profile_file.h"


namespace talmor {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAbsolute(std::string_view file) {
  return (!file.empty() && IsSeparator(file.front())) ||
         (file.size() >= 3 && file[1] == ':' && IsSeparator(file[2]));
}

// `s` up to its first line break: what a single line can carry.
std::string FirstLine(std::string_view s) {
  const size_t end = s.find_first_of("\r\n");
  return std::string(end == std::string_view::npos ? s : s.substr(0, end));
}

// The system call refuses to write a read-only file only by failing; it is checked first so that
// the refusal is an access error whatever the system's profile cache does.
void RefuseReadOnly(const std::string& path) {
  const auto status = FileSystem::Default().GetStatus(path);
  if (status && (status->attributes & kAttributeReadOnly) != 0) {
    ThrowOsError(ERROR_ACCESS_DENIED, path, "write profile file");
  }
}

}  // namespace

std::string ProfileFilePath(std::string_view file) {
  if (IsAbsolute(file)) return std::string(file);
  std::string dir = WindowsDirectory();
  if (dir.empty() || !IsSeparator(dir.back())) dir.push_back('\\');
  return dir + std::string(file);
}

std::string GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                             std::string_view def, size_t buffer_size) {
  if (buffer_size == 0) return std::string();
  const std::string path = ProfileFilePath(file);
  const std::string section_z(section), key_z(key), def_z(def);
  // The call cuts at its buffer; grow it until the value fits or the caller's size is reached.
  size_t capacity = std::min<size_t>(buffer_size, 1024);
  for (;;) {
    std::vector<char> buffer(capacity);
    const DWORD got = ::GetPrivateProfileStringA(section_z.c_str(), key_z.c_str(), def_z.c_str(),
                                                 buffer.data(), static_cast<DWORD>(capacity),
                                                 path.c_str());
    if (got + 1 < capacity || capacity >= buffer_size || capacity >= (1u << 24)) {
      return std::string(buffer.data(), std::min<size_t>(got, capacity - 1));
    }
    capacity = std::min(buffer_size, capacity * 4);
  }
}

size_t GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view def, char* buffer, size_t buffer_size) {
  if (buffer == nullptr || buffer_size == 0) return 0;
  return CopyToBuffer(GetProfileString(file, section, key, def, buffer_size), buffer, buffer_size);
}

void WriteProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  const std::string path = ProfileFilePath(file);
  RefuseReadOnly(path);
  const std::string section_z = FirstLine(section), key_z = FirstLine(key),
                    value_z = FirstLine(value);
  if (!::WritePrivateProfileStringA(section_z.c_str(), key_z.c_str(), value_z.c_str(),
                                    path.c_str())) {
    ThrowLastOsError(path, "write profile file");
  }
}

void DeleteProfileKey(std::string_view file, std::string_view section, std::string_view key) {
  const std::string path = ProfileFilePath(file);
  if (!FileSystem::Default().GetStatus(path)) return;
  RefuseReadOnly(path);
  const std::string section_z = FirstLine(section), key_z = FirstLine(key);
  if (!::WritePrivateProfileStringA(section_z.c_str(), key_z.c_str(), nullptr, path.c_str())) {
    ThrowLastOsError(path, "write profile file");
  }
}

}  // namespace talmor
