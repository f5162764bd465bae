#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmor {

// One Group.<n> line: members of the directory group `dn` count as members of the local group.
struct DirectoryGroupMapping {
  std::string dn;
  std::string local_group;
};

// Section "Directory" of "qvtalmor.ini": where accounts that are not local are looked up.
struct DirectorySettings {
  std::string url;              // ldaps://host[:port] or ldap://host[:port]
  bool start_tls = false;       // StartTLS=1: TLS on an ldap:// connection
  bool allow_insecure = false;  // AllowInsecure=1: plain ldap:// without TLS is accepted
  std::string ca_certificate;   // PEM file; empty: the system's store
  std::string base_dn;
  std::string user_filter = "(&(objectClass=person)(uid=%s))";
  std::string search_bind_dn;  // empty: anonymous search
  std::string search_bind_password_file;
  std::vector<DirectoryGroupMapping> groups;
  int timeout_seconds = 5;

  // Neither ldaps:// nor StartTLS: the password would cross the network in clear.
  bool Insecure() const;
};

// The settings of `ini_file`, or nullopt when it has no Directory section with a Url (then the
// directory is not used at all). Group.1, Group.2, ... are read up to the first one missing;
// a line without '|' or with an empty part is ignored.
std::optional<DirectorySettings> ReadDirectorySettings(std::string_view ini_file);

// The parts of an LDAP URL; false for anything but ldap:// and ldaps:// with a host.
struct DirectoryAddress {
  bool secure = false;  // ldaps://
  std::string host;
  int port = 0;  // 389 or 636 when none is given
};
bool ParseDirectoryUrl(std::string_view url, DirectoryAddress& out);

// `value` escaped for an RFC 4515 filter: \ * ( ) and NUL become \5c \2a \28 \29 \00, so the
// typed name can only ever be compared as a value, never read as filter syntax.
std::string EscapeFilterValue(std::string_view value);
// `filter` with every "%s" replaced by the escaped `value`.
std::string FillFilter(std::string_view filter, std::string_view value);

// A distinguished name in a form in which two spellings of one name compare equal: ASCII
// letters folded, spaces around ',', '=' and '+' and at the ends removed.
std::string NormalizeDn(std::string_view dn);

}  // namespace talmor
