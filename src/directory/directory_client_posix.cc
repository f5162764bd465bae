// The directory client on libldap (OpenLDAP's client library).
#include <fcntl.h>
#include <ldap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "directory/directory_client.h"

namespace talmor {
namespace {

DirectoryStatus StatusFromCode(int code) {
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

class LdapConnection : public DirectoryConnection {
 public:
  LdapConnection(LDAP* ld, int timeout_seconds) : ld_(ld), timeout_{timeout_seconds, 0} {}
  ~LdapConnection() override { ldap_unbind_ext_s(ld_, nullptr, nullptr); }
  LdapConnection(const LdapConnection&) = delete;
  LdapConnection& operator=(const LdapConnection&) = delete;

  DirectoryStatus Bind(const std::string& dn, std::string_view password) override {
    // The password policy control asks the server to say why it refuses (locked, expired).
    LDAPControl* policy = nullptr;
    ldap_create_passwordpolicy_control(ld_, &policy);
    LDAPControl* controls[] = {policy, nullptr};
    berval credentials{static_cast<ber_len_t>(password.size()), const_cast<char*>(password.data())};
    int id = 0;
    int code = ldap_sasl_bind(ld_, dn.c_str(), LDAP_SASL_SIMPLE, &credentials,
                              policy != nullptr ? controls : nullptr, nullptr, &id);
    if (policy != nullptr) ldap_control_free(policy);
    if (code != LDAP_SUCCESS) return StatusFromCode(code);
    timeval timeout = timeout_;
    LDAPMessage* result = nullptr;
    const int got = ldap_result(ld_, id, LDAP_MSG_ALL, &timeout, &result);
    if (got <= 0) {
      if (result != nullptr) ldap_msgfree(result);
      if (got == 0) return DirectoryStatus::kUnreachable;
      ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &code);
      return StatusFromCode(code);
    }
    char* diagnostic = nullptr;
    LDAPControl** response = nullptr;
    if (ldap_parse_result(ld_, result, &code, nullptr, &diagnostic, nullptr, &response, 1) !=
        LDAP_SUCCESS) {
      return DirectoryStatus::kError;
    }
    DirectoryStatus status = StatusFromCode(code);
    if (status == DirectoryStatus::kInvalidCredentials && diagnostic != nullptr) {
      status = StatusFromDiagnostic(diagnostic);
    }
    if (LDAPControl* found =
            ldap_control_find(LDAP_CONTROL_PASSWORDPOLICYRESPONSE, response, nullptr)) {
      ber_int_t expire = -1, grace = -1;
      LDAPPasswordPolicyError error = PP_noError;
      if (ldap_parse_passwordpolicy_control(ld_, found, &expire, &grace, &error) == LDAP_SUCCESS) {
        if (error == PP_accountLocked) status = DirectoryStatus::kLocked;
        if (error == PP_passwordExpired) status = DirectoryStatus::kExpired;
        if (error == PP_changeAfterReset) status = DirectoryStatus::kMustChange;
      }
    }
    if (diagnostic != nullptr) ldap_memfree(diagnostic);
    if (response != nullptr) ldap_controls_free(response);
    return status;
  }

  DirectoryStatus Search(const std::string& base, bool subtree, const std::string& filter,
                         std::vector<DirectoryEntry>& out) override {
    out.clear();
    char member_of[] = "memberOf";
    char* attributes[] = {member_of, nullptr};
    timeval timeout = timeout_;
    LDAPMessage* result = nullptr;
    const int code =
        ldap_search_ext_s(ld_, base.c_str(), subtree ? LDAP_SCOPE_SUBTREE : LDAP_SCOPE_BASE,
                          filter.c_str(), attributes, 0, nullptr, nullptr, &timeout, 0, &result);
    if (code == LDAP_NO_SUCH_OBJECT) {
      if (result != nullptr) ldap_msgfree(result);
      return DirectoryStatus::kOk;
    }
    if (code != LDAP_SUCCESS) {
      if (result != nullptr) ldap_msgfree(result);
      return StatusFromCode(code);
    }
    for (LDAPMessage* entry = ldap_first_entry(ld_, result); entry != nullptr;
         entry = ldap_next_entry(ld_, entry)) {
      DirectoryEntry found;
      if (char* dn = ldap_get_dn(ld_, entry)) {
        found.dn = dn;
        ldap_memfree(dn);
      }
      if (berval** values = ldap_get_values_len(ld_, entry, member_of)) {
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
  timeval timeout_;
};

}  // namespace

std::unique_ptr<DirectoryConnection> ConnectToDirectory(const DirectorySettings& settings,
                                                        DirectoryStatus& status) {
  status = DirectoryStatus::kError;
  DirectoryAddress address;
  if (!ParseDirectoryUrl(settings.url, address)) return nullptr;
  LDAP* ld = nullptr;
  if (ldap_initialize(&ld, settings.url.c_str()) != LDAP_SUCCESS || ld == nullptr) return nullptr;
  auto connection = std::make_unique<LdapConnection>(ld, settings.timeout_seconds);
  const int version = LDAP_VERSION3;
  const int demand = LDAP_OPT_X_TLS_DEMAND;
  const int new_context = 0;
  timeval timeout{settings.timeout_seconds, 0};
  // An asynchronous connect lets the TLS handshake of ldaps wait with the network timeout too: a
  // server that takes the connection and never answers would otherwise hold it for ever.
  bool set = ldap_set_option(ld, LDAP_OPT_CONNECT_ASYNC, LDAP_OPT_ON) == LDAP_OPT_SUCCESS &&
             ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_OPT_SUCCESS &&
             ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) == LDAP_OPT_SUCCESS &&
             ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
             ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
             ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS;
  if (set && !settings.ca_certificate.empty()) {
    set = ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, settings.ca_certificate.c_str()) ==
          LDAP_OPT_SUCCESS;
  }
  // The TLS options above take effect in a context of this connection's own.
  set = set && ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &new_context) == LDAP_OPT_SUCCESS;
  if (!set) return nullptr;
  if (settings.start_tls && !address.secure) {
    const int code = ldap_start_tls_s(ld, nullptr, nullptr);
    if (code != LDAP_SUCCESS) {
      status = StatusFromCode(code);
      return nullptr;
    }
  }
  status = DirectoryStatus::kOk;
  return connection;
}

bool ReadSecretFile(const std::string& path, std::string& secret) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) == 0;
  std::string text;
  char buffer[512];
  for (ssize_t got = 0; ok && (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
    ok = got > 0 && text.size() < 65536;
    if (ok) text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  std::memset(buffer, 0, sizeof buffer);
  if (!ok) return false;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  secret = std::move(text);
  return true;
}

}  // namespace talmor
