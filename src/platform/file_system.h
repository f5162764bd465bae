#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmor {

// File services of the platform. Every operation either succeeds or raises FileException
// (std::bad_alloc when memory runs out); none reports failure through a return value unless its
// comment says so. Calls block only as long as the operating system takes, except
// File::LockExclusive, which waits at most the time it is given.

using FileTime = std::chrono::system_clock::time_point;

enum FileAttribute : unsigned {
  kAttributeNormal = 0,
  kAttributeReadOnly = 0x01,
  // Kept for the Windows build; on Linux a file has no hidden attribute and it reads back as 0.
  kAttributeHidden = 0x02,
};

struct FileStatus {
  uint64_t size = 0;
  unsigned attributes = kAttributeNormal;
  // Where the platform keeps no creation time (Linux), it reads as the last status change and
  // cannot be set.
  FileTime created{};
  FileTime modified{};
  FileTime accessed{};
};

enum class OpenMode {
  kRead,            // existing file, read only
  kReadWrite,       // existing file, read and write
  kOpenOrCreate,    // read and write; created empty when missing, kept as it is otherwise
  kCreateTruncate,  // read and write; created when missing, emptied when present
  kCreateNew,       // read and write; fails when the path already exists
};

// An open file with a current position. Not shared between threads. Closing (or destroying)
// releases any lock held through it.
class File {
 public:
  virtual ~File() = default;

  // Reads up to `size` bytes at the current position and advances it; returns the count read,
  // fewer than asked only at the end of the file.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // Writes all `size` bytes at the current position and advances it.
  virtual void Write(const void* data, size_t size) = 0;
  virtual void Seek(uint64_t position) = 0;
  // Moves to the end and returns the new position (the length).
  virtual uint64_t SeekToEnd() = 0;
  virtual uint64_t Position() = 0;
  virtual uint64_t Length() = 0;
  // Truncates or extends the file; the position is left where it was.
  virtual void SetLength(uint64_t length) = 0;
  // Hands buffered data to the operating system. The files here hold no user-space buffer, so
  // this costs nothing; Sync is the expensive one.
  virtual void Flush() = 0;
  // Makes the file's content durable on its device (fsync).
  virtual void Sync() = 0;
  // Takes an exclusive lock on the whole file, held until the file is closed. Another holder
  // (another process, or another File on the same path in this process) makes it wait, polling,
  // for at most `wait`; returns false if the lock could not be had in that time.
  virtual bool LockExclusive(std::chrono::milliseconds wait) = 0;
  // Closes the file; later calls do nothing. Destruction closes too, without raising.
  virtual void Close() = 0;
  // Maps the file's first `length` bytes (at most its length) read-only and returns where they
  // start, valid until the file is closed or destroyed; the position is left as it was. nullptr,
  // never an exception, when this file is not mapped (an empty file, a failure, or a File that
  // does not map): the caller reads instead. Blocks only as long as the operating system takes
  // to bring the bytes in. Another process shrinking the file in place would make the lost bytes
  // fault on access, so only a file that no other account may write is mapped (on POSIX: owned
  // by this process's user, no write bit for group or others); ours are replaced by rename,
  // never truncated in place.
  virtual const unsigned char* MapForReading(uint64_t length) {
    (void)length;
    return nullptr;
  }
  // True when `path` still names this open file: it was not removed or replaced by a rename since
  // it was opened. Lets a holder of a lock tell that it locked a file someone has since replaced.
  // Files that cannot tell answer true.
  virtual bool IsAtPath(const std::string& path) {
    (void)path;
    return true;
  }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The process's file system: the operating system's, unless a test installed another.
  static FileSystem& Default();
  // Installs `fs` (not owned; nullptr restores the operating system's) and returns the previous
  // one. For tests that inject faults or observe calls.
  static FileSystem* SetDefault(FileSystem* fs);

  // Opens `path` without following a symbolic link in its last component and without waiting for
  // a FIFO or device, and keeps it only when it is a regular file: anything else raises, and is
  // left as it was (nothing read, written or truncated through it). A file created here is
  // private from the start: owner read and write, plus group read and write when its directory is
  // shared with its group (group write or setgid bit), never anything for others. An existing file
  // opened for writing loses the bits a new one would not get.
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode) = 0;
  // The status of an existing file or directory, or of a symbolic link itself (never its target);
  // nullopt when the path does not exist or cannot be examined (never raises for that).
  virtual std::optional<FileStatus> GetStatus(const std::string& path) = 0;
  // Sets the attributes and the modification and access times (and the creation time where the
  // platform keeps one). `size` is ignored. Refuses a symbolic link rather than follow it.
  virtual void SetStatus(const std::string& path, const FileStatus& status) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Renames `from` to `to`, replacing `to` in one step if it exists.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Creates the directory and its missing parents, each private to its owner (0700 on Linux); an
  // existing directory is fine and keeps its permissions.
  virtual void CreateDirectories(const std::string& path) = 0;
  // Makes a completed rename or remove in `directory` durable (fsync of the directory where the
  // platform needs it).
  virtual void SyncDirectory(const std::string& directory) = 0;
  // The names of the entries in `directory` (without "." and ".."), in no particular order.
  virtual std::vector<std::string> ListDirectory(const std::string& directory) = 0;
};

// The operating system's file system (one implementation file per platform).
FileSystem& OsFileSystem();

// A FileSystem that forwards every call to another one; tests derive from it to fail or observe
// particular calls.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& target) : target_(target) {}

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    return target_.Open(path, mode);
  }
  std::optional<FileStatus> GetStatus(const std::string& path) override {
    return target_.GetStatus(path);
  }
  void SetStatus(const std::string& path, const FileStatus& status) override {
    target_.SetStatus(path, status);
  }
  void Remove(const std::string& path) override { target_.Remove(path); }
  void Rename(const std::string& from, const std::string& to) override {
    target_.Rename(from, to);
  }
  void CreateDirectories(const std::string& path) override { target_.CreateDirectories(path); }
  void SyncDirectory(const std::string& directory) override { target_.SyncDirectory(directory); }
  std::vector<std::string> ListDirectory(const std::string& directory) override {
    return target_.ListDirectory(directory);
  }

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

// Directory part of a path (everything before the last separator), "." when there is none.
std::string DirectoryOf(const std::string& path);

// Replaces the file at `path` with `content` in one step: writes a new file `temporary` (which
// must not exist), flushes it and renames it over `path`, then flushes the directory. Raises
// FileException when the file cannot be written or renamed, after removing `temporary`; `path`
// is then as it was. A directory that cannot be flushed is not an error (the new file is in
// place; only its durability across a crash is in doubt).
void ReplaceFileContent(FileSystem& fs, const std::string& path, const std::string& temporary,
                        std::string_view content);

}  // namespace talmor
