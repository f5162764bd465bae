#pragma once

// Shared by the fuzzers: one scratch data directory per process, emptied before every input,
// and the splitting of an input into the files it stands for.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace talmor::fuzz {

// Separates the files inside one input.
inline constexpr std::string_view kFileSeparator = "\n=FILE=\n";

// The process's data directory (QUORVANE_WINDIR), made on first use; every file in it is
// removed.
inline const std::string& FreshDataDirectory() {
  static const std::string dir = [] {
    std::string templ =
        (std::filesystem::temp_directory_path() / "talmor-fuzz-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
    return templ;
  }();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(entry.path(), ec);
  }
  return dir;
}

// The parts of `input` between separators; at most `count` (the last takes the rest).
inline std::vector<std::string_view> SplitInput(std::string_view input, size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t at = input.find(kFileSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(input.substr(0, at));
    input.remove_prefix(at + kFileSeparator.size());
  }
  parts.push_back(input);
  return parts;
}

inline std::string JoinInput(const std::vector<std::string>& parts) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += kFileSeparator;
    out += parts[i];
  }
  return out;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A broken promise: report it the way libFuzzer notices (a crash with a message).
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace talmor::fuzz
