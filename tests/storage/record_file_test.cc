#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
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

std::string Group(float f) {
  const auto w = std::bit_cast<std::uint32_t>(f);
  std::string g(4, '\0');
  for (int i = 0; i < 4; ++i) g[i] = static_cast<char>(w >> (8 * i));
  return g;
}

// The file bytes of `text`, one group per byte, built by hand.
std::string Encode(const std::string& text) {
  std::string out;
  for (unsigned char b : text) out += Group(static_cast<float>(b ^ 0x5D));
  return out;
}

using testing::ReadBytes;
using testing::WriteBytes;

TEST(RecordFormatTest, DecodesEveryBitPatternDefinedly) {
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(static_cast<float>(0x5C))), 1u);
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(0.0f)), 0x5Du);
  // 1.6 + 0.5 truncates to 2.
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(1.6f)), 2u ^ 0x5Du);
  // -0.7 + 0.5 and -3 + 0.5 truncate toward zero, to 0 and -2.
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(-0.7f)), 0x5Du);
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(-3.0f)), 0xFFFFFFFEu ^ 0x5Du);
  const std::uint32_t indefinite = 0x80000000u ^ 0x5Du;
  EXPECT_EQ(DecodeRecordGroup(0x7FC00000u), indefinite);  // NaN
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(INFINITY)), indefinite);
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(-INFINITY)), indefinite);
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(3e9f)), indefinite);
  EXPECT_EQ(DecodeRecordGroup(std::bit_cast<std::uint32_t>(1e6f)), 1000000u ^ 0x5Du);
}

TEST(RecordFormatTest, IntegerConversion) {
  EXPECT_EQ(ParseRecordInteger("-17"), -17);
  EXPECT_EQ(ParseRecordInteger("12abc"), 12);
  EXPECT_EQ(ParseRecordInteger("+5"), 0);
  EXPECT_EQ(ParseRecordInteger(" 5"), 0);
  EXPECT_EQ(ParseRecordInteger(""), 0);
  EXPECT_EQ(ParseRecordInteger("-"), 0);
  EXPECT_EQ(ParseRecordInteger("4294967297"), 1);  // wraps in 32 bits
  EXPECT_EQ(ParseRecordInteger("2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseRecordInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

class RecordFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("TEST.REC");
};

TEST_F(RecordFileTest, MinimalRecordLayoutAndLookups) {
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteInteger("A", 1);
    writer.WriteEnd();
    writer.Close();
  }
  const std::string bytes = ReadBytes(path_);
  EXPECT_EQ(bytes.size(), 72u);
  EXPECT_EQ(bytes, Encode("##START\x01"
                          "A=1\x01##END\x01"));
  // Every group holds a whole number from 0 to 255.
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    std::uint32_t w;
    std::memcpy(&w, bytes.data() + i, 4);
    const float f = std::bit_cast<float>(w);
    EXPECT_EQ(f, std::floor(f));
    EXPECT_GE(f, 0.0f);
    EXPECT_LE(f, 255.0f);
  }
  RecordReader reader(path_);
  ASSERT_TRUE(reader.FindFirstRecord());
  std::int32_t n = -1;
  EXPECT_TRUE(reader.GetInteger("A", n));
  EXPECT_EQ(n, 1);
  EXPECT_FALSE(reader.GetInteger("a", n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(reader.FindNextRecord());
}

TEST_F(RecordFileTest, WrittenFilesReadBackIdentically) {
  std::string every_byte;
  for (int b = 0; b < 256; ++b) {
    if (b != 1) every_byte.push_back(static_cast<char>(b));
  }
  {
    RecordWriter writer(path_);
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
  RecordReader reader(path_);
  int count = 0;
  for (bool found = reader.FindFirstRecord(); found; found = reader.FindNextRecord(), ++count) {
    std::string value;
    std::int32_t n;
    // Keys asked in another order than written; each lookup rescans the record.
    EXPECT_TRUE(reader.GetInteger("Neg", n));
    EXPECT_EQ(n, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(reader.GetString("Bytes", value));
    EXPECT_EQ(value, every_byte);
    EXPECT_TRUE(reader.GetString("Name", value));
    EXPECT_EQ(value, "record" + std::to_string(count));
    EXPECT_TRUE(reader.GetString("Eq", value));
    EXPECT_EQ(value, "x=y");
    EXPECT_TRUE(reader.GetString("Empty", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(reader.GetString("Long", value));
    EXPECT_EQ(value, std::string(200000, static_cast<char>(0xE9)));
    EXPECT_FALSE(reader.GetString("Missing", value));
  }
  EXPECT_EQ(count, 3);
}

TEST_F(RecordFileTest, DamagedFilesReadAsFarAsTheyGo) {
  // Lines outside records are skipped, a line without '=' equal to the key yields itself,
  // the first occurrence of a key wins, a lookup stops at ##END, two records with the same key
  // each give their own value, a stray non-line-end group adds a character.
  std::string text =
      "junk\x01"
      "K=outside\x01"
      "##START\x01"
      "K=first\x01"
      "K=second\x01"
      "Flag\x01"
      "P=x=y\x01"
      "##END\x01"
      "Q=after\x01"
      "##START\x01"
      "K=other\x01"
      "##END\x01";
  std::string bytes = Encode(text);
  bytes += Encode("##START\x01");
  bytes += Group(1000.0f);  // decodes to 1000 ^ 0x5D: not a line end, appends its low 8 bits
  bytes += Encode("=v\x01");
  bytes += Encode(
      "##START\x01"
      "Z=1\x01"
      "\x01"
      "Y=2\x01"
      "##END\x01"
      "##START\x01"
      "W=3\x01");
  bytes += "\x10\x20";  // short final group
  WriteBytes(path_, bytes);

  RecordReader reader(path_);
  std::string value;
  ASSERT_TRUE(reader.FindFirstRecord());
  EXPECT_TRUE(reader.GetString("K", value));
  EXPECT_EQ(value, "first");
  EXPECT_TRUE(reader.GetString("Flag", value));
  EXPECT_EQ(value, "Flag");
  EXPECT_TRUE(reader.GetString("P", value));
  EXPECT_EQ(value, "x=y");
  EXPECT_FALSE(reader.GetString("Q", value));
  EXPECT_EQ(value, "");
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_TRUE(reader.GetString("K", value));
  EXPECT_EQ(value, "other");
  ASSERT_TRUE(reader.FindNextRecord());
  const char odd = static_cast<char>((1000 ^ 0x5D) & 0xFF);
  EXPECT_TRUE(reader.GetString(std::string(1, odd), value));
  EXPECT_EQ(value, "v");
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_TRUE(reader.GetString("Z", value));
  // The enumeration meets the empty line: no record after it is found.
  EXPECT_FALSE(reader.FindNextRecord());

  // A lookup cannot read past the empty line either.
  RecordReader again(path_);
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(i == 0 ? again.FindFirstRecord() : again.FindNextRecord());
  EXPECT_TRUE(again.GetString("Z", value));
  EXPECT_FALSE(again.GetString("Y", value));
}

TEST_F(RecordFileTest, RecordWithoutEndAndShortFinalGroup) {
  WriteBytes(path_, Encode("##START\x01"
                         "A=1\x01"
                         "##START\x01"
                         "B=2\x01"
                         "C=3") +
                      "\x01\x02\x03");
  RecordReader reader(path_);
  std::string value;
  ASSERT_TRUE(reader.FindFirstRecord());
  EXPECT_TRUE(reader.GetString("A", value));
  // The next find continues after the line the lookup stopped at.
  ASSERT_TRUE(reader.FindNextRecord());
  EXPECT_TRUE(reader.GetString("B", value));
  EXPECT_FALSE(reader.GetString("A", value));
  // Without ##END a lookup runs on to the file's end; a last line without its line end counts.
  EXPECT_TRUE(reader.GetString("C", value));
  EXPECT_EQ(value, "3");
  EXPECT_FALSE(reader.FindNextRecord());

  // A lookup that ran to the end leaves the enumeration there.
  RecordReader first(path_);
  ASSERT_TRUE(first.FindFirstRecord());
  EXPECT_TRUE(first.GetString("C", value));
  EXPECT_FALSE(first.FindNextRecord());
}

TEST_F(RecordFileTest, MissingFileIsTheFailedState) {
  RecordReader reader(dir_.File("NONE.REC"));
  EXPECT_TRUE(reader.failed());
  EXPECT_FALSE(reader.FindFirstRecord());
  std::string value = "x";
  std::int32_t n = 5;
  EXPECT_FALSE(reader.GetString("A", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(reader.GetInteger("A", n));
  EXPECT_EQ(n, 0);
}

TEST_F(RecordFileTest, LineEndBytesAreStrippedFromValues) {
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteString("V",
                       "a\x01"
                       "B=2");
    writer.WriteEnd();
    writer.Close();
  }
  RecordReader reader(path_);
  std::string value;
  ASSERT_TRUE(reader.FindFirstRecord());
  EXPECT_TRUE(reader.GetString("V", value));
  EXPECT_EQ(value, "aB=2");
  EXPECT_FALSE(reader.GetString("B", value));
}

TEST_F(RecordFileTest, RewriteKeepsReadOnlyAndOldTimes) {
  const FileTime old_time = std::chrono::system_clock::now() - std::chrono::hours(24 * 30);
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteEnd();
    writer.Close();
  }
  FileSystem& fs = OsFileSystem();
  auto status = fs.GetStatus(path_);
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->attributes & kAttributeReadOnly);
  FileStatus aged = *status;
  aged.modified = aged.accessed = old_time;
  fs.SetStatus(path_, aged);
  {
    RecordWriter writer(path_);
    writer.WriteStart();
    writer.WriteString("New", "yes");
    writer.WriteEnd();
    writer.Close();
  }
  status = fs.GetStatus(path_);
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->attributes & kAttributeReadOnly);
  EXPECT_EQ(std::filesystem::status(path_).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                std::filesystem::perms::others_read);
  EXPECT_EQ(status->modified, old_time);
  EXPECT_EQ(status->accessed, old_time);
  RecordReader reader(path_);
  std::string value;
  ASSERT_TRUE(reader.FindFirstRecord());
  EXPECT_TRUE(reader.GetString("New", value));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(RecordFileTest, UnclosedWriterLeavesTargetAndNoTemporary) {
  WriteBytes(path_, "old content");
  {
    RecordWriter writer(path_);
    ASSERT_FALSE(writer.failed());
    EXPECT_TRUE(std::filesystem::exists(writer.temporary_path()));
    writer.WriteStart();
    writer.WriteString("K", std::string(300000, 'x'));  // beyond the buffer: really written
  }
  EXPECT_EQ(ReadBytes(path_), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(RecordFileTest, WriterInUnwritableDirectoryRaises) {
  RecordWriter writer(dir_.File("no/such/dir/X.REC"));
  EXPECT_TRUE(writer.failed());
  EXPECT_THROW(writer.WriteStart(), FileException);
  EXPECT_THROW(writer.Close(), FileException);
}

}  // namespace
}  // namespace talmor
