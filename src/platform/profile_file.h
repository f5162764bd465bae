#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace talmor {

// The platform's private profile files ("qvtalmor.ini"): text files of "[Section]" headers and
// "Key=Value" lines. A file named without a directory lives in WindowsDirectory(); an absolute
// path is used as it is. Sections and keys match ignoring case (ASCII letters only); spaces and
// tabs around section names, keys and values do not count. Lines that are not the key being
// written (comments starting with ';', other keys and sections, lines of any other form) are
// kept byte for byte by every write.

// The full path of profile file `file`.
std::string ProfileFilePath(std::string_view file);

// The value of `key` in `section`, as read into a buffer of `buffer_size` characters: at most
// buffer_size - 1 of them (none for a size of 0). One pair of matching quotes (" or ') around
// the whole value is removed. When the file, the section or the key is missing (or the file
// cannot be read), the result is `def` without its trailing spaces and tabs, cut the same way.
// A key present with an empty value gives "", not the default. The first matching key of the
// first matching section that has it wins. Never raises FileException.
std::string GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                             std::string_view def, size_t buffer_size);

// A profile file read once, for lookups that should all see the same content: Get answers as
// GetProfileString did at the moment of the read. Never raises FileException.
class ProfileSnapshot {
 public:
  explicit ProfileSnapshot(std::string_view file);
  ~ProfileSnapshot();
  ProfileSnapshot(const ProfileSnapshot&) = delete;
  ProfileSnapshot& operator=(const ProfileSnapshot&) = delete;

  std::string Get(std::string_view section, std::string_view key, std::string_view def,
                  size_t buffer_size) const;

 private:
  struct Lines;
  std::unique_ptr<Lines> lines_;  // null: no file, or one that could not be read
};

// The same into a caller's buffer (CopyToBuffer rules: nothing for a null buffer or a size of
// 0); returns the number of characters copied, without the zero byte.
size_t GetProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view def, char* buffer, size_t buffer_size);

// Sets `key` in `section` to `value`, creating the file, the section (appended at the end of the
// file) and the key (appended after the last line of its section) as needed; an existing key keeps
// its line and spelling, with the text after its '=' replaced. A line break in the section, key
// or value ends it there, so that a write can never add lines of its own. The file is replaced
// as a whole (a temporary file in the same directory, then a rename), so that a reader sees it
// wholly old or wholly new. Raises FileException when the file cannot be read (other than
// missing) or written, or when it is read-only; the file is then unchanged.
void WriteProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value);

// Removes `key` from `section` (every line of it in every section of that name); the section
// header stays. A missing file, section or key is not an error and changes nothing. Raises as
// WriteProfileString.
void DeleteProfileKey(std::string_view file, std::string_view section, std::string_view key);

}  // namespace talmor
