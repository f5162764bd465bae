// A profile file of arbitrary text, read for several keys, then written and read back: a value
// written under a key that a line can carry reads back as written, and other keys keep their
// answers.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/names.h"
#include "platform/profile_file.h"

using namespace talmor;

namespace {

constexpr const char kFile[] = "qvtalmor.ini";

bool Blank(char c) { return c == ' ' || c == '\t'; }

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool Trimmed(std::string_view s) { return s.empty() || (!Blank(s.front()) && !Blank(s.back())); }

// Texts a "[section]" header and a "key=value" line store as they are.
bool Storable(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (!Trimmed(section) || !Trimmed(key) || !Trimmed(value)) return false;
  if (section.find(']') != std::string_view::npos) return false;
  if (key.find('=') != std::string_view::npos) return false;
  if (!key.empty() && (key.front() == ';' || key.front() == '[')) return false;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return false;  // one pair of quotes is taken off when read
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = fuzz::FreshDataDirectory();
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(40);
  const std::string key = in.ConsumeRandomLengthString(40);
  const std::string value = in.ConsumeRandomLengthString(80);
  const std::string other_key = in.ConsumeRandomLengthString(40);
  const size_t buffer_size = in.ConsumeIntegralInRange<size_t>(0, 300);
  const std::string content = in.ConsumeRemainingBytesAsString();
  fuzz::WriteFile(dir + "/" + kFile, content);

  const char* const kSections[] = {"Security", "Options", "Audit", ""};
  for (const char* s : kSections) {
    for (const char* k : {"User", "Directory", "Enable", ""}) {
      const std::string got = GetProfileString(kFile, s, k, " def \t", buffer_size);
      if (buffer_size > 0 && got.size() >= buffer_size) fuzz::Fail("a value overran its buffer");
      if (buffer_size == 0 && !got.empty()) fuzz::Fail("a zero-size buffer got text");
    }
  }
  char small[8];
  const size_t copied = GetProfileString(kFile, section, key, "default", small, sizeof small);
  if (copied >= sizeof small || small[copied] != '\0') fuzz::Fail("a copy was not terminated");

  const std::string other_before = GetProfileString(kFile, section, other_key, "\x7f", 1000);
  WriteProfileString(kFile, section, key, value);
  if (Storable(section, key, value)) {
    if (GetProfileString(kFile, section, key, "\x7f", 1000) != value) {
      fuzz::Fail("a written value did not read back");
    }
    if (!EqualIgnoringCase(other_key, key) &&
        GetProfileString(kFile, section, other_key, "\x7f", 1000) != other_before) {
      fuzz::Fail("a write changed another key");
    }
  }
  DeleteProfileKey(kFile, section, key);
  if (Storable(section, key, value) && GetProfileString(kFile, section, key, "\x7f", 1000) != "\x7f") {
    fuzz::Fail("a deleted key still has a value");
  }
  return 0;
}
