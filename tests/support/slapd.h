#pragma once

// A real OpenLDAP server for directory tests: a temporary directory that slapd/setup.sh fills
// with a self-signed CA, a server certificate for 127.0.0.1, the configuration slapd/slapd.conf
// (mdb, memberof overlay) and the entries of slapd/lab.ldif; slapd runs as a child
// (support/process.h) on two free loopback ports, ldaps:// and ldap:// (which offers StartTLS), and
// is killed with the object. Settings time out after a second.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/profile_file.h"
#include "storage/database_files.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace talmor::testing {

class Slapd {
 public:
  static bool Installed() { return ::access("/usr/sbin/slapd", X_OK) == 0; }

  Slapd() {
    const std::string data = TALMOR_SLAPD_DATA_DIR;
    ready_ = std::system(
                 ("cd " + dir_.path() + " && sh " + data + "/setup.sh " + data + " >/dev/null 2>&1")
                     .c_str()) == 0;
    ports_[0] = Loopback(0), ports_[1] = Loopback(0);
    sockaddr_in silent{AF_INET,
                       htons(static_cast<uint16_t>(ports_[2] = Loopback(0))),
                       {htonl(INADDR_LOOPBACK)},
                       {}};
    ready_ = ready_ && ::bind(silent_, reinterpret_cast<sockaddr*>(&silent), sizeof silent) == 0 &&
             ::listen(silent_, 4) == 0;
    const std::string run = "cd " + dir_.path() + " && exec /usr/sbin/slapd -h '" + LdapsUrl() +
                            "/ " + LdapUrl() + "/' -f slapd.conf -d 0 2>/dev/null";
    if (ready_)
      server_.emplace([&] { return ::execl("/bin/sh", "sh", "-c", run.c_str(), nullptr); }, 3600);
    for (int i = 0; ready_ && !(Loopback(ports_[0]) && Loopback(ports_[1])); ++i) {
      ready_ = i < 400 && !server_->Ended();
      ::usleep(25000);
    }
  }

  ~Slapd() { ::close(silent_); }
  // False when the server could not be set up or did not answer.
  bool ready() const { return ready_; }
  void Stop() { server_.reset(); }
  std::string LdapsUrl() const { return "ldaps://127.0.0.1:" + std::to_string(ports_[0]); }
  std::string LdapUrl() const { return "ldap://127.0.0.1:" + std::to_string(ports_[1]); }
  // A listener that takes connections and never answers.
  std::string SilentUrl() const { return "ldaps://127.0.0.1:" + std::to_string(ports_[2]); }

  // Writes the Directory section of the data directory's "qvtalmor.ini" for this server: ldaps,
  // its CA, the search account (its password in `password_file`, private), and the directory
  // groups Chemists, Analysts and Visitors mapped to the local groups of the same names.
  void Configure(const std::string& password_file) const {
    std::ofstream(password_file) << "readerpw\n";
    ::chmod(password_file.c_str(), 0600);
    const std::pair<const char*, std::string> keys[] = {
        {"Url", LdapsUrl()},
        {"CACertificate", dir_.File("ca.pem")},
        {"BaseDN", "dc=lab,dc=test"},
        {"SearchBindDN", "cn=reader,dc=lab,dc=test"},
        {"SearchBindPasswordFile", password_file},
        {"TimeoutSeconds", "1"},
        {"Group.1", "CN=Chemists, DC=lab,DC=test|Chemists"},
        {"Group.2", "cn=Analysts,dc=lab,dc=test|Analysts"},
        {"Group.3", "cn=Visitors,dc=lab,dc=test|Visitors"}};
    for (const auto& [key, value] : keys)
      WriteProfileString("qvtalmor.ini", "Directory", key, value);
  }

 private:
  // With port 0 a free loopback port; otherwise whether something accepts on `port`.
  static int Loopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    const int result =
        port != 0 ? ::connect(fd, a, size) == 0
                  : (::bind(fd, a, size), ::getsockname(fd, a, &size), ntohs(address.sin_port));
    ::close(fd);
    return result;
  }

  TempDir dir_;
  bool ready_ = false;
  int ports_[3] = {};
  int silent_ = ::socket(AF_INET, SOCK_STREAM, 0);
  std::optional<Child> server_;
};

// The local database the directory tests share: the groups Chemists, Analysts and Visitors,
// holding rights 3, 7 and 9, and a local account "erin" (localpw) in none of them.
inline void SaveLabDatabase() {
  SecurityDatabase db;
  db.AddUser(UserRecord("erin", "", "", "localpw"));
  const std::pair<const char*, int> groups[] = {{"Chemists", 3}, {"Analysts", 7}, {"Visitors", 9}};
  for (const auto& [group, right] : groups) {
    db.AddGroup(GroupRecord(group, ""));
    RightRecord record(right);
    record.AddMember(group);
    db.EditRight(right, record);
  }
  SecurityOptions options;
  options.AuditEnable = options.AuditOther = 1;
  SaveSecurityDatabase(db, options);
}

// Bit n set when `has(n)` holds, for the rights of the mapped groups and right 12 (none's).
template <typename Has>
int HeldRights(const Has& has) {
  int bits = 0;
  for (int right : {3, 7, 9, 12}) bits |= (has(right) != 0) << right;
  return bits;
}

}  // namespace talmor::testing
