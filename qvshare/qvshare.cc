// Status slots and host presence kept in a per-user directory: one small file per slot, replaced
// by rename so that readers in other processes see whole strings, and a lock file whose exclusive
// flock holder is the running host.

#include "qvshare.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvshare_directory.h"

namespace {

class ShareDirectory {
 public:
  explicit ShareDirectory(bool create)
      : fd_(qvshare::OpenShareDirectory(qvshare::ConfiguredDirectory(), create)) {}
  ~ShareDirectory() {
    if (fd_ >= 0) ::close(fd_);
  }
  ShareDirectory(const ShareDirectory&) = delete;
  ShareDirectory& operator=(const ShareDirectory&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::string SlotFileName(int slot) {
  char name[32];
  std::snprintf(name, sizeof name, "slot.%d", slot);
  return name;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void SetSlot(int slot, const char* text) {
  ShareDirectory dir(/*create=*/true);
  if (!dir.ok()) return;
  static std::atomic<unsigned> counter{0};
  const std::string name = SlotFileName(slot);
  const std::string temp = name + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
  int fd;
  do {
    fd = ::openat(dir.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  const bool written = WriteAll(fd, text, std::strlen(text));
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::renameat(dir.fd(), temp.c_str(), dir.fd(), name.c_str()) != 0) {
    ::unlinkat(dir.fd(), temp.c_str(), 0);
  }
}

void GetSlot(int slot, char* buffer, int size) {
  buffer[0] = '\0';
  ShareDirectory dir(/*create=*/false);
  if (!dir.ok()) return;
  const int fd = qvshare::OpenOwnFile(dir.fd(), SlotFileName(slot).c_str(), O_RDONLY);
  if (fd < 0) return;
  const size_t capacity = static_cast<size_t>(size) - 1;
  size_t total = 0;
  while (total < capacity) {
    const ssize_t n = ::read(fd, buffer + total, capacity - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      total = 0;  // a failed read gives the empty string, never a partial one
      break;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  buffer[total] = '\0';
}

// Empties every status slot (and removes slot files a killed writer left half made): the slots
// belong to one running host and must not outlive it.
void ClearSlots(int dir_fd) {
  const int list_fd = ::dup(dir_fd);
  if (list_fd < 0) return;
  DIR* dir = ::fdopendir(list_fd);
  if (dir == nullptr) {
    ::close(list_fd);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, "slot.", 5) == 0) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) ::unlinkat(dir_fd, name.c_str(), 0);
}

// The presence lock held by this process: its descriptor and the process that took it (a child
// created by fork inherits the descriptor but does not hold the lock in its own right).
std::mutex g_presence_mutex;
int g_presence_fd = -1;
pid_t g_presence_pid = 0;

// Drops an inherited descriptor without touching the lock, which belongs to the parent: flock
// locks belong to the open file description, which parent and child share.
void ForgetInheritedPresence() {
  if (g_presence_fd >= 0 && g_presence_pid != ::getpid()) {
    ::close(g_presence_fd);
    g_presence_fd = -1;
  }
}

int AcquirePresence() {
  std::lock_guard<std::mutex> lock(g_presence_mutex);
  ForgetInheritedPresence();
  if (g_presence_fd >= 0) return 1;
  ShareDirectory dir(/*create=*/true);
  if (!dir.ok()) return 0;
  const int fd = qvshare::OpenOwnFile(dir.fd(), qvshare::kHostLockFile, O_RDWR | O_CREAT);
  if (fd < 0) return 0;
  // A library testing for presence holds a shared lock for an instant; wait that out, but not
  // for another host, which holds the lock for as long as it runs.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Nobody held presence: a new host session starts with nobody logged on.
      ClearSlots(dir.fd());
      g_presence_fd = fd;
      g_presence_pid = ::getpid();
      return 1;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(fd);
  return 0;
}

void ReleasePresence() {
  std::lock_guard<std::mutex> lock(g_presence_mutex);
  ForgetInheritedPresence();
  if (g_presence_fd < 0) return;
  ::flock(g_presence_fd, LOCK_UN);
  ::close(g_presence_fd);
  g_presence_fd = -1;
}

}  // namespace

extern "C" {

void QVStatusSetString(int slot, const char* text) {
  try {
    SetSlot(slot, text != nullptr ? text : "");
  } catch (...) {
    // Out of memory: the slot keeps its old value.
  }
}

void QVStatusGetString(int slot, char* buffer, int size) {
  if (buffer == nullptr || size < 1) return;
  try {
    GetSlot(slot, buffer, size);
  } catch (...) {
    buffer[0] = '\0';
  }
}

int QVHostPresenceAcquire(void) {
  try {
    return AcquirePresence();
  } catch (...) {
    return 0;
  }
}

void QVHostPresenceRelease(void) {
  try {
    ReleasePresence();
  } catch (...) {
    // std::mutex failures only; nothing held can be lost here.
  }
}

}  // extern "C"
