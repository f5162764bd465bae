#include "directory/directory_settings.h"

#include <charconv>

#include "platform/names.h"
#include "platform/profile_file.h"

namespace talmor {
namespace {

constexpr size_t kSettingBufferSize = 2048;
constexpr std::string_view kSection = "Directory";

std::string Setting(const ProfileSnapshot& file, std::string_view key,
                    std::string_view def = "") {
  return file.Get(kSection, key, def, kSettingBufferSize);
}

bool Flag(const ProfileSnapshot& file, std::string_view key) { return Setting(file, key) == "1"; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool DirectorySettings::Insecure() const {
  DirectoryAddress address;
  return !ParseDirectoryUrl(url, address) || (!address.secure && !start_tls);
}

std::optional<DirectorySettings> ReadDirectorySettings(std::string_view file) {
  // One read for every key: the settings come from one version of the file.
  const ProfileSnapshot ini_file(file);
  DirectorySettings settings;
  settings.url = Setting(ini_file, "Url");
  if (settings.url.empty()) return std::nullopt;
  settings.start_tls = Flag(ini_file, "StartTLS");
  settings.allow_insecure = Flag(ini_file, "AllowInsecure");
  settings.ca_certificate = Setting(ini_file, "CACertificate");
  settings.base_dn = Setting(ini_file, "BaseDN");
  settings.user_filter = Setting(ini_file, "UserFilter", settings.user_filter);
  settings.search_bind_dn = Setting(ini_file, "SearchBindDN");
  settings.search_bind_password_file = Setting(ini_file, "SearchBindPasswordFile");
  const std::string timeout = Setting(ini_file, "TimeoutSeconds");
  int seconds = 0;
  const auto [end, error] =
      std::from_chars(timeout.data(), timeout.data() + timeout.size(), seconds);
  if (error == std::errc{} && end == timeout.data() + timeout.size() && seconds > 0) {
    settings.timeout_seconds = seconds;
  }
  // A missing key reads as this marker, which no value of a real line can be.
  const std::string missing(1, '\x01');
  for (int n = 1;; ++n) {
    const std::string line = Setting(ini_file, "Group." + std::to_string(n), missing);
    if (line == missing) break;
    const size_t bar = line.rfind('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 == line.size()) continue;
    settings.groups.push_back({line.substr(0, bar), line.substr(bar + 1)});
  }
  return settings;
}

bool ParseDirectoryUrl(std::string_view url, DirectoryAddress& out) {
  DirectoryAddress address;
  if (StartsWithIgnoringCase(url, "ldaps://")) {
    address.secure = true;
    url.remove_prefix(8);
  } else if (StartsWithIgnoringCase(url, "ldap://")) {
    url.remove_prefix(7);
  } else {
    return false;
  }
  if (const size_t slash = url.find('/'); slash != std::string_view::npos)
    url = url.substr(0, slash);
  address.port = address.secure ? 636 : 389;
  const size_t colon = url.rfind(':');
  if (colon != std::string_view::npos && url.find(']', colon) == std::string_view::npos) {
    const std::string_view port = url.substr(colon + 1);
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), address.port);
    if (error != std::errc{} || end != port.data() + port.size() || address.port <= 0 ||
        address.port > 65535) {
      return false;
    }
    url = url.substr(0, colon);
  }
  if (url.size() > 2 && url.front() == '[' && url.back() == ']')
    url = url.substr(1, url.size() - 2);
  if (url.empty()) return false;
  address.host = std::string(url);
  out = address;
  return true;
}

std::string EscapeFilterValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\\' || c == '*' || c == '(' || c == ')' || c == '\0') {
      const auto byte = static_cast<unsigned char>(c);
      out += '\\';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string FillFilter(std::string_view filter, std::string_view value) {
  const std::string escaped = EscapeFilterValue(value);
  std::string out;
  for (size_t i = 0; i < filter.size(); ++i) {
    if (filter[i] == '%' && i + 1 < filter.size() && filter[i + 1] == 's') {
      out += escaped;
      ++i;
    } else {
      out += filter[i];
    }
  }
  return out;
}

std::string NormalizeDn(std::string_view dn) {
  std::string out;
  out.reserve(dn.size());
  bool pending_space = false;
  for (const char c : dn) {
    if (c == ' ') {
      pending_space = true;
      continue;
    }
    const bool separator = c == ',' || c == '=' || c == '+';
    const bool after_separator =
        !out.empty() && (out.back() == ',' || out.back() == '=' || out.back() == '+');
    if (pending_space && !separator && !after_separator && !out.empty()) out += ' ';
    pending_space = false;
    out += FoldAsciiCase(c);
  }
  return out;
}

}  // namespace talmor
