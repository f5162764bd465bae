#pragma once

// A real OpenLDAP server for directory tests: a temporary directory with a self-signed CA, a
// server certificate for 127.0.0.1, a configuration (mdb, memberof overlay) and the LDIF below
// loaded by slapadd; slapd runs as a child (support/process.h) on two free loopback ports,
// ldaps:// and ldap:// (which offers StartTLS), and is killed with the object.
//
// Entries under dc=lab,dc=test (passwords: the uid followed by "pw"): ann (memberOf Chemists,
// a uniqueMember of Analysts), bob and erin (members of Visitors), carl (a member of Others
// only); cn=reader, the search account (readerpw). Only the reader and an entry itself may read.

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/profile_file.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace talmor::testing {

inline constexpr char kSlapdProgram[] = "/usr/sbin/slapd";
inline constexpr char kLabBase[] = "dc=lab,dc=test";

class Slapd {
 public:
  static bool Installed() { return ::access(kSlapdProgram, X_OK) == 0; }

  Slapd() {
    const std::string d = dir_.path();
    const std::string ssl = "openssl req -newkey rsa:2048 -nodes -days 2 ";
    std::ofstream(dir_.File("ext")) << "subjectAltName=IP:127.0.0.1\n";
    ready_ = std::system(("(cd " + d + " && " + ssl + "-x509 -keyout ca.key -out ca.pem -subj /CN=LabCA && " +
                          ssl + "-keyout server.key -out server.csr -subj /CN=127.0.0.1 && openssl x509 -req "
                          "-in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out server.pem "
                          "-extfile ext && mkdir db) >/dev/null 2>&1").c_str()) == 0;
    std::ofstream(dir_.File("slapd.conf"))
        << "include /etc/ldap/schema/core.schema\ninclude /etc/ldap/schema/cosine.schema\n"
           "include /etc/ldap/schema/inetorgperson.schema\nmodulepath /usr/lib/ldap\n"
           "moduleload back_mdb\nmoduleload memberof\n"
        << "TLSCACertificateFile " << d << "/ca.pem\nTLSCertificateFile " << d
        << "/server.pem\nTLSCertificateKeyFile " << d << "/server.key\n"
        << "database mdb\nsuffix " << kLabBase << "\nrootdn cn=admin," << kLabBase
        << "\ndirectory " << d << "/db\noverlay memberof\n"
        << "access to attrs=userPassword by anonymous auth by * none\n"
        << "access to * by dn.exact=\"cn=reader," << kLabBase
        << "\" read by self read by anonymous auth by * none\n";
    std::string ldif = Entry("dc=lab", "objectClass: dcObject\nobjectClass: organization\no: lab\n");
    ldif += Entry("cn=reader", "objectClass: person\ncn: reader\nsn: reader\nuserPassword: readerpw\n");
    for (const char* uid : {"ann", "bob", "carl", "erin"}) {
      ldif += Entry(std::string("uid=") + uid, std::string("objectClass: inetOrgPerson\nsn: x\ncn: ") + uid +
                    "\nuserPassword: " + uid + "pw\n" +
                    (uid == std::string("ann") ? "memberOf: cn=Chemists,dc=lab,dc=test\n" : ""));
    }
    ldif += Entry("cn=Analysts", "objectClass: groupOfUniqueNames\ncn: Analysts\nuniqueMember: " + Dn("ann") + "\n");
    ldif += Entry("cn=Visitors", "objectClass: groupOfNames\ncn: Visitors\nmember: " + Dn("bob") + "\nmember: " + Dn("erin") + "\n");
    ldif += Entry("cn=Others", "objectClass: groupOfNames\ncn: Others\nmember: " + Dn("carl") + "\n");
    std::ofstream(dir_.File("data.ldif")) << ldif;
    ready_ = ready_ && std::system(("/usr/sbin/slapadd -f " + d + "/slapd.conf -l " + d +
                                    "/data.ldif >/dev/null 2>&1").c_str()) == 0;
    ldaps_port_ = FreePort();
    ldap_port_ = FreePort();
    ready_ = ready_ && Start();
  }

  // False when the server could not be set up or did not answer.
  bool ready() const { return ready_; }
  void Stop() { server_.reset(); }

  std::string LdapsUrl() const { return "ldaps://127.0.0.1:" + std::to_string(ldaps_port_); }
  std::string LdapUrl() const { return "ldap://127.0.0.1:" + std::to_string(ldap_port_); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  static std::string Dn(const std::string& uid) { return "uid=" + uid + "," + kLabBase; }

  // Writes the Directory section of the data directory's "qvtalmor.ini" for this server: ldaps,
  // its CA, the search account (its password in `password_file`, private), and the groups
  // Chemists, Analysts and Visitors mapped to local groups of the same names.
  void Configure(const std::string& password_file) const {
    std::ofstream(password_file) << "readerpw\n";
    ::chmod(password_file.c_str(), 0600);
    const std::pair<const char*, std::string> keys[] = {
        {"Url", LdapsUrl()}, {"CACertificate", File("ca.pem")}, {"BaseDN", kLabBase},
        {"SearchBindDN", std::string("cn=reader,") + kLabBase}, {"SearchBindPasswordFile", password_file},
        {"TimeoutSeconds", "3"}, {"Group.1", std::string("CN=Chemists, DC=lab,DC=test|Chemists")},
        {"Group.2", std::string("cn=Analysts,") + kLabBase + "|Analysts"},
        {"Group.3", std::string("cn=Visitors,") + kLabBase + "|Visitors"}};
    for (const auto& [key, value] : keys) WriteProfileString("qvtalmor.ini", "Directory", key, value);
  }

 private:
  static std::string Entry(const std::string& rdn, const std::string& body) {
    const std::string dn = rdn == "dc=lab" ? kLabBase : rdn + "," + kLabBase;
    return "dn: " + dn + "\n" + body + "\n";
  }
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
  }
  static bool Answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }
  bool Start() {
    const std::string urls = LdapsUrl() + "/ " + LdapUrl() + "/";
    const std::string conf = dir_.File("slapd.conf");
    server_.emplace([&] {
      std::freopen("/dev/null", "w", stderr);
      ::execl(kSlapdProgram, "slapd", "-h", urls.c_str(), "-f", conf.c_str(), "-d", "0", nullptr);
      return 127;
    }, 3600);
    for (int i = 0; i < 400; ++i) {
      if (Answers(ldap_port_) && Answers(ldaps_port_)) return true;
      if (server_->Ended()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  TempDir dir_;
  bool ready_ = false;
  int ldaps_port_ = 0, ldap_port_ = 0;
  std::optional<Child> server_;
};

}  // namespace talmor::testing
