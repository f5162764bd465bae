#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/host_presence.h"
#include "qvshare_directory.h"

namespace talmor {

bool IsHostWindowPresent() {
  // Not creating anything: no directory or no lock file means that no host ever ran here.
  const int dir_fd = qvshare::OpenShareDirectory(qvshare::ConfiguredDirectory(), false);
  if (dir_fd < 0) return false;
  const int fd = qvshare::OpenOwnFile(dir_fd, qvshare::kHostLockFile, O_RDONLY);
  ::close(dir_fd);
  if (fd < 0) return false;
  // A shared lock conflicts only with the host's exclusive one; held for this instant only, so
  // two libraries asking at once do not see each other.
  bool present = false;
  for (;;) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
      ::flock(fd, LOCK_UN);
      break;
    }
    if (errno == EINTR) continue;
    present = errno == EWOULDBLOCK;
    break;
  }
  ::close(fd);
  return present;
}

}  // namespace talmor
