#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "storage/record_format.h"
#include "storage/record_reader.h"
#include "storage/record_writer.h"
#include "support/bytes.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

std::string Group(float f) { return testing::Le32(std::bit_cast<std::uint32_t>(f)); }

// The file bytes of `text`, one group per byte, built by hand.
std::string Encode(const std::string& text) {
  std::string out;
  for (unsigned char b : text) out += Group(static_cast<float>(b ^ 0x5D));
  return out;
}

// A key's value in the current record; a missing key shows as "<missing:what it was set to>".
std::string Get(RecordReader& reader, const std::string& key) {
  std::string value = "junk";
  return reader.GetString(key, value) ? value : "<missing:" + value + ">";
}

constexpr std::uint32_t kIndefinite = 0x80000000u ^ 0x5Du;

TEST(RecordFormatTest, DecodesEveryBitPatternDefinedlyAndParsesIntegersIn32Bits) {
  // Each float is rounded by adding 0.5 and truncating toward zero; what does not fit is the
  // indefinite integer.
  const std::pair<float, std::uint32_t> groups[] = {
      {0x5C, 1u}, {0.0f, 0x5Du}, {1.6f, 2u ^ 0x5Du}, {-0.7f, 0x5Du}, {-3.0f, 0xFFFFFFFEu ^ 0x5Du},
      {NAN, kIndefinite}, {INFINITY, kIndefinite}, {-INFINITY, kIndefinite}, {3e9f, kIndefinite},
      {1e6f, 1000000u ^ 0x5Du}};
  for (auto [f, decoded] : groups) {
    EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(f)), decoded) << f;
  }
  const std::pair<const char*, std::int32_t> integers[] = {
      {"-17", -17}, {"12abc", 12}, {"+5", 0}, {" 5", 0}, {"", 0}, {"-", 0}, {"4294967297", 1},
      {"2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()}};
  for (auto [text, value] : integers) EXPECT_EQ(ParseRecordInteger(text), value) << text;
}

class RecordFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("TEST.REC");
};

TEST_F(RecordFileTest, WrittenFilesHaveTheExactBytesAndReadBackIdentically) {
  std::string every_byte;  // all but the line end, which a value cannot hold
  for (int b = 0; b < 256; ++b) every_byte += b == 1 ? "" : std::string(1, static_cast<char>(b));
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteInteger("A", 1);
    writer.WriteString("V", "a\x01" "B=2");  // line ends are stripped from values
    writer.WriteEnd();
    for (int i = 0; i < 3; ++i) {
      writer.WriteStart();
      writer.WriteString("Name", "record" + std::to_string(i));
      writer.WriteString("Bytes", every_byte);
      writer.WriteString("Eq", "x=y");
      writer.WriteString("Empty", "");
      writer.WriteString("Long", std::string(200000, static_cast<char>(0xE9)));
      writer.WriteInteger("Neg", -2147483647 - 1);
      writer.WriteEnd();
    }
    writer.Close();
  }
  const std::string first = Encode("##START\x01" "A=1\x01" "V=aB=2\x01" "##END\x01");
  EXPECT_EQ(ReadBytes(path_).substr(0, first.size()), first);
  RecordReader reader(path_);
  ASSERT_TRUE(reader.FindFirstRecord());
  std::int32_t n = -1;
  EXPECT_TRUE(reader.GetInteger("A", n) && n == 1);
  EXPECT_FALSE(reader.GetInteger("a", n));  // keys match exactly
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Get(reader, "V"), "aB=2");
  EXPECT_EQ(Get(reader, "B"), "<missing:>");
  int count = 0;
  for (; reader.FindNextRecord(); ++count) {
    // Keys asked in another order than written; each lookup rescans the record.
    EXPECT_TRUE(reader.GetInteger("Neg", n) && n == std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Get(reader, "Bytes"), every_byte);
    EXPECT_EQ(Get(reader, "Name"), "record" + std::to_string(count));
    EXPECT_EQ(Get(reader, "Eq") + "|" + Get(reader, "Empty"), "x=y|");
    EXPECT_EQ(Get(reader, "Long"), std::string(200000, static_cast<char>(0xE9)));
    EXPECT_EQ(Get(reader, "Missing"), "<missing:>");
  }
  EXPECT_EQ(count, 3);
}

TEST_F(RecordFileTest, DamagedFilesReadAsFarAsTheyGo) {
  // Lines outside records are skipped, a line without '=' equal to the key yields itself,
  // the first occurrence of a key wins, a lookup stops at ##END, two records with the same key
  // each give their own value, a stray non-line-end group adds a character.
  std::string bytes = Encode(
      "junk\x01" "K=outside\x01" "##START\x01" "K=first\x01" "K=second\x01" "Flag\x01" "P=x");
  // Not a whole number, and far from the floats a writer makes: 100000.703125 rounds to 100001,
  // whose low byte after the key is 0xFC.
  bytes += Group(100000.7f);
  bytes += Encode(
      "=y\x01" "##END\x01" "Q=after\x01" "##START\x01" "K=other\x01" "##END\x01" "##START\x01");
  bytes += Group(1000.0f);  // decodes to 1000 ^ 0x5D: not a line end, appends its low 8 bits
  bytes += Encode("=v\x01" "##START\x01" "Z=1\x01" "\x01" "Y=2\x01" "##END\x01" "##START\x01" "W=3\x01");
  WriteBytes(path_, bytes + "\x10\x20");  // short final group
  RecordReader reader(path_);
  ASSERT_TRUE(reader.FindFirstRecord());
  EXPECT_EQ(Get(reader, "K") + "|" + Get(reader, "Flag") + "|" + Get(reader, "P"), "first|Flag|x\xFC=y");
  EXPECT_EQ(Get(reader, "Q"), "<missing:>");
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_EQ(Get(reader, "K"), "other");
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_EQ(Get(reader, std::string(1, static_cast<char>((1000 ^ 0x5D) & 0xFF))), "v");
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_EQ(Get(reader, "Z"), "1");
  EXPECT_FALSE(reader.FindNextRecord());  // the enumeration stops at the empty line
  RecordReader again(path_);              // and so does a lookup
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(i == 0 ? again.FindFirstRecord() : again.FindNextRecord());
  EXPECT_EQ(Get(again, "Z") + Get(again, "Y"), "1<missing:>");

  RecordReader missing(dir_.File("NONE.REC"));
  EXPECT_TRUE(missing.failed() && !missing.FindFirstRecord());
  std::int32_t n = 5;
  EXPECT_EQ(Get(missing, "A"), "<missing:>");
  EXPECT_FALSE(missing.GetInteger("A", n));
  EXPECT_EQ(n, 0);
}

TEST_F(RecordFileTest, RewriteKeepsReadOnlyAndOldTimesAndAWriterThatCannotStartFails) {
  const FileTime old_time = std::chrono::system_clock::now() - std::chrono::hours(24 * 30);
  RecordWriter(path_).Close();
  FileSystem& fs = OsFileSystem();
  FileStatus aged = fs.GetStatus(path_).value();
  EXPECT_TRUE(aged.attributes & kAttributeReadOnly);
  aged.modified = aged.accessed = old_time;
  fs.SetStatus(path_, aged);
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteString("New", "yes");
    writer.WriteEnd();
    writer.Close();
  }
  const FileStatus status = fs.GetStatus(path_).value();
  EXPECT_TRUE(status.attributes & kAttributeReadOnly);
  EXPECT_TRUE(status.modified == old_time && status.accessed == old_time);
  RecordWriter nowhere(dir_.File("no/such/dir/X.REC"));
  EXPECT_TRUE(nowhere.failed());
  EXPECT_THROW(nowhere.WriteStart(), FileException);
  EXPECT_THROW(nowhere.Close(), FileException);
}

}  // namespace
}  // namespace talmor
