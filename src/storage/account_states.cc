#include "storage/account_states.h"

#include <charconv>
#include <memory>
#include <random>

#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/database_files.h"

namespace talmor {
namespace {

constexpr std::string_view kHeader = "ACCOUNTS 1";
// A state file is a few lines per account; anything larger is not ours and reads as no state.
constexpr std::uint64_t kMaxFileSize = 16 * 1024 * 1024;
constexpr char kHexDigits[] = "0123456789abcdef";

std::string Hex(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unhex(std::string_view hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

std::string EncodeName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x21 || b > 0x7E || c == '%') {
      out += '%';
      out += kHexDigits[b >> 4];
      out += kHexDigits[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

bool DecodeName(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return !out.empty();
}

template <typename Int>
bool ParseInt(std::string_view text, Int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Splits `text` at `separator`; empty pieces are kept.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find(separator, begin)) != std::string_view::npos;
       begin = end + 1) {
    parts.push_back(text.substr(begin, end - begin));
  }
  parts.push_back(text.substr(begin));
  return parts;
}

bool ParseHistory(std::string_view text, std::vector<PasswordHash>& history) {
  if (text.empty()) return true;
  for (std::string_view entry : Split(text, ',')) {
    const auto fields = Split(entry, ':');
    PasswordHash hash;
    if (fields.size() != 3 || !ParseInt(fields[0], hash.iterations) || hash.iterations == 0 ||
        !Unhex(fields[1], hash.salt) || !Unhex(fields[2], hash.hash) || hash.hash.empty()) {
      return false;
    }
    history.push_back(std::move(hash));
  }
  return true;
}

bool ParseLine(std::string_view line, std::string& key, AccountState& state) {
  const auto fields = Split(line, '\t');
  return fields.size() == 5 && DecodeName(fields[0], key) && ParseInt(fields[1], state.failed) &&
         state.failed >= 0 && ParseInt(fields[2], state.locked_until) &&
         ParseInt(fields[3], state.password_changed) && ParseHistory(fields[4], state.history);
}

std::string ReadFile(const std::string& path) {
  std::unique_ptr<File> file = FileSystem::Default().Open(path, OpenMode::kRead);
  const std::uint64_t length = file->Length();
  if (length > kMaxFileSize) return {};
  std::string content(static_cast<std::size_t>(length), '\0');
  content.resize(file->Read(content.data(), content.size()));
  return content;
}

void ReplaceFile(const std::string& path, const std::string& content) {
  static std::mt19937_64 generator{std::random_device{}()};
  FileSystem& fs = FileSystem::Default();
  char digits[17];
  const auto end = std::to_chars(digits, digits + 16, generator(), 16).ptr;
  const std::string temporary = path + ".~" + std::string(digits, end) + ".tmp";
  ReplaceFileContent(fs, path, temporary, content);
  // Temporary files an interrupted write left: every writer holds the database lock, so none is
  // being written now.
  const std::string prefix = std::string(kAccountsFileName.substr(1)) + ".~";
  try {
    const std::string directory = DirectoryOf(path);
    for (const std::string& name : fs.ListDirectory(directory)) {
      if (name.starts_with(prefix) && name.ends_with(".tmp")) {
        fs.Remove(JoinDataPath(directory, "\\" + name));
      }
    }
  } catch (const FileException&) {
    // Left for the next write.
  }
}

}  // namespace

AccountStates ParseAccountStates(std::string_view text) {
  AccountStates states;
  std::vector<std::string_view> lines = Split(text, '\n');
  if (lines.empty() || lines[0] != kHeader) return states;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string key;
    AccountState state;
    if (ParseLine(lines[i], key, state)) states[key] = std::move(state);
  }
  return states;
}

std::string FormatAccountStates(const AccountStates& states) {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [key, state] : states) {
    text += EncodeName(key) + "\t" + std::to_string(state.failed) + "\t" +
            std::to_string(state.locked_until) + "\t" + std::to_string(state.password_changed) +
            "\t";
    for (std::size_t i = 0; i < state.history.size(); ++i) {
      const PasswordHash& h = state.history[i];
      if (i > 0) text += ",";
      text += std::to_string(h.iterations) + ":" + Hex(h.salt) + ":" + Hex(h.hash);
    }
    text += "\n";
  }
  return text;
}

AccountStates ReadAccountStates() {
  try {
    return ParseAccountStates(ReadFile(DataFilePath(kAccountsFileName)));
  } catch (const FileException&) {
    return {};  // missing, or not a regular file: no state
  }
}

bool UpdateAccountStates(const std::function<bool(AccountStates&)>& change, bool lock_held) {
  std::unique_ptr<DatabaseLock> lock;
  if (!lock_held) {
    lock = std::make_unique<DatabaseLock>();
    if (!lock->held()) return false;
  }
  AccountStates states = ReadAccountStates();
  if (change(states)) ReplaceFile(DataFilePath(kAccountsFileName), FormatAccountStates(states));
  return true;
}

}  // namespace talmor
