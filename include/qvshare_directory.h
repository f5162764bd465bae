// Where the host's shared library keeps its status slots and the host presence lock, on
// platforms where that library is the file-based stand-in (not Windows). Header-only so that the
// stand-in (qvshare/) and the security library's presence test (platform/host_presence_posix.cc)
// apply one rule without either linking the other. C++ only; not part of the C interface.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace qvshare {

// Name of the lock file, in the share directory, whose exclusive flock holder is the running
// host (it stands for the host's main window of that class).
inline constexpr char kHostLockFile[] = "QuorvaneWClass.lock";

// $QVSHARE_DIR, else $XDG_RUNTIME_DIR/qvshare, else /tmp/qvshare-<euid>; an empty variable
// counts as unset. Trailing slashes are dropped.
inline std::string ConfiguredDirectory() {
  std::string dir;
  if (const char* value = std::getenv("QVSHARE_DIR"); value != nullptr && *value != '\0') {
    dir = value;
  } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
             runtime != nullptr && *runtime != '\0') {
    dir = runtime;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += dir == "/" ? "qvshare" : "/qvshare";
  } else {
    dir = "/tmp/qvshare-" + std::to_string(static_cast<unsigned long>(::geteuid()));
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

namespace detail {

// Creates `path` and its missing parents (mode 0700 before the umask). Whether an existing
// directory may be used is decided by the caller.
inline void MakeDirectories(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string parent = path.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0 && errno == ENOENT) MakeDirectories(parent);
  }
  if (::mkdir(path.c_str(), 0700) == 0) {
    // The umask may have taken the owner's own bits; the directory must be exactly 0700.
    ::chmod(path.c_str(), 0700);
  }
}

}  // namespace detail

// A descriptor (O_DIRECTORY, close-on-exec) of the share directory `path`, or -1 when it is
// missing (and `create` is false) or must not be used. It is used only when it is a real
// directory, not a symbolic link, owned by this user, with no access at all for group or others:
// in a shared /tmp another user may have made it first, and then nothing in it can be trusted. A
// directory that fails the test is refused, never changed.
inline int OpenShareDirectory(const std::string& path, bool create) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
          (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        return -1;
      }
      return fd;
    }
    if (errno != ENOENT || !create) return -1;
    detail::MakeDirectories(path);
  }
  return -1;
}

// Opens `name` in the share directory `dir_fd` without following a symbolic link and without
// waiting for a FIFO or device, and keeps it only when it is a regular file owned by this user
// (then in blocking mode); -1 otherwise (errno is that of the failed open, or EPERM for a file
// that is not ours or not a regular file).
inline int OpenOwnFile(int dir_fd, const char* name, int flags, mode_t mode = 0600) {
  int fd;
  do {
    fd = ::openat(dir_fd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

}  // namespace qvshare
