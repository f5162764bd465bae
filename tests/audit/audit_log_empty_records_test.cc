// Index entries of length 0 (never written by the library, found in damaged pairs): reading and
// compaction must agree on them, and compaction must not leave entries beside an empty data file.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string Entry(uint32_t offset, uint16_t length) {
  return Le32(offset) + std::string{static_cast<char>(length), static_cast<char>(length >> 8)} +
         std::string(2, '\0');
}

std::string Index(const std::vector<std::string>& entries, uint32_t flags) {
  std::string idx = Le32(AuditLogFile::kVersion) + Le32(8) + Le32(entries.size()) + Le32(flags);
  for (const auto& e : entries) idx += e;
  return idx;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> ReadableDescriptions(AuditLogFile& log, uint32_t* unreadable) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < log.EventCount(); ++i) {
    std::string d, t, s, u, desc = "x";
    if (log.ReadEvent(i, d, t, s, u, desc)) {
      out.push_back(desc);
    } else {
      EXPECT_EQ(desc, "");
      ++*unreadable;
    }
  }
  return out;
}

// One whole record: date, time, source, user and description, each ended by a zero byte.
const std::string kRecord("01-Jan-2026\0" "10:00:00\0" "Host\0" "op\0" "kept\0", 34);

class AuditLogEmptyRecordsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv env_{"QUORVANE_WINDIR", dir_.path()};
};

TEST_F(AuditLogEmptyRecordsTest, EmptyAndOutsideEntriesAreUnreadableAndDroppedByCompaction) {
  WriteAll(dir_.File("QUORVANE.LOG"), kRecord);
  WriteAll(dir_.File("QUORVANE.IDX"),
           Index({Entry(0, 34), Entry(5000, 0), Entry(34, 0), Entry(10, 40), Entry(0, 34)},
                 AuditLogFile::kFlagCompactionPending));
  {
    AuditLogFile log;
    ASSERT_EQ(log.EventCount(), 5u);
    uint32_t unreadable = 0;
    EXPECT_EQ(ReadableDescriptions(log, &unreadable), (std::vector<std::string>{"kept", "kept"}));
    EXPECT_EQ(unreadable, 3u);  // an empty record past the end, one at the end, one too long
    log.Compact();
  }
  AuditLogFile log;
  uint32_t unreadable = 0;
  EXPECT_EQ(ReadableDescriptions(log, &unreadable), (std::vector<std::string>{"kept", "kept"}));
  EXPECT_EQ(unreadable, 0u);
  EXPECT_EQ(log.EventCount(), 2u);
}

TEST_F(AuditLogEmptyRecordsTest, CompactingOnlyEmptyRecordsLeavesAnEmptyLogThatTakesAppends) {
  WriteAll(dir_.File("QUORVANE.LOG"), kRecord);
  WriteAll(dir_.File("QUORVANE.IDX"),
           Index({Entry(0, 0), Entry(3, 0)}, AuditLogFile::kFlagCompactionPending));
  {
    AuditLogFile log;
    uint32_t unreadable = 0;
    EXPECT_TRUE(ReadableDescriptions(log, &unreadable).empty());
    EXPECT_EQ(unreadable, 2u);
    log.Compact();
    EXPECT_EQ(log.EventCount(), 0u);
    EXPECT_EQ(log.flags() & AuditLogFile::kFlagCompactionPending, 0u);
    ASSERT_TRUE(log.AppendEvent("Host", "op", "after"));
  }
  AuditLogFile log;
  uint32_t unreadable = 0;
  EXPECT_EQ(ReadableDescriptions(log, &unreadable), (std::vector<std::string>{"after"}));
  EXPECT_EQ(unreadable, 0u);
}

}  // namespace
}  // namespace talmor
