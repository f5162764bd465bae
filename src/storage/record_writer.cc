#include "storage/record_writer.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <random>

#include "platform/file_exception.h"
#include "storage/record_format.h"

namespace talmor {

namespace {

constexpr std::size_t kWriteBufferSize = 64 * 1024;  // a multiple of 4
constexpr int kTemporaryNameAttempts = 16;

// The 4 file bytes of each text byte: (b XOR key) as a little-endian single-precision float.
constexpr std::array<std::array<unsigned char, 4>, 256> MakeEncodingTable() {
  std::array<std::array<unsigned char, 4>, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    const auto word = std::bit_cast<std::uint32_t>(static_cast<float>(b ^ kRecordKey));
    for (unsigned i = 0; i < 4; ++i) table[b][i] = static_cast<unsigned char>(word >> (8 * i));
  }
  return table;
}
constexpr auto kEncoding = MakeEncodingTable();

std::string TemporaryNameFor(const std::string& path) {
  static std::mt19937_64 generator{std::random_device{}()};
  char digits[17];
  const auto result = std::to_chars(digits, digits + 16, generator(), 16);
  return path + ".~" + std::string(digits, result.ptr) + ".tmp";
}

// Whether `name` is one of the temporary names TemporaryNameFor gives for file `base`:
// "<base>.~<1 to 16 lower-case hex digits>.tmp".
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
  constexpr std::string_view kInfix = ".~", kSuffix = ".tmp";
  if (name.size() <= base.size() + kInfix.size() + kSuffix.size() || !name.starts_with(base) ||
      !name.ends_with(kSuffix)) {
    return false;
  }
  name.remove_prefix(base.size());
  name.remove_suffix(kSuffix.size());
  if (!name.starts_with(kInfix)) return false;
  name.remove_prefix(kInfix.size());
  return name.size() <= 16 && name.find_first_not_of("0123456789abcdef") == name.npos;
}

// Removes temporary files an interrupted save of `path` left beside it: they hold a copy of the
// records (passwords included). Only the library's own names are touched; a name that cannot be
// removed stays. A save of the same file running at this moment in another process loses its
// temporary file and fails, leaving the target as it is.
void RemoveLeftovers(FileSystem& fs, const std::string& path, const std::string& own) {
  const std::string dir = DirectoryOf(path);
  const std::string base = path.substr(path.find_last_of("/\\") + 1);
  std::vector<std::string> names;
  try {
    names = fs.ListDirectory(dir);
  } catch (const FileException&) {
    return;  // the save itself has succeeded; a later one removes the leftovers
  }
  for (const std::string& name : names) {
    const std::string leftover = path.substr(0, path.size() - base.size()) + name;
    if (leftover == own || !IsTemporaryNameOf(name, base)) continue;
    try {
      fs.Remove(leftover);
    } catch (const FileException&) {
      // Not removable (a directory, say): left for the owner to see.
    }
  }
}

}  // namespace

RecordWriter::RecordWriter(const std::string& path) : path_(path) {
  FileSystem& fs = FileSystem::Default();
  if (const auto status = fs.GetStatus(path)) {
    remembered_ = *status;
  } else {
    const FileTime now = std::chrono::system_clock::now();
    remembered_.created = remembered_.modified = remembered_.accessed = now;
  }
  remembered_.attributes = kAttributeReadOnly | kAttributeHidden;
  // A fresh name in the target's directory, so that the final rename stays on one device.
  for (int attempt = 1;; ++attempt) {
    std::string candidate = TemporaryNameFor(path);
    try {
      file_ = fs.Open(candidate, OpenMode::kCreateNew);
      temporary_path_ = std::move(candidate);
      break;
    } catch (const FileException&) {
      // Another file of that name: try another name. Anything else is the writer's failure.
      if (attempt < kTemporaryNameAttempts && fs.GetStatus(candidate).has_value()) continue;
      open_error_ = std::current_exception();
      break;
    }
  }
  if (file_ != nullptr) buffer_.resize(kWriteBufferSize);
}

RecordWriter::~RecordWriter() {
  if (!closed_) Discard();
}

void RecordWriter::Discard() noexcept {
  closed_ = true;
  if (file_ != nullptr) {
    file_.reset();  // destruction closes without raising
  }
  if (!temporary_path_.empty()) {
    try {
      FileSystem::Default().Remove(temporary_path_);
    } catch (...) {
      // Nothing more can be done; the target is untouched either way.
    }
  }
}

void RecordWriter::ThrowIfFailed() const {
  if (open_error_ != nullptr) std::rethrow_exception(open_error_);
  if (closed_ || file_ == nullptr) {
    throw FileException(FileException::Cause::kGeneric, path_, 0,
                        "record file already closed: " + path_);
  }
}

void RecordWriter::FlushBuffer() {
  if (buffered_ == 0) return;
  file_->Write(buffer_.data(), buffered_);
  buffered_ = 0;
}

void RecordWriter::Append(std::string_view text) {
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == static_cast<unsigned char>(kLineEnd)) continue;  // cannot be stored
    if (buffered_ == buffer_.size()) FlushBuffer();
    std::memcpy(buffer_.data() + buffered_, kEncoding[b].data(), 4);
    buffered_ += 4;
  }
}

void RecordWriter::WriteLine(std::string_view key, std::string_view separator,
                             std::string_view value) {
  ThrowIfFailed();
  Append(key);
  Append(separator);
  Append(value);
  if (buffered_ == buffer_.size()) FlushBuffer();
  std::memcpy(buffer_.data() + buffered_, kEncoding[static_cast<unsigned char>(kLineEnd)].data(),
              4);
  buffered_ += 4;
}

bool RecordWriter::WriteStart() {
  WriteLine(kRecordStartLine, {}, {});
  return true;
}

bool RecordWriter::WriteEnd() {
  WriteLine(kRecordEndLine, {}, {});
  return true;
}

bool RecordWriter::WriteString(std::string_view key, std::string_view value) {
  WriteLine(key, "=", value);
  return true;
}

bool RecordWriter::WriteInteger(std::string_view key, std::int32_t value) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  WriteLine(key, "=", std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
  return true;
}

void RecordWriter::Close() {
  if (committed_) return;
  ThrowIfFailed();
  FileSystem& fs = FileSystem::Default();
  try {
    FlushBuffer();
    file_->Sync();
    file_->Close();
    file_.reset();
    // The attributes and times go on before the rename, so that the target is replaced by a
    // file that is already complete in every respect.
    fs.SetStatus(temporary_path_, remembered_);
    fs.Rename(temporary_path_, path_);
  } catch (...) {
    Discard();
    throw;
  }
  closed_ = committed_ = true;
  RemoveLeftovers(fs, path_, temporary_path_);
  temporary_path_.clear();
  fs.SyncDirectory(DirectoryOf(path_));
}

}  // namespace talmor
