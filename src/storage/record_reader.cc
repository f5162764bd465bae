#include "storage/record_reader.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_format.h"

namespace talmor {

namespace {

constexpr std::size_t kReadBufferSize = 64 * 1024;  // a multiple of 4
constexpr std::uint16_t kLineEndEntry = 0x100;

std::uint32_t LoadLittleEndian(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// What a group decodes to, as a text byte (0 to 255) or kLineEndEntry (the value 1 on all 32
// bits).
std::uint16_t Entry(std::uint32_t c) {
  return c == static_cast<std::uint32_t>(kLineEnd) ? kLineEndEntry
                                                   : static_cast<std::uint16_t>(c & 0xFFu);
}

// The entries of the groups whose low 16 bits are zero (every group a writer makes: the floats
// of 0 to 255 need no more bits), by their high 16 bits.
struct HighHalfTable {
  HighHalfTable();
  std::uint16_t entry[65536];
};

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

namespace {
HighHalfTable::HighHalfTable() {
  for (std::uint32_t high = 0; high < 65536; ++high) entry[high] = Entry(DecodeRecordGroup(high << 16));
}
}  // namespace

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

void RecordReader::Decode() {
  if (decoded_ || failed()) return;
  decoded_ = true;
  static const HighHalfTable table;
  std::size_t used = 0;  // bytes of text_ filled
  std::size_t carried = 0;  // bytes of an incomplete group at the start of buffer_
  try {
    text_.resize(static_cast<std::size_t>(file_->Length() / 4));
    file_->Seek(0);
    for (;;) {
      const std::size_t got = file_->Read(buffer_.data() + carried, buffer_.size() - carried);
      if (got == 0) break;
      const std::size_t available = carried + got;
      const std::size_t groups = available / 4;
      if (used + groups > text_.size()) text_.resize(used + groups);
      char* out = text_.data();
      const unsigned char* p = buffer_.data();
      auto decode_one = [&](const unsigned char* q) {
        const std::uint32_t word = LoadLittleEndian(q);
        const std::uint16_t e = (word & 0xFFFFu) == 0 ? table.entry[word >> 16]
                                                      : Entry(DecodeRecordGroup(word));
        if (e == kLineEndEntry) {
          line_ends_.push_back(used);
        } else {
          out[used++] = static_cast<char>(e);
        }
      };
      std::size_t i = 0;
#ifdef __SSE2__
      // Four groups at a time when all four are whole numbers from 0 to 255 (as a writer makes
      // them) and none is a line end: the float plus 0.5 then truncates to the number itself.
      const __m128 zero = _mm_setzero_ps(), limit = _mm_set1_ps(256.0f);
      const __m128i key = _mm_set1_epi32(kRecordKey), line_end = _mm_set1_epi32(kLineEnd);
      for (; i + 4 <= groups; i += 4, p += 16) {
        const __m128 f = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        const __m128i n = _mm_cvttps_epi32(f);
        const __m128 whole = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(f, zero), _mm_cmplt_ps(f, limit)),
                                        _mm_cmpeq_ps(_mm_cvtepi32_ps(n), f));
        const __m128i c = _mm_xor_si128(n, key);
        if (_mm_movemask_ps(whole) != 0xF || _mm_movemask_epi8(_mm_cmpeq_epi32(c, line_end)) != 0) {
          for (int k = 0; k < 4; ++k) decode_one(p + 4 * k);
          continue;
        }
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(c, c), _mm_setzero_si128());
        const int four = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + used, &four, 4);
        used += 4;
      }
#endif
      for (; i < groups; ++i, p += 4) decode_one(p);
      carried = available - groups * 4;
      std::memmove(buffer_.data(), p, carried);  // a short final group is dropped at the end
    }
  } catch (const FileException&) {
    // A file that cannot be read further reads as if it ended at what was read.
  }
  text_.resize(used);
  // A last line without its line end still counts.
  if (used > (line_ends_.empty() ? 0 : line_ends_.back())) line_ends_.push_back(used);
  buffer_ = {};
}

bool RecordReader::ReadLine(std::string_view& line) {
  if (pos_ >= line_ends_.size()) return false;
  const std::size_t begin = pos_ == 0 ? 0 : line_ends_[pos_ - 1];
  line = std::string_view(text_).substr(begin, line_ends_[pos_] - begin);
  ++pos_;
  return !line.empty();
}

bool RecordReader::FindFirstRecord() {
  if (failed()) return false;
  pos_ = 0;
  return FindNextRecord();
}

bool RecordReader::FindNextRecord() {
  if (failed()) return false;
  Decode();
  std::string_view line;
  while (ReadLine(line)) {
    if (line == kRecordStartLine) {
      record_start_ = pos_;
      return true;
    }
  }
  return false;
}

void RecordReader::IndexRecord() {
  if (indexed_record_ == record_start_) return;
  indexed_record_ = record_start_;
  fields_.clear();
  pos_ = record_start_;
  std::string_view line;
  while (ReadLine(line) && line != kRecordEndLine) {
    const std::size_t equals = line.find('=');
    fields_.push_back({line.substr(0, equals),
                       equals == std::string_view::npos ? line : line.substr(equals + 1), pos_});
  }
  scan_end_ = pos_;
}

bool RecordReader::GetView(std::string_view key, std::string_view& value) {
  value = {};
  if (failed()) return false;
  Decode();
  IndexRecord();
  for (const Field& field : fields_) {
    if (field.key == key) {
      pos_ = field.next_line;
      value = field.value;
      return true;
    }
  }
  pos_ = scan_end_;
  return false;
}

bool RecordReader::GetString(std::string_view key, std::string& value) {
  std::string_view view;
  const bool found = GetView(key, view);
  value.assign(view);
  return found;
}

bool RecordReader::GetInteger(std::string_view key, std::int32_t& value) {
  value = 0;
  std::string_view text;
  if (!GetView(key, text)) return false;
  value = ParseRecordInteger(text);
  return true;
}

}  // namespace talmor
