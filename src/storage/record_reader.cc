#include "storage/record_reader.h"

#include <bit>
#include <cstring>

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_format.h"

namespace talmor {

namespace {

constexpr std::size_t kReadBufferSize = 64 * 1024;  // a multiple of 4

std::uint32_t LoadLittleEndian(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t DecodeRecordGroup(std::uint32_t word) {
  // The sum is taken in double precision: every float plus 0.5 is exact there, so the result
  // does not depend on how the platform rounds single-precision sums.
  const double sum = static_cast<double>(std::bit_cast<float>(word)) + 0.5;
  std::int32_t n;
  if (sum > -2147483649.0 && sum < 2147483648.0) {
    n = static_cast<std::int32_t>(sum);  // truncates toward zero; in range, so defined
  } else {
    n = INT32_MIN;  // NaN, infinities, out of range: the x86 "integer indefinite" value
  }
  return static_cast<std::uint32_t>(n) ^ kRecordKey;
}

std::int32_t ParseRecordInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  std::uint32_t value = 0;  // unsigned, so that the accumulation wraps without overflow
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

RecordReader::RecordReader(const std::string& path) : path_(path) {
  try {
    file_ = FileSystem::Default().Open(path, OpenMode::kRead);
  } catch (const FileException&) {
    file_.reset();  // failed state
  }
  if (file_ != nullptr) buffer_.resize(kReadBufferSize);
}

RecordReader::~RecordReader() = default;

bool RecordReader::FillGroup() {
  const std::uint64_t buffer_end = buffer_start_ + buffer_length_;
  if (pos_ >= buffer_start_ && pos_ < buffer_end && buffer_end - pos_ >= 4) return true;
  buffer_start_ = pos_;
  buffer_length_ = 0;
  try {
    file_->Seek(pos_);
    while (buffer_length_ < buffer_.size()) {
      const std::size_t got =
          file_->Read(buffer_.data() + buffer_length_, buffer_.size() - buffer_length_);
      if (got == 0) break;
      buffer_length_ += got;
    }
  } catch (const FileException&) {
    // A file that cannot be read further reads as if it ended at what was read.
  }
  return buffer_length_ >= 4;
}

bool RecordReader::ReadLine() {
  line_.clear();
  while (FillGroup()) {
    const std::size_t offset = static_cast<std::size_t>(pos_ - buffer_start_);
    const std::size_t groups = (buffer_length_ - offset) / 4;
    const unsigned char* p = buffer_.data() + offset;
    for (std::size_t i = 0; i < groups; ++i, p += 4) {
      const std::uint32_t c = DecodeRecordGroup(LoadLittleEndian(p));
      if (c == static_cast<std::uint32_t>(kLineEnd)) {
        pos_ += 4 * (i + 1);
        return !line_.empty();
      }
      line_.push_back(static_cast<char>(c & 0xFFu));
    }
    pos_ += 4 * groups;
  }
  return !line_.empty();
}

bool RecordReader::FindFirstRecord() {
  if (failed()) return false;
  pos_ = 0;
  return FindNextRecord();
}

bool RecordReader::FindNextRecord() {
  if (failed()) return false;
  while (ReadLine()) {
    if (line_ == kRecordStartLine) {
      record_start_ = pos_;
      return true;
    }
  }
  return false;
}

bool RecordReader::GetString(std::string_view key, std::string& value) {
  value.clear();
  if (failed()) return false;
  pos_ = record_start_;
  while (ReadLine()) {
    if (line_ == kRecordEndLine) return false;
    const std::size_t equals = line_.find('=');
    const std::string_view line(line_);
    if (line.substr(0, equals) == key) {
      value.assign(equals == std::string::npos ? line : line.substr(equals + 1));
      return true;
    }
  }
  return false;
}

bool RecordReader::GetInteger(std::string_view key, std::int32_t& value) {
  value = 0;
  std::string text;
  if (!GetString(key, text)) return false;
  value = ParseRecordInteger(text);
  return true;
}

}  // namespace talmor
