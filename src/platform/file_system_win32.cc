#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace talmor {

namespace {

// FILETIME counts 100 ns intervals since 1601-01-01; the system clock counts since 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;

FileTime FromFileTime(const FILETIME& ft) {
  const int64_t ticks =
      (static_cast<int64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) - kEpochDifference;
  return FileTime(std::chrono::duration_cast<FileTime::duration>(
      std::chrono::duration<int64_t, std::ratio<1, 10000000>>(ticks)));
}

FILETIME ToFileTime(FileTime t) {
  const int64_t ticks =
      std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
          t.time_since_epoch())
          .count() +
      kEpochDifference;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

// Every handle shares reading, writing and deletion, so that files behave as they do on Linux:
// a file open elsewhere can still be read, replaced by a rename or removed. Mutual exclusion is
// the exclusive lock of File::LockExclusive.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The exclusive lock covers one byte far beyond any data these files hold. Windows byte-range
// locks are enforced on reads and writes of the range they cover; a range past the data keeps the
// lock advisory, so a holder's readers elsewhere are refused only the lock, never the bytes.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0;

// The volume and file index that identify an open file.
bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return ::GetFileInformationByHandle(handle, &info) != 0;
}

// Does not map (MapForReading keeps its null answer): a file with a mapped view refuses to be
// deleted or replaced by another process, which the database's saves rely on.
class Win32File final : public File {
 public:
  Win32File(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }

  size_t Read(void* buffer, size_t size) override {
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < size) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(Handle(), out + total, chunk, &got, nullptr)) {
        ThrowLastOsError(path_, "read");
      }
      if (got == 0) break;
      total += got;
    }
    return total;
  }

  void Write(const void* data, size_t size) override {
    const auto* in = static_cast<const char*>(data);
    size_t total = 0;
    while (total < size) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - total, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(Handle(), in + total, chunk, &put, nullptr)) {
        ThrowLastOsError(path_, "write");
      }
      total += put;
    }
  }

  void Seek(uint64_t position) override { Move(static_cast<int64_t>(position), FILE_BEGIN); }

  uint64_t SeekToEnd() override { return Move(0, FILE_END); }

  uint64_t Position() override { return Move(0, FILE_CURRENT); }

  uint64_t Length() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(Handle(), &size)) ThrowLastOsError(path_, "stat");
    return static_cast<uint64_t>(size.QuadPart);
  }

  void SetLength(uint64_t length) override {
    const uint64_t position = Position();
    Seek(length);
    const bool ok = ::SetEndOfFile(Handle()) != 0;
    const DWORD error = ::GetLastError();
    Seek(position);
    if (!ok) ThrowOsError(static_cast<int>(error), path_, "truncate");
  }

  void Flush() override { Handle(); }

  void Sync() override {
    if (!::FlushFileBuffers(Handle())) ThrowLastOsError(path_, "sync");
  }

  bool LockExclusive(std::chrono::milliseconds wait) override {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
      OVERLAPPED where{};
      where.Offset = kLockOffsetLow;
      where.OffsetHigh = kLockOffsetHigh;
      if (::LockFileEx(Handle(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &where)) {
        return true;
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        ThrowOsError(static_cast<int>(error), path_, "lock");
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
  }

  bool IsAtPath(const std::string& path) override {
    BY_HANDLE_FILE_INFORMATION mine;
    if (!FileIdentity(Handle(), mine)) ThrowLastOsError(path_, "stat");
    const HANDLE named = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION other;
    const bool known = FileIdentity(named, other);
    ::CloseHandle(named);
    if (!known) return false;
    return mine.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           mine.nFileIndexHigh == other.nFileIndexHigh &&
           mine.nFileIndexLow == other.nFileIndexLow;
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(handle)) ThrowLastOsError(path_, "close");
  }

 private:
  HANDLE Handle() const {
    if (handle_ == INVALID_HANDLE_VALUE) {
      ThrowOsError(ERROR_INVALID_HANDLE, path_, "use of closed file");
    }
    return handle_;
  }

  uint64_t Move(int64_t distance, DWORD method) {
    LARGE_INTEGER to;
    to.QuadPart = distance;
    LARGE_INTEGER now;
    if (!::SetFilePointerEx(Handle(), to, &now, method)) ThrowLastOsError(path_, "seek");
    return static_cast<uint64_t>(now.QuadPart);
  }

  HANDLE handle_;
  std::string path_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The rename request with POSIX semantics (FileRenameInfoEx): replaces `to` even when it is open
// elsewhere, as rename(2) does. False when the system refuses it; nothing has changed then.
bool ReplaceWithPosixSemantics(const std::string& from, const std::string& to) {
  constexpr DWORD kReplaceIfExists = 0x1;
  constexpr DWORD kPosixSemantics = 0x2;
  constexpr DWORD kIgnoreReadOnly = 0x40;
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  struct RenameInfo {
    DWORD flags;
    HANDLE root;
    DWORD name_bytes;
    WCHAR name[1];
  };
  char full[MAX_PATH * 2];
  const DWORD full_length = ::GetFullPathNameA(to.c_str(), sizeof full, full, nullptr);
  if (full_length == 0 || full_length >= sizeof full) return false;
  const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, full, -1, nullptr, 0);
  if (wide_length <= 0) return false;
  std::string storage(sizeof(RenameInfo) + sizeof(WCHAR) * static_cast<size_t>(wide_length), '\0');
  auto* info = reinterpret_cast<RenameInfo*>(storage.data());
  info->flags = kReplaceIfExists | kPosixSemantics | kIgnoreReadOnly;
  info->root = nullptr;
  info->name_bytes = static_cast<DWORD>(sizeof(WCHAR) * static_cast<size_t>(wide_length - 1));
  ::MultiByteToWideChar(CP_ACP, 0, full, -1, info->name, wide_length);
  const HANDLE handle = ::CreateFileA(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool done = ::SetFileInformationByHandle(handle, kRenameInfoEx, info,
                                                 static_cast<DWORD>(storage.size())) != 0;
  ::CloseHandle(handle);
  return done;
}

// The replace for systems that offer neither of the others while `to` is open (Wine; file
// systems without the POSIX request): the open target can itself be renamed, since every handle
// this library opens shares deletion. It moves aside to a name of its own in its directory,
// `from` takes its name, and the aside file is deleted (the system removes it once its last
// handle closes; those handles keep the replaced file, as on Linux). When `from` cannot move,
// the target moves back and false is returned with the error of the failed move. Unlike the
// one-step requests this is two steps: `to` is absent for the moment between the two moves, and
// should another process create a file by that name just then, the second move fails and the
// target stays under its aside name (kept, never deleted).
bool ReplaceOpenTarget(const std::string& from, const std::string& to) {
  static std::atomic<unsigned> counter{0};
  std::string aside;
  for (int attempt = 0; attempt < 16 && aside.empty(); ++attempt) {
    const std::string candidate = to + ".replaced-" + std::to_string(::GetCurrentProcessId()) +
                                  "-" + std::to_string(counter++);
    if (::MoveFileExA(to.c_str(), candidate.c_str(), 0)) {
      aside = candidate;
    } else if (::GetLastError() != ERROR_ALREADY_EXISTS && ::GetLastError() != ERROR_FILE_EXISTS) {
      return false;
    }
  }
  if (aside.empty()) return false;
  if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::MoveFileExA(aside.c_str(), to.c_str(), 0);
    ::SetLastError(error);
    return false;
  }
  const DWORD attributes = ::GetFileAttributesA(aside.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesA(aside.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  ::DeleteFileA(aside.c_str());
  return true;
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
      case OpenMode::kRead:
        access = GENERIC_READ;
        break;
      case OpenMode::kReadWrite:
        break;
      case OpenMode::kOpenOrCreate:
        disposition = OPEN_ALWAYS;
        break;
      case OpenMode::kCreateTruncate:
        disposition = CREATE_ALWAYS;
        break;
      case OpenMode::kCreateNew:
        disposition = CREATE_NEW;
        break;
    }
    // A reparse point (link, junction) is opened as itself, never followed.
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle =
        ::CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE && mode == OpenMode::kCreateTruncate &&
        ::GetLastError() == ERROR_ACCESS_DENIED) {
      // CREATE_ALWAYS refuses a hidden file; emptying an existing one is the same request.
      handle = ::CreateFileA(path.c_str(), access, kShareAll, nullptr, TRUNCATE_EXISTING, kFlags,
                             nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) ThrowLastOsError(path, "open");
    auto file = std::make_unique<Win32File>(handle, path);  // closes the handle on every way out
    // Only a plain disk file is used: not a device, pipe, directory or reparse point.
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      throw FileException(FileException::Cause::kGeneric, path, 0,
                          "open " + path + ": not a regular file");
    }
    return file;
  }

  std::optional<FileStatus> GetStatus(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FileStatus status;
    status.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    status.attributes = kAttributeNormal;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) status.attributes |= kAttributeReadOnly;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) status.attributes |= kAttributeHidden;
    status.created = FromFileTime(data.ftCreationTime);
    status.modified = FromFileTime(data.ftLastWriteTime);
    status.accessed = FromFileTime(data.ftLastAccessTime);
    return status;
  }

  void SetStatus(const std::string& path, const FileStatus& status) override {
    const DWORD current = ::GetFileAttributesA(path.c_str());
    if (current == INVALID_FILE_ATTRIBUTES) ThrowLastOsError(path, "stat");
    // The times first: writing attributes needs no write access to the data, so a read-only
    // file takes its times as well as any other.
    const bool directory = (current & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const HANDLE handle =
        ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                      directory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) ThrowLastOsError(path, "set times of");
    const FILETIME created = ToFileTime(status.created);
    const FILETIME accessed = ToFileTime(status.accessed);
    const FILETIME modified = ToFileTime(status.modified);
    const bool timed = ::SetFileTime(handle, &created, &accessed, &modified) != 0;
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    if (!timed) ThrowOsError(static_cast<int>(error), path, "set times of");

    DWORD attributes = current & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY |
                                                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NORMAL);
    if (status.attributes & kAttributeReadOnly) attributes |= FILE_ATTRIBUTE_READONLY;
    if (status.attributes & kAttributeHidden) attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    if (attributes != current && !::SetFileAttributesA(path.c_str(), attributes)) {
      ThrowLastOsError(path, "set attributes of");
    }
  }

  void Rename(const std::string& from, const std::string& to) override {
    // First as Linux renames: the target is replaced even while other handles hold it open
    // (they keep the replaced file). Systems that do not offer that refuse the request, and
    // the usual replace follows.
    if (ReplaceWithPosixSemantics(from, to)) return;
    // A read-only target refuses to be replaced on Windows, where Linux replaces it: its
    // attribute is lifted for the one-step replace and put back if the replace fails.
    const DWORD target = ::GetFileAttributesA(to.c_str());
    const bool lifted = target != INVALID_FILE_ATTRIBUTES &&
                        (target & FILE_ATTRIBUTE_READONLY) != 0 &&
                        (target & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                        ::SetFileAttributesA(to.c_str(), target & ~FILE_ATTRIBUTE_READONLY) != 0;
    if (!::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DWORD error = ::GetLastError();
      // A target that is open refuses that replace; it can still be moved aside.
      if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
          target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (ReplaceOpenTarget(from, to)) return;
        error = ::GetLastError();
      }
      if (lifted) ::SetFileAttributesA(to.c_str(), target);
      ThrowOsError(static_cast<int>(error), from, "rename");
    }
  }

  void Remove(const std::string& path) override {
    if (::DeleteFileA(path.c_str())) return;
    DWORD error = ::GetLastError();
    // Linux removes a write-protected file; Windows first wants the attribute off.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
      if (::DeleteFileA(path.c_str())) return;
      error = ::GetLastError();
      ::SetFileAttributesA(path.c_str(), attributes);
    }
    ThrowOsError(static_cast<int>(error), path, "remove");
  }

  void CreateDirectories(const std::string& path) override {
    if (path.empty()) return;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;
      ThrowOsError(ERROR_DIRECTORY, path, "create directory");
    }
    const std::string parent = DirectoryOf(path);
    // Stop at a root ("C:", "C:\", "\") or a path without a directory part.
    const bool parent_is_root = parent == "." || parent.empty() ||
                                (parent.size() == 1 && IsSeparator(parent[0])) ||
                                (parent.size() <= 3 && parent.size() >= 2 && parent[1] == ':');
    if (parent != path && !parent_is_root) CreateDirectories(parent);
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      ThrowLastOsError(path, "create directory");
    }
  }

  void SyncDirectory(const std::string& directory) override {
    // MOVEFILE_WRITE_THROUGH already made the rename durable; a directory has nothing else to
    // flush here. A missing directory is still an error, as on Linux.
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastOsError(directory, "open directory");
  }

  std::vector<std::string> ListDirectory(const std::string& directory) override {
    std::string pattern = directory;
    if (!pattern.empty() && !IsSeparator(pattern.back())) pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_NOT_FOUND) return names;
      ThrowLastOsError(directory, "list directory");
    }
    try {
      do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
      } while (::FindNextFileA(search, &found));
    } catch (...) {
      ::FindClose(search);
      throw;
    }
    ::FindClose(search);
    return names;
  }
};

}  // namespace

FileSystem& OsFileSystem() {
  static Win32FileSystem fs;
  return fs;
}

}  // namespace talmor
