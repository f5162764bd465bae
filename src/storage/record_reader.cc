#include "storage/record_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_format.h"

namespace talmor {

namespace {

constexpr std::size_t kReadBufferSize = 256 * 1024;  // a multiple of 4
constexpr std::uint16_t kLineEndEntry = 0x100;
// How far ahead of the decoding the file's bytes are asked for: a page, so that the next page of
// a mapping (rarely next to this one in memory) is on its way before it is needed. A hint only:
// reading ahead of the end is harmless.
constexpr std::size_t kPrefetchAhead = 4096;

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
}

RecordReader::~RecordReader() = default;

namespace {

// Decodes group i of `p` into out[i]; a line end goes in as a kLineEnd byte, and its position,
// counted from `base`, onto `line_ends`.
void DecodeOne(const unsigned char* p, std::size_t i, char* out, std::size_t base,
               std::vector<std::size_t>& line_ends) {
  static const HighHalfTable table;
  const std::uint32_t word = LoadLittleEndian(p + 4 * i);
  const std::uint16_t e =
      (word & 0xFFFFu) == 0 ? table.entry[word >> 16] : Entry(DecodeRecordGroup(word));
  if (e == kLineEndEntry) {
    out[i] = kLineEnd;
    line_ends.push_back(base + i);
  } else {
    out[i] = static_cast<char>(e);
  }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TALMOR_DECODE_AVX2 1
// The blocks of 32 groups from the start, as DecodeGroups decodes them, with the wider
// instructions; returns the number of groups done. Only for processors that have them.
__attribute__((target("avx2"))) std::size_t DecodeWide(const unsigned char* p,
                                                        std::size_t groups, char* out,
                                                        std::size_t base,
                                                        std::vector<std::size_t>& line_ends) {
  const __m256i above_byte = _mm256_set1_epi32(~0xFF), zero = _mm256_setzero_si256();
  const __m256i key = _mm256_set1_epi8(static_cast<char>(kRecordKey));
  const __m256i line_end = _mm256_set1_epi8(kLineEnd);
  // The packing works within each half: this puts the four-byte runs back in group order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::size_t i = 0;
  for (; i + 32 <= groups; i += 32) {
    __m256i n[4];
    __m256i whole = _mm256_set1_epi32(-1), any_bits = zero;
    _mm_prefetch(reinterpret_cast<const char*>(p + 4 * i + kPrefetchAhead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(p + 4 * i + kPrefetchAhead + 64), _MM_HINT_T0);
    for (int k = 0; k < 4; ++k) {
      const __m256 f = _mm256_loadu_ps(reinterpret_cast<const float*>(p + 4 * i + 32 * k));
      n[k] = _mm256_cvttps_epi32(f);
      whole = _mm256_and_si256(
          whole, _mm256_castps_si256(_mm256_cmp_ps(_mm256_cvtepi32_ps(n[k]), f, _CMP_EQ_OQ)));
      any_bits = _mm256_or_si256(any_bits, n[k]);
    }
    const __m256i in_range = _mm256_cmpeq_epi32(_mm256_and_si256(any_bits, above_byte), zero);
    if (_mm256_movemask_epi8(_mm256_and_si256(whole, in_range)) != -1) {
      for (std::size_t k = i; k < i + 32; ++k) DecodeOne(p, k, out, base, line_ends);
      continue;
    }
    const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(n[0], n[1]),
                                               _mm256_packs_epi32(n[2], n[3]));
    const __m256i bytes = _mm256_xor_si256(_mm256_permutevar8x32_epi32(packed, order), key);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    for (auto ends = static_cast<std::uint32_t>(
             _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, line_end)));
         ends != 0; ends &= ends - 1) {
      line_ends.push_back(base + i + static_cast<std::size_t>(std::countr_zero(ends)));
    }
  }
  return i;
}

bool HasWideDecode() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

// Decodes `groups` whole groups from `p` into out[0..groups), one byte per group; the line ends
// go in as kLineEnd bytes, and their positions, counted from `base`, onto `line_ends` in order.
void DecodeGroups(const unsigned char* p, std::size_t groups, char* out, std::size_t base,
                  std::vector<std::size_t>& line_ends) {
  auto decode_one = [&](std::size_t i) { DecodeOne(p, i, out, base, line_ends); };
  std::size_t i = 0;
#ifdef TALMOR_DECODE_AVX2
  if (HasWideDecode()) i = DecodeWide(p, groups, out, base, line_ends);
#endif
#ifdef __SSE2__
  // Sixteen groups at a time when all are whole numbers from 0 to 255 (as a writer makes them):
  // the float plus 0.5 then truncates to the number itself, and a byte is the line end exactly
  // when it is kLineEnd.
  const __m128i above_byte = _mm_set1_epi32(~0xFF), zero = _mm_setzero_si128();
  const __m128i key = _mm_set1_epi8(static_cast<char>(kRecordKey));
  const __m128i line_end = _mm_set1_epi8(kLineEnd);
  for (; i + 16 <= groups; i += 16) {
    __m128i n[4];
    __m128i whole = _mm_set1_epi32(-1), any_bits = zero;
    _mm_prefetch(reinterpret_cast<const char*>(p + 4 * i + kPrefetchAhead), _MM_HINT_T0);
    for (int k = 0; k < 4; ++k) {
      const __m128 f = _mm_castsi128_ps(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i + 16 * k)));
      n[k] = _mm_cvttps_epi32(f);
      whole = _mm_and_si128(whole, _mm_castps_si128(_mm_cmpeq_ps(_mm_cvtepi32_ps(n[k]), f)));
      any_bits = _mm_or_si128(any_bits, n[k]);
    }
    const __m128i in_range = _mm_cmpeq_epi32(_mm_and_si128(any_bits, above_byte), zero);
    if (_mm_movemask_epi8(_mm_and_si128(whole, in_range)) != 0xFFFF) {
      for (std::size_t k = i; k < i + 16; ++k) decode_one(k);
      continue;
    }
    // Every n is 0 to 255: the packing keeps them, and the key is applied to the bytes.
    const __m128i bytes = _mm_xor_si128(
        _mm_packus_epi16(_mm_packs_epi32(n[0], n[1]), _mm_packs_epi32(n[2], n[3])), key);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    for (auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_end)));
         ends != 0; ends &= ends - 1) {
      line_ends.push_back(base + i + static_cast<std::size_t>(std::countr_zero(ends)));
    }
  }
#endif
  for (; i < groups; ++i) decode_one(i);
}

// Room for `size` bytes of text and kTextPadding zero bytes after them.
constexpr std::size_t kTextPadding = 16;
std::unique_ptr<char[]> NewText(std::size_t size) {
  std::unique_ptr<char[]> text(new char[size + kTextPadding]);
  std::memset(text.get() + size, 0, kTextPadding);
  return text;
}

// Equality of two texts as short as keys and marker lines are, without a library call; inlined
// into the scans, which call it for every line.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline bool SameText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  if (n > 16) return a == b;
  // The first and the last eight bytes, which overlap below sixteen, cover the whole text.
  std::uint64_t a_head, b_head, a_tail, b_tail;
  std::memcpy(&a_head, a.data(), 8);
  std::memcpy(&b_head, b.data(), 8);
  std::memcpy(&a_tail, a.data() + n - 8, 8);
  std::memcpy(&b_tail, b.data() + n - 8, 8);
  return a_head == b_head && a_tail == b_tail;
}

// Where the first '=' of a line stands, or npos. The line must be followed by at least
// kTextPadding readable bytes: they are read and not looked at.
std::size_t FindEquals(std::string_view line) {
  std::size_t i = 0;
#ifdef __SSE2__
  const __m128i equals = _mm_set1_epi8('=');
  for (; i < line.size(); i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
    const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, equals)));
    if (found != 0) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(found));
      return at < line.size() ? at : std::string_view::npos;
    }
  }
  return std::string_view::npos;
#else
  for (; i < line.size(); ++i) {
    if (line[i] == '=') return i;
  }
  return std::string_view::npos;
#endif
}

}  // namespace

void RecordReader::Decode() {
  if (decoded_ || failed()) return;
  decoded_ = true;
  std::size_t capacity = 0;  // bytes text_ has room for
  std::size_t used = 0;      // bytes of text_ filled
  std::size_t carried = 0;   // bytes of an incomplete group at the start of buffer
  try {
    const std::uint64_t length = file_->Length();
    capacity = static_cast<std::size_t>(length / 4);
    text_ = NewText(capacity);
    line_ends_.reserve(capacity / 16);
    // Mapped, the file is decoded where it lies, up to the length it had when asked (the record
    // files are replaced by rename, never truncated in place); otherwise it is read in blocks.
    const unsigned char* map = file_->MapForReading(length);
    const bool mapped = map != nullptr;
    if (mapped) {
      DecodeGroups(map, capacity, text_.get(), 0, line_ends_);
      used = capacity;
      file_->Close();  // the text is decoded: the mapping goes with the file
    }
    std::unique_ptr<unsigned char[]> buffer(mapped ? nullptr : new unsigned char[kReadBufferSize]);
    if (!mapped) file_->Seek(0);
    while (!mapped) {
      const std::size_t got = file_->Read(buffer.get() + carried, kReadBufferSize - carried);
      if (got == 0) break;
      const std::size_t available = carried + got;
      const std::size_t groups = available / 4;
      if (used + groups > capacity) {  // the file grew while being read
        capacity = std::max(used + groups, capacity * 2);
        std::unique_ptr<char[]> larger = NewText(capacity);
        std::memcpy(larger.get(), text_.get(), used);
        text_ = std::move(larger);
      }
      DecodeGroups(buffer.get(), groups, text_.get() + used, used, line_ends_);
      used += groups;
      carried = available - groups * 4;
      // A short final group is dropped at the end.
      std::memmove(buffer.get(), buffer.get() + groups * 4, carried);
    }
  } catch (const FileException&) {
    // A file that cannot be read further reads as if it ended at what was read.
  }
  // A last line without its line end still counts.
  if (used > (line_ends_.empty() ? 0 : line_ends_.back() + 1)) line_ends_.push_back(used);
}

bool RecordReader::FindFirstRecord() {
  if (failed()) return false;
  pos_ = 0;
  return FindNextRecord();
}

bool RecordReader::FindNextRecord() {
  if (failed()) return false;
  Decode();
  const char* text = text_.get();
  std::size_t begin = pos_ == 0 ? 0 : line_ends_[pos_ - 1] + 1;
  while (pos_ < line_ends_.size()) {
    const std::size_t end = line_ends_[pos_++];
    const std::string_view line(text + begin, end - begin);
    begin = end + 1;
    if (line.empty()) return false;
    if (SameText(line, kRecordStartLine)) {
      record_start_ = pos_;
      return true;
    }
  }
  return false;
}

void RecordReader::IndexRecord() {
  indexed_record_ = record_start_;
  fields_.clear();
  // The lines up to "##END", an empty line or the file's end; the line that stops the walk is
  // passed as well.
  const char* text = text_.get();
  std::size_t line = record_start_;
  std::size_t begin = line == 0 ? 0 : line_ends_[line - 1] + 1;
  for (; line < line_ends_.size(); ++line) {
    const std::size_t end = line_ends_[line];
    const std::string_view field(text + begin, end - begin);
    begin = end + 1;
    if (field.empty() || SameText(field, kRecordEndLine)) {
      ++line;
      break;
    }
    const std::size_t equals = FindEquals(field);
    fields_.push_back({field.substr(0, equals),
                       equals == std::string_view::npos ? field : field.substr(equals + 1),
                       line + 1});
  }
  scan_end_ = line;
  pos_ = line;
}

bool RecordReader::GetView(std::string_view key, std::string_view& value) {
  value = {};
  if (failed()) return false;
  if (!decoded_) Decode();
  if (indexed_record_ != record_start_) IndexRecord();
  for (const Field& field : fields_) {
    if (SameText(field.key, key)) {
      pos_ = field.next_line;
      value = field.value;
      return true;
    }
  }
  pos_ = scan_end_;
  return false;
}

void RecordReader::GetViews(const std::string_view* keys, std::string_view* values,
                            std::size_t count) {
  if (!failed() && !decoded_) Decode();
  if (!failed() && count > 0) {
    // Line k holding "keys[k]=" for every k answers each lookup as the first line of its key
    // (the keys differ), and the last lookup leaves the position after line count - 1.
    const char* text = text_.get();
    std::size_t line = record_start_;
    std::size_t begin = line == 0 ? 0 : line_ends_[line - 1] + 1;
    std::size_t k = 0;
    for (; k < count && line < line_ends_.size(); ++k, ++line) {
      const std::size_t end = line_ends_[line];
      const std::string_view key = keys[k];
      if (end - begin <= key.size() || text[begin + key.size()] != '=' ||
          !SameText(std::string_view(text + begin, key.size()), key))
        break;
      values[k] = std::string_view(text + begin + key.size() + 1, end - begin - key.size() - 1);
      begin = end + 1;
    }
    if (k == count) {
      pos_ = line;
      return;
    }
  }
  for (std::size_t k = 0; k < count; ++k) GetView(keys[k], values[k]);
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
