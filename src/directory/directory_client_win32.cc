// The directory client on Wldap32. The server's certificate is checked against the system's
// store (Wldap32 has no per-connection CA file; CACertificate is not used here).
#include <windows.h>
#include <winldap.h>

#include <cstring>

#include "directory/directory_client.h"

namespace talmor {
namespace {

DirectoryStatus StatusFromCode(ULONG code) {
  switch (code) {
    case LDAP_SUCCESS:
      return DirectoryStatus::kOk;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_CONNECT_ERROR:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
      return DirectoryStatus::kUnreachable;
    case LDAP_INVALID_CREDENTIALS:
      return DirectoryStatus::kInvalidCredentials;
    default:
      return DirectoryStatus::kError;
  }
}

class WldapConnection : public DirectoryConnection {
 public:
  WldapConnection(LDAP* ld, int timeout_seconds) : ld_(ld), timeout_seconds_(timeout_seconds) {}
  ~WldapConnection() override { ldap_unbind(ld_); }
  WldapConnection(const WldapConnection&) = delete;
  WldapConnection& operator=(const WldapConnection&) = delete;

  DirectoryStatus Bind(const std::string& dn, std::string_view password) override {
    std::string secret(password);
    const ULONG code = ldap_simple_bind_sA(ld_, const_cast<char*>(dn.c_str()), secret.data());
    std::memset(secret.data(), 0, secret.size());
    DirectoryStatus status = StatusFromCode(code);
    // The server's diagnostic text names the reason of a refusal ("data 775": locked).
    char* diagnostic = nullptr;
    if (status == DirectoryStatus::kInvalidCredentials &&
        ldap_get_option(ld_, LDAP_OPT_SERVER_ERROR, &diagnostic) == LDAP_SUCCESS &&
        diagnostic != nullptr) {
      status = StatusFromDiagnostic(diagnostic);
      ldap_memfreeA(diagnostic);
    }
    return status;
  }

  DirectoryStatus Search(const std::string& base, bool subtree, const std::string& filter,
                         std::vector<DirectoryEntry>& out) override {
    out.clear();
    char member_of[] = "memberOf";
    char* attributes[] = {member_of, nullptr};
    l_timeval timeout{timeout_seconds_, 0};
    LDAPMessage* result = nullptr;
    const ULONG code = ldap_search_ext_sA(
        ld_, const_cast<char*>(base.c_str()), subtree ? LDAP_SCOPE_SUBTREE : LDAP_SCOPE_BASE,
        const_cast<char*>(filter.c_str()), attributes, 0, nullptr, nullptr, &timeout, 0, &result);
    if (code != LDAP_SUCCESS) {
      if (result != nullptr) ldap_msgfree(result);
      return code == LDAP_NO_SUCH_OBJECT ? DirectoryStatus::kOk : StatusFromCode(code);
    }
    for (LDAPMessage* entry = ldap_first_entry(ld_, result); entry != nullptr;
         entry = ldap_next_entry(ld_, entry)) {
      DirectoryEntry found;
      if (char* dn = ldap_get_dnA(ld_, entry)) {
        found.dn = dn;
        ldap_memfreeA(dn);
      }
      if (berval** values = ldap_get_values_lenA(ld_, entry, member_of)) {
        for (berval** value = values; *value != nullptr; ++value) {
          found.member_of.emplace_back((*value)->bv_val, (*value)->bv_len);
        }
        ldap_value_free_len(values);
      }
      out.push_back(std::move(found));
    }
    ldap_msgfree(result);
    return DirectoryStatus::kOk;
  }

 private:
  LDAP* ld_;
  LONG timeout_seconds_;
};

}  // namespace

std::unique_ptr<DirectoryConnection> ConnectToDirectory(const DirectorySettings& settings,
                                                        DirectoryStatus& status) {
  status = DirectoryStatus::kError;
  DirectoryAddress address;
  if (!ParseDirectoryUrl(settings.url, address)) return nullptr;
  LDAP* ld =
      ldap_sslinitA(address.host.data(), static_cast<ULONG>(address.port), address.secure ? 1 : 0);
  if (ld == nullptr) return nullptr;
  auto connection = std::make_unique<WldapConnection>(ld, settings.timeout_seconds);
  ULONG version = LDAP_VERSION3;
  ULONG time_limit = static_cast<ULONG>(settings.timeout_seconds);
  if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_SUCCESS ||
      ldap_set_option(ld, LDAP_OPT_TIMELIMIT, &time_limit) != LDAP_SUCCESS) {
    return nullptr;
  }
  l_timeval timeout{static_cast<LONG>(settings.timeout_seconds), 0};
  ULONG code = ldap_connect(ld, &timeout);
  if (code == LDAP_SUCCESS && settings.start_tls && !address.secure) {
    ULONG server_code = 0;
    code = ldap_start_tls_sA(ld, &server_code, nullptr, nullptr, nullptr);
  }
  if (code != LDAP_SUCCESS) {
    status = StatusFromCode(code);
    if (status == DirectoryStatus::kInvalidCredentials) status = DirectoryStatus::kError;
    return nullptr;
  }
  status = DirectoryStatus::kOk;
  return connection;
}

bool ReadSecretFile(const std::string& path, std::string& secret) {
  // Never through a link or junction; only a plain file. Who may read it is left to the file's
  // access list, which the site sets (an owner-only check has no direct equivalent here).
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok =
      GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
      GetFileType(file) == FILE_TYPE_DISK;
  std::string text;
  char buffer[512];
  DWORD got = 0;
  while (ok) {
    ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && text.size() < 65536;
    if (!ok || got == 0) break;
    text.append(buffer, got);
  }
  CloseHandle(file);
  std::memset(buffer, 0, sizeof buffer);
  if (!ok) return false;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  secret = std::move(text);
  return true;
}

}  // namespace talmor
