// Private profile files kept by the library itself, with the rules of the Windows profile
// calls: the whole file is read for every lookup (once for all the lookups of a snapshot) and
// rewritten for every change. Where a file named without a directory lives is the platform's
// part (profile_file_<os>.cc).

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/bounded_copy.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "platform/names.h"
#include "platform/profile_file.h"

namespace talmor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// `s` up to its first line break: what a single line can carry.
std::string_view FirstLine(std::string_view s) {
  const size_t end = s.find_first_of("\r\n");
  return end == std::string_view::npos ? s : s.substr(0, end);
}

// One line of the file: its text without the terminator, and the terminator ("\n", "\r\n", or
// "" for a last line without one), so that untouched lines are written back exactly.
struct Line {
  std::string text;
  std::string eol;
};

enum class Kind { kOther, kSection, kKey };

// What a line is, and its section name or its key and value (views into the line's text).
struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section name or key
  std::string_view value;  // for a key
  size_t value_start = 0;  // offset of the text after '=' in the line
};

Parsed Parse(const std::string& text) {
  Parsed p;
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return p;
  if (t.front() == '[') {
    const size_t close = t.find(']');
    if (close == std::string_view::npos) return p;
    p.kind = Kind::kSection;
    p.name = Trim(t.substr(1, close - 1));
    return p;
  }
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return p;
  p.kind = Kind::kKey;
  p.name = Trim(std::string_view(text).substr(0, eq));
  p.value = Trim(std::string_view(text).substr(eq + 1));
  p.value_start = eq + 1;
  return p;
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    const size_t nl = content.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      // A carriage return ending the file ends its last line, as it would before a line feed.
      size_t end = content.size();
      if (content[end - 1] == '\r') --end;
      line.text = content.substr(pos, end - pos);
      line.eol = content.substr(end);
      pos = content.size();
    } else {
      size_t end = nl;
      if (end > pos && content[end - 1] == '\r') --end;
      line.text = content.substr(pos, end - pos);
      line.eol = content.substr(end, nl + 1 - end);
      pos = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// The whole file, or nullopt when it does not exist. Other failures raise FileException.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::unique_ptr<File> file;
  try {
    file = FileSystem::Default().Open(path, OpenMode::kRead);
  } catch (const FileException& e) {
    if (e.cause() == FileException::Cause::kNotFound) return std::nullopt;
    throw;
  }
  // At most the length it had when opened: a file that keeps growing cannot hold the reader.
  const uint64_t length = file->Length();
  std::string content;
  char chunk[8192];
  while (content.size() < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof chunk, length - content.size()));
    const size_t n = file->Read(chunk, want);
    content.append(chunk, n);
    if (n < want) break;
  }
  file->Close();
  return content;
}

std::string StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string Cut(std::string_view s, size_t buffer_size) {
  if (buffer_size == 0) return std::string();
  return std::string(s.substr(0, buffer_size - 1));
}

// A profile file held in memory while one change is made to it.
class Editor {
 public:
  explicit Editor(std::string path) : path_(std::move(path)) {
    const auto status = FileSystem::Default().GetStatus(path_);
    if (status && (status->attributes & kAttributeReadOnly) != 0) {
      // As on the platform, a read-only profile file is not written (the rename would replace it).
      // Raised here, not through ThrowOsError, whose numbers are the platform's own errors.
      throw FileException(FileException::Cause::kAccessDenied, path_, EACCES,
                          "write profile file " + path_ + ": " + std::strerror(EACCES));
    }
    if (auto content = ReadWholeFile(path_)) {
      lines_ = SplitLines(*content);
      for (const Line& line : lines_) {
        if (!line.eol.empty() && line.eol.back() == '\n') {
          eol_ = line.eol;
          break;
        }
      }
    }
  }

  // Index of each line of the sections named `section` that holds `key`, in file order.
  std::vector<size_t> FindKey(std::string_view section, std::string_view key) const {
    std::vector<size_t> found;
    bool in_section = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      const Parsed p = Parse(lines_[i].text);
      if (p.kind == Kind::kSection) {
        in_section = EqualIgnoringCase(p.name, section);
      } else if (in_section && p.kind == Kind::kKey && EqualIgnoringCase(p.name, key)) {
        found.push_back(i);
      }
    }
    return found;
  }

  void Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::vector<size_t> found = FindKey(section, key);
    if (!found.empty()) {
      Line& line = lines_[found.front()];
      line.text = line.text.substr(0, Parse(line.text).value_start) + std::string(value);
      return;
    }
    const std::string key_line = std::string(key) + "=" + std::string(value);
    // End of the first section of that name: after its last line that is not blank.
    std::optional<size_t> insert_at;
    bool in_section = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      const Parsed p = Parse(lines_[i].text);
      if (p.kind == Kind::kSection) {
        if (in_section) break;
        in_section = EqualIgnoringCase(p.name, section);
        if (in_section) insert_at = i + 1;
      } else if (in_section && !Trim(lines_[i].text).empty()) {
        insert_at = i + 1;
      }
    }
    if (insert_at) {
      Insert(*insert_at, key_line);
    } else {
      Insert(lines_.size(), "[" + std::string(section) + "]");
      Insert(lines_.size(), key_line);
    }
  }

  bool Delete(std::string_view section, std::string_view key) {
    const std::vector<size_t> found = FindKey(section, key);
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
      // Keep the file's last-line form: a removed last line gives its (missing) terminator on.
      if (*it + 1 == lines_.size() && *it > 0) lines_[*it - 1].eol = lines_[*it].eol;
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*it));
    }
    return !found.empty();
  }

  // Writes the lines to a temporary file beside the profile file and renames it over it.
  void Save() {
    static std::atomic<unsigned> counter{0};
    FileSystem& fs = FileSystem::Default();
    const std::string temp = path_ + ".tmp." + std::to_string(::getpid()) + "." +
                             std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    std::string content;
    for (const Line& line : lines_) content += line.text + line.eol;
    ReplaceFileContent(fs, path_, temp, content);
  }

 private:
  void Insert(size_t at, std::string text) {
    // A last line without a line feed gets one before anything follows it.
    if (at > 0 && (lines_[at - 1].eol.empty() || lines_[at - 1].eol == "\r")) {
      lines_[at - 1].eol = eol_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol_});
  }

  std::string path_;
  std::vector<Line> lines_;
  std::string eol_ = "\n";
};

}  // namespace

struct ProfileSnapshot::Lines {
  std::vector<Line> lines;
};

ProfileSnapshot::ProfileSnapshot(std::string_view file) {
  // Settings are read at every log-on, mostly from a file that does not exist: that case is
  // told without the cost of an exception.
  const std::string path = ProfileFilePath(file);
  if (!FileSystem::Default().GetStatus(path)) return;
  try {
    if (std::optional<std::string> content = ReadWholeFile(path)) {
      lines_ = std::make_unique<Lines>(Lines{SplitLines(*content)});
    }
  } catch (const FileException&) {
    // Unreadable counts as missing.
  }
}

ProfileSnapshot::~ProfileSnapshot() = default;

std::string ProfileSnapshot::Get(std::string_view section, std::string_view key,
                                 std::string_view def, size_t buffer_size) const {
  if (lines_ != nullptr) {
    bool in_section = false;
    for (const Line& line : lines_->lines) {
      const Parsed p = Parse(line.text);
      if (p.kind == Kind::kSection) {
        in_section = EqualIgnoringCase(p.name, section);
      } else if (in_section && p.kind == Kind::kKey && EqualIgnoringCase(p.name, key)) {
        return Cut(StripQuotes(p.value), buffer_size);
      }
    }
  }
  while (!def.empty() && IsBlank(def.back())) def.remove_suffix(1);
  return Cut(def, buffer_size);
}

std::string GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                             std::string_view def, size_t buffer_size) {
  return ProfileSnapshot(file).Get(section, key, def, buffer_size);
}

size_t GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view def, char* buffer, size_t buffer_size) {
  if (buffer == nullptr || buffer_size == 0) return 0;
  return CopyToBuffer(GetProfileString(file, section, key, def, buffer_size), buffer, buffer_size);
}

void WriteProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  Editor editor(ProfileFilePath(file));
  editor.Set(FirstLine(section), FirstLine(key), FirstLine(value));
  editor.Save();
}

void DeleteProfileKey(std::string_view file, std::string_view section, std::string_view key) {
  const std::string path = ProfileFilePath(file);
  if (!FileSystem::Default().GetStatus(path)) return;
  Editor editor(path);
  if (editor.Delete(FirstLine(section), FirstLine(key))) editor.Save();
}

}  // namespace talmor
