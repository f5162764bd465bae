#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_settings.h"

namespace talmor {

// How a directory operation ended.
enum class DirectoryStatus {
  kOk,
  kInvalidCredentials,  // unknown name, wrong password, no mapped group: the usual failure
  kUnreachable,         // no answer within the timeout, or no TLS session could be made
  kInsecure,            // plain LDAP without AllowInsecure
  kLocked,
  kExpired,
  kMustChange,
  kDisabled,
  kError,  // anything else: a refused setting, a malformed answer
};

// One entry found by a search: its DN and its memberOf values.
struct DirectoryEntry {
  std::string dn;
  std::vector<std::string> member_of;
};

// One connection to the directory server, made with the platform's LDAP library (libldap or
// Wldap32). Every call waits at most the settings' timeout.
class DirectoryConnection {
 public:
  virtual ~DirectoryConnection() = default;
  // A simple bind; an empty DN and password make the anonymous bind.
  virtual DirectoryStatus Bind(const std::string& dn, std::string_view password) = 0;
  // The entries matching `filter` in the subtree of `base` (or `base` alone). A base that does
  // not exist gives no entry, not an error.
  virtual DirectoryStatus Search(const std::string& base, bool subtree, const std::string& filter,
                                 std::vector<DirectoryEntry>& out) = 0;
};

// A connection to the settings' server, with TLS as they say (StartTLS done, the certificate
// checked against CACertificate or the system's store). Null with `status` set on failure.
std::unique_ptr<DirectoryConnection> ConnectToDirectory(const DirectorySettings& settings,
                                                        DirectoryStatus& status);

// The contents of a secret file (its last line break removed). False when the file is missing,
// is a link or not a regular file, or when the group or others may read it.
bool ReadSecretFile(const std::string& path, std::string& secret);

// The reason in a bind refusal's diagnostic text, in the form some servers give it
// ("... data 775, ..."): kInvalidCredentials when it names none.
DirectoryStatus StatusFromDiagnostic(std::string_view diagnostic);

}  // namespace talmor
