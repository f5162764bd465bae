#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "platform/system_log.h"

namespace talmor {
namespace {

constexpr char kJournalSocket[] = "/run/systemd/journal/socket";
constexpr char kSyslogSocket[] = "/dev/log";

// One non-blocking datagram socket per process, opened on first use and kept.
int SharedSocket() {
  static std::mutex mutex;
  static int fd = -1;
  std::lock_guard<std::mutex> lock(mutex);
  if (fd < 0) fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd;
}

bool SendDatagram(const char* path, const std::string& payload) {
  const int fd = SharedSocket();
  sockaddr_un address{};
  if (fd < 0 || std::strlen(path) >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path);
  return sendto(fd, payload.data(), payload.size(), MSG_NOSIGNAL,
                reinterpret_cast<const sockaddr*>(&address), sizeof address) >= 0;
}

// Now as RFC 3339 local time with its offset: "2026-12-07T16:05:09+01:00".
std::string Timestamp() {
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return "";
  char text[40];
  char zone[8];
  if (strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0 ||
      strftime(zone, sizeof zone, "%z", &local) != 5) {
    return "";
  }
  return std::string(text) + std::string(zone, 3) + ":" + std::string(zone + 3, 2);
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace

void SendToSystemLog(const SystemLogEvent& event, const std::string& socket_path) {
  if (!socket_path.empty()) {
    SendDatagram(socket_path.c_str(), FormatRfc5424(event, Timestamp(), HostName(), getpid()));
    return;
  }
  if (SendDatagram(kJournalSocket, FormatJournalFields(event))) return;
  SendDatagram(kSyslogSocket, FormatRfc5424(event, Timestamp(), HostName(), getpid()));
}

}  // namespace talmor
