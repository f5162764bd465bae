#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <thread>

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace talmor {

namespace {

FileTime FromTimespec(const timespec& ts) {
  return FileTime(std::chrono::duration_cast<FileTime::duration>(std::chrono::seconds(ts.tv_sec) +
                                                                 std::chrono::nanoseconds(ts.tv_nsec)));
}

timespec ToTimespec(FileTime t) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1000000000;
    ts.tv_sec -= 1;
  }
  return ts;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override {
    Unmap();
    if (fd_ >= 0) ::close(fd_);
  }

  const unsigned char* MapForReading(uint64_t length) override {
    if (fd_ < 0 || length == 0 || length > SIZE_MAX || map_ != nullptr) return nullptr;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) < length)
      return nullptr;
    // A file that another account could truncate under the mapping (a data directory shared
    // with a group) is read instead: a fault there would end the host process.
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return nullptr;
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // the bytes are all read at once: fault them in with the mapping
#endif
    void* at = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, flags, fd_, 0);
    if (at == MAP_FAILED) return nullptr;
    map_ = at;
    map_length_ = static_cast<size_t>(length);
    return static_cast<const unsigned char*>(at);
  }

  size_t Read(void* buffer, size_t size) override {
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < size) {
      const ssize_t n = ::read(Fd(), out + total, size - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowLastOsError(path_, "read");
      }
      if (n == 0) break;
      total += static_cast<size_t>(n);
    }
    return total;
  }

  void Write(const void* data, size_t size) override {
    const auto* in = static_cast<const char*>(data);
    size_t total = 0;
    while (total < size) {
      const ssize_t n = ::write(Fd(), in + total, size - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowLastOsError(path_, "write");
      }
      total += static_cast<size_t>(n);
    }
  }

  void Seek(uint64_t position) override {
    if (::lseek(Fd(), static_cast<off_t>(position), SEEK_SET) < 0) ThrowLastOsError(path_, "seek");
  }

  uint64_t SeekToEnd() override {
    const off_t end = ::lseek(Fd(), 0, SEEK_END);
    if (end < 0) ThrowLastOsError(path_, "seek");
    return static_cast<uint64_t>(end);
  }

  uint64_t Position() override {
    const off_t pos = ::lseek(Fd(), 0, SEEK_CUR);
    if (pos < 0) ThrowLastOsError(path_, "seek");
    return static_cast<uint64_t>(pos);
  }

  uint64_t Length() override {
    struct stat st {};
    if (::fstat(Fd(), &st) != 0) ThrowLastOsError(path_, "stat");
    return static_cast<uint64_t>(st.st_size);
  }

  void SetLength(uint64_t length) override {
    while (::ftruncate(Fd(), static_cast<off_t>(length)) != 0) {
      if (errno != EINTR) ThrowLastOsError(path_, "truncate");
    }
  }

  void Flush() override { Fd(); }

  void Sync() override {
    if (::fsync(Fd()) != 0) ThrowLastOsError(path_, "sync");
  }

  bool LockExclusive(std::chrono::milliseconds wait) override {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::microseconds(200);
    for (;;) {
      if (::flock(Fd(), LOCK_EX | LOCK_NB) == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) ThrowLastOsError(path_, "lock");
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
  }

  bool IsAtPath(const std::string& path) override {
    struct stat mine {};
    struct stat named {};
    if (::fstat(Fd(), &mine) != 0) ThrowLastOsError(path_, "stat");
    if (::stat(path.c_str(), &named) != 0) return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
  }

  void Close() override {
    Unmap();
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowLastOsError(path_, "close");
  }

 private:
  int Fd() const {
    if (fd_ < 0) ThrowOsError(EBADF, path_, "use of closed file");
    return fd_;
  }

  void Unmap() {
    if (map_ != nullptr) ::munmap(map_, map_length_);
    map_ = nullptr;
  }

  int fd_;
  std::string path_;
  void* map_ = nullptr;
  size_t map_length_ = 0;
};

// Permission bits of a file created in `path`'s directory: 0600, or 0660 when the directory is
// shared with its group (it grants the group write access or has the setgid bit). Others never
// get any bit: the record files can be unscrambled and a readable audit file can be locked.
mode_t CreationMode(const std::string& path) {
  struct stat dir {};
  if (::stat(DirectoryOf(path).c_str(), &dir) == 0 && (dir.st_mode & (S_IWGRP | S_ISGID)) != 0) {
    return 0660;
  }
  return 0600;
}

class PosixFileSystem final : public FileSystem {
 public:
  // The one place where the library opens a file by name. The last component is never followed
  // when it is a symbolic link (ELOOP), the open never waits for a FIFO's other end or a device,
  // and the descriptor is kept only when it names a regular file; anything else is closed again
  // without a byte read or written and reported as "not a regular file". A file is created with
  // CreationMode's bits; an existing file opened for writing loses the bits that mode denies.
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenMode::kOpenOrCreate:
        flags |= O_RDWR | O_CREAT;
        break;
      case OpenMode::kCreateTruncate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
      case OpenMode::kCreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    }
    auto open = [&path](int how, mode_t bits) {
      int fd;
      do {
        fd = ::open(path.c_str(), how, bits);
      } while (fd < 0 && errno == EINTR);
      return fd;
    };
    // An existing file is the common case of kOpenOrCreate: it needs no look at the directory.
    int fd = mode == OpenMode::kOpenOrCreate ? open(flags & ~O_CREAT, 0) : -1;
    mode_t allowed = 0;
    if (fd < 0 && (mode != OpenMode::kOpenOrCreate || errno == ENOENT)) {
      if ((flags & O_CREAT) != 0) allowed = CreationMode(path);
      fd = open(flags, allowed);
    }
    if (fd < 0) ThrowLastOsError(path, "open");
    auto file = std::make_unique<PosixFile>(fd, path);  // closes fd on every way out
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowLastOsError(path, "stat");
    if (!S_ISREG(st.st_mode)) {
      throw FileException(FileException::Cause::kGeneric, path, 0,
                          "open " + path + ": not a regular file");
    }
    // Regular files never block; later reads and writes wait for the disk as usual.
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      ThrowLastOsError(path, "open");
    }
    if (mode != OpenMode::kRead && (st.st_mode & 0077) != 0) {
      const mode_t keep = allowed != 0 ? allowed : CreationMode(path);
      const mode_t narrowed = (st.st_mode & 0700) | (st.st_mode & keep & 0070);
      // Best effort: a file of another owner keeps its bits, and it is still used.
      if (narrowed != (st.st_mode & 07777)) (void)::fchmod(fd, narrowed);
    }
    return file;
  }

  std::optional<FileStatus> GetStatus(const std::string& path) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    FileStatus status;
    status.size = static_cast<uint64_t>(st.st_size);
    status.attributes = (st.st_mode & 0222) == 0 ? kAttributeReadOnly : kAttributeNormal;
    status.created = FromTimespec(st.st_ctim);
    status.modified = FromTimespec(st.st_mtim);
    status.accessed = FromTimespec(st.st_atim);
    return status;
  }

  void SetStatus(const std::string& path, const FileStatus& status) override {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) ThrowLastOsError(path, "stat");
    if (S_ISLNK(st.st_mode)) ThrowOsError(ELOOP, path, "set status of");
    mode_t mode = st.st_mode & 07777;
    if (status.attributes & kAttributeReadOnly) {
      mode &= ~static_cast<mode_t>(0222);
    } else {
      mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) {
      ThrowLastOsError(path, "chmod");
    }
    const timespec times[2] = {ToTimespec(status.accessed), ToTimespec(status.modified)};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) ThrowLastOsError(path, "set times of");
  }

  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) ThrowLastOsError(path, "remove");
  }

  void Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) ThrowLastOsError(from, "rename");
  }

  void CreateDirectories(const std::string& path) override {
    if (path.empty()) return;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return;
      ThrowOsError(ENOTDIR, path, "create directory");
    }
    const std::string parent = DirectoryOf(path);
    if (parent != path && parent != "." && parent != "/") CreateDirectories(parent);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
      ThrowLastOsError(path, "create directory");
    }
  }

  void SyncDirectory(const std::string& directory) override {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowLastOsError(directory, "open directory");
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems refuse fsync on a directory; the rename itself has happened.
    if (rc != 0 && err != EINVAL && err != EROFS) ThrowOsError(err, directory, "sync directory");
  }

  std::vector<std::string> ListDirectory(const std::string& directory) override {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) ThrowLastOsError(directory, "list directory");
    std::vector<std::string> names;
    try {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
      }
    } catch (...) {
      ::closedir(dir);
      throw;
    }
    ::closedir(dir);
    return names;
  }
};

}  // namespace

FileSystem& OsFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace talmor
