#include "audit/audit_log_file.h"

#include <gtest/gtest.h>
#include <time.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "support/audit_events.h"
#include "support/bytes.h"
#include "support/data_dir.h"

namespace talmor {
namespace {

// 04-Dec-2026 14:05:09 in the local time zone.
TimePoint FixedNow() {
  struct tm fields {};
  fields.tm_year = 2026 - 1900;
  fields.tm_mon = 11;
  fields.tm_mday = 4;
  fields.tm_hour = 14;
  fields.tm_min = 5;
  fields.tm_sec = 9;
  fields.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(::mktime(&fields));
}

using testing::AuditDescriptions;
using testing::AuditEvent;
using testing::Le32;
using testing::ReadBytes;
using testing::U16At;
using testing::U32At;
using testing::WriteBytes;

using testing::ReadAuditEvent;
bool Read(AuditLogFile& log, uint32_t index, AuditEvent& e) { return ReadAuditEvent(log, index, e); }

class AuditLogTest : public testing::DataDirTest {
 protected:
  void SetUp() override { previous_clock_ = SetClock(&FixedNow); }
  void TearDown() override { SetClock(previous_clock_); }

  std::string LogPath() const { return File("QUORVANE.LOG"); }
  std::string IdxPath() const { return File("QUORVANE.IDX"); }

  void AppendN(int n, uint32_t max_events = 1000, int first = 0) {
    for (int i = first; i < first + n; ++i) {
      AuditLogFile log;
      log.SetMaxEvents(max_events);
      ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "event " + std::to_string(i)));
    }
  }

  ClockFunction previous_clock_ = nullptr;
};

TEST_F(AuditLogTest, FirstAppendCreatesBothFilesWithTheExactLayoutAndFieldsRoundTrip) {
  {
    AuditLogFile log;
    EXPECT_TRUE(!log.failed() && log.EventCount() == 0u);
    ASSERT_TRUE(log.AppendEvent("Logon/Logoff", "Administrator", "User logged off."));
    EXPECT_EQ(log.EventCount(), 1u);
  }
  // Header: version, entry size, count, flags; then one entry: offset, length, spare.
  EXPECT_EQ(ReadBytes(IdxPath()), std::string("\0\0\1\0\x08\0\0\0\1\0\0\0\0\0\0\0"
                                              "\0\0\0\0\x41\0\0\0", 24));
  EXPECT_EQ(ReadBytes(LogPath()), std::string("04-Dec-2026\0" "14:05:09\0" "Logon/Logoff\0"
                                              "Administrator\0" "User logged off.\0", 65));
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Object Access", "", "Failed object access.\r\nAccess attempted : X"));
    ASSERT_TRUE(log.AppendEvent("", "Joe", ""));
    AuditEvent e{"stale", "stale", "stale", "stale", "stale"};
    EXPECT_FALSE(ReadAuditEvent(log, 3, e));
    EXPECT_EQ(e, AuditEvent{});
  }
  const std::vector<AuditEvent> expected = {
      {"04-Dec-2026", "14:05:09", "Logon/Logoff", "Administrator", "User logged off."},
      {"04-Dec-2026", "14:05:09", "Object Access", "", "Failed object access.\r\nAccess attempted : X"},
      {"04-Dec-2026", "14:05:09", "", "Joe", ""}};
  EXPECT_EQ(testing::AuditEvents(), expected);
}

TEST_F(AuditLogTest, FullLogOverwritesOldestAndCompactionReclaims) {
  AppendN(10, 10);
  const size_t ten_records = ReadBytes(LogPath()).size();
  {
    AuditLogFile log;
    log.SetMaxEvents(10);
    ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "event 10"));
    EXPECT_EQ(log.EventCount(), 10u);
    EXPECT_EQ(log.flags() & AuditLogFile::kFlagCompactionPending, 1u);
  }
  std::string idx = ReadBytes(IdxPath());
  EXPECT_EQ(idx.size(), 96u);
  EXPECT_TRUE(U32At(idx, 8) == 10u && U32At(idx, 12) == 1u);  // count and pending flag
  // The data file keeps all eleven records until compaction.
  auto record_size = [](const std::string& d) { return 11 + 8 + 13 + 13 + d.size() + 5; };
  ASSERT_EQ(ten_records, 10 * record_size("event 0"));
  EXPECT_EQ(ReadBytes(LogPath()).size(), ten_records + record_size("event 10"));
  std::vector<std::string> expected;
  for (int i = 1; i <= 10; ++i) expected.push_back("event " + std::to_string(i));
  EXPECT_EQ(AuditDescriptions(), expected);

  // Overwrite off: refused, neither file changes.
  const std::string log_before = ReadBytes(LogPath());
  {
    AuditLogFile log;
    log.SetMaxEvents(10);
    log.SetOverwrite(false);
    EXPECT_FALSE(log.AppendEvent("Policy Change", "Administrator", "refused"));
  }
  EXPECT_EQ(ReadBytes(LogPath()), log_before);
  EXPECT_EQ(ReadBytes(IdxPath()), idx);

  {
    AuditLogFile log;
    log.Compact();
    EXPECT_EQ(log.flags(), 0u);
    EXPECT_EQ(log.EventCount(), 10u);
  }
  EXPECT_EQ(ReadBytes(LogPath()).size(),
            ten_records - record_size("event 0") + record_size("event 10"));
  idx = ReadBytes(IdxPath());
  EXPECT_TRUE(idx.size() == 96u && U32At(idx, 12) == 0u && U32At(idx, 16) == 0u);  // entry 0 at 0
  EXPECT_EQ(AuditDescriptions(), expected);
  for (const char* leftover : {"QUORVANE.LO1", "QUORVANE.IX0", "QUORVANE.IX1"}) {
    EXPECT_FALSE(std::filesystem::exists(File(leftover))) << leftover;
  }

  // A lowered maximum removes only one event per append; a maximum of 0 refuses everything.
  {
    AuditLogFile log;
    log.SetMaxEvents(5);
    ASSERT_TRUE(log.AppendEvent("s", "u", "event 11"));
    EXPECT_EQ(log.EventCount(), 10u);
  }
  {
    AuditLogFile log;
    log.Clear();
    log.SetMaxEvents(0);
    EXPECT_FALSE(log.AppendEvent("s", "u", "never"));
    EXPECT_EQ(log.EventCount(), 0u);
  }
}

TEST_F(AuditLogTest, ALoneFileIsRecreatedWithItsPartner) {
  AppendN(3);
  std::filesystem::remove(IdxPath());
  AppendN(1, 1000, 50);
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"event 50"});
  EXPECT_EQ(U32At(ReadBytes(IdxPath()), 16), 0u);

  AppendN(2, 1000, 60);
  std::filesystem::remove(LogPath());
  AppendN(1, 1000, 70);
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"event 70"});
  EXPECT_EQ(ReadBytes(IdxPath()).size(), 24u);
}

TEST_F(AuditLogTest, DamagedIndexesCountOnlyWhatIsThereAndNeverReadGarbage) {
  AppendN(3);
  std::string idx = ReadBytes(IdxPath());
  // Count too big.
  WriteBytes(IdxPath(), idx.substr(0, 8) + Le32(50) + idx.substr(12));
  {
    AuditLogFile log;
    EXPECT_EQ(log.EventCount(), 3u);
    AuditEvent e;
    EXPECT_FALSE(Read(log, 3, e));
    ASSERT_TRUE(log.AppendEvent("s", "u", "event 3"));
  }
  idx = ReadBytes(IdxPath());
  EXPECT_EQ(idx.size(), 48u);
  EXPECT_EQ(U32At(idx, 8), 4u);
  EXPECT_EQ(AuditDescriptions(), (std::vector<std::string>{"event 0", "event 1", "event 2", "event 3"}));

  // Entries pointing past the end of the data file (offset, and length running over the end).
  const uint32_t data_size = static_cast<uint32_t>(ReadBytes(LogPath()).size());
  idx.replace(16 + 8 * 1, 4, Le32(data_size + 100));
  idx.replace(16 + 8 * 2, 4, Le32(data_size - 5));
  WriteBytes(IdxPath(), idx);
  {
    AuditLogFile log;
    ASSERT_EQ(log.EventCount(), 4u);
    AuditEvent e{"x", "x", "x", "x", "x"};
    EXPECT_TRUE(Read(log, 0, e) && !Read(log, 1, e) && e == AuditEvent{});
    EXPECT_FALSE(Read(log, 2, e));
    EXPECT_TRUE(Read(log, 3, e) && e.description == "event 3");
    log.RemoveEvent(0);  // makes compaction pending
  }
  {
    // Compaction drops the unreadable entries instead of giving them offsets with nothing behind.
    AuditLogFile log;
    log.Compact();
    EXPECT_EQ(log.EventCount(), 1u);
  }
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"event 3"});
  EXPECT_EQ(ReadBytes(IdxPath()).size(), 24u);

  // A truncated header starts an empty log.
  WriteBytes(IdxPath(), std::string("\x00\x00\x01\x00\x08", 5));
  {
    AuditLogFile log;
    EXPECT_FALSE(log.failed());
    EXPECT_EQ(log.EventCount(), 0u);
    ASSERT_TRUE(log.AppendEvent("s", "u", "after"));
  }
  EXPECT_EQ(ReadBytes(IdxPath()).size(), 24u);
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"after"});
}

TEST_F(AuditLogTest, AnOversizedRecordIsShortenedToFitExactly) {
  const std::string long_description(70000, 'd');
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Object Access", "Administrator", long_description));
  }
  EXPECT_EQ(ReadBytes(LogPath()).size(), 65535u);
  const std::vector<AuditEvent> events = testing::AuditEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].user + "|" + events[0].description,
            "Administrator|" + long_description.substr(0, 65535 - (11 + 8 + 13 + 13 + 5)));
}

// A data file over 64 MiB is compacted record by record (a sparse tail makes it that large).
TEST_F(AuditLogTest, ALargeDataFileIsCompactedRecordByRecord) {
  AppendN(4);
  const auto records = std::filesystem::file_size(LogPath());
  std::filesystem::resize_file(LogPath(), uint64_t{65} << 20);
  {
    AuditLogFile log;
    ASSERT_TRUE(log.RemoveEvent(1));
    log.Compact();
    EXPECT_EQ(log.flags(), 0u);
  }
  EXPECT_EQ(AuditDescriptions(), (std::vector<std::string>{"event 0", "event 2", "event 3"}));
  EXPECT_EQ(std::filesystem::file_size(LogPath()), records / 4 * 3);
}

// Offsets are 32-bit: a data file that has reached 4 GiB takes no record that would end past
// 0xFFFFFFFF (a sparse file stands in for the full one).
TEST_F(AuditLogTest, ADataFileNearFourGibibytesTakesOnlyRecordsThatStillFit) {
  AppendN(1);
  const uint64_t limit = 0xFFFFFFFFull;
  const size_t fits = 11 + 8 + 1 + 1 + 4 + 5;  // "s", "u", "fits"
  std::filesystem::resize_file(LogPath(), limit - fits + 1);
  {
    AuditLogFile log;
    EXPECT_FALSE(log.AppendEvent("s", "u", "fits"));
    EXPECT_EQ(log.EventCount(), 1u);
  }
  EXPECT_EQ(std::filesystem::file_size(LogPath()), limit - fits + 1);
  std::filesystem::resize_file(LogPath(), limit - fits);
  {
    AuditLogFile log;
    EXPECT_TRUE(log.AppendEvent("s", "u", "fits"));
  }
  EXPECT_EQ(AuditDescriptions(), (std::vector<std::string>{"event 0", "fits"}));
  EXPECT_EQ(std::filesystem::file_size(LogPath()), limit);
}

}  // namespace
}  // namespace talmor
