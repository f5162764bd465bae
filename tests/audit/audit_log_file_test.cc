#include "audit/audit_log_file.h"

#include <gtest/gtest.h>
#include <time.h>

#include <clocale>
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

bool Read(AuditLogFile& log, uint32_t index, AuditEvent& e) {
  return testing::ReadAuditEvent(log, index, e);
}

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

const std::string kFirstRecord = std::string(
    "04-Dec-2026\0"
    "14:05:09\0"
    "Logon/Logoff\0"
    "Administrator\0"
    "User logged off.\0",
    65);

TEST_F(AuditLogTest, FirstAppendCreatesBothFilesWithTheExactLayout) {
  {
    AuditLogFile log;
    EXPECT_FALSE(log.failed());
    EXPECT_EQ(log.EventCount(), 0u);
    ASSERT_TRUE(log.AppendEvent("Logon/Logoff", "Administrator", "User logged off."));
    EXPECT_EQ(log.EventCount(), 1u);
  }
  const std::string idx = ReadBytes(IdxPath());
  ASSERT_EQ(idx.size(), 24u);
  EXPECT_EQ(idx.substr(0, 16), std::string("\x00\x00\x01\x00\x08\x00\x00\x00\x01\x00\x00\x00"
                                           "\x00\x00\x00\x00",
                                           16));
  EXPECT_EQ(idx.substr(16), std::string("\x00\x00\x00\x00\x41\x00\x00\x00", 8));
  EXPECT_EQ(ReadBytes(LogPath()), kFirstRecord);

  AuditLogFile log;
  AuditEvent e;
  ASSERT_TRUE(Read(log, 0, e));
  EXPECT_EQ(e.date, "04-Dec-2026");
  EXPECT_EQ(e.time, "14:05:09");
  EXPECT_EQ(e.source, "Logon/Logoff");
  EXPECT_EQ(e.user, "Administrator");
  EXPECT_EQ(e.description, "User logged off.");
  e.source = "stale";
  EXPECT_FALSE(Read(log, 1, e));
  EXPECT_EQ(e.source, "");
}

TEST_F(AuditLogTest, LineBreaksAndEmptyFieldsRoundTrip) {
  {
    AuditLogFile log;
    ASSERT_TRUE(
        log.AppendEvent("Object Access", "", "Failed object access.\r\nAccess attempted : X"));
    ASSERT_TRUE(log.AppendEvent("", "Joe", ""));
  }
  AuditLogFile log;
  AuditEvent e;
  ASSERT_TRUE(Read(log, 0, e));
  EXPECT_EQ(e.user, "");
  EXPECT_EQ(e.description, "Failed object access.\r\nAccess attempted : X");
  ASSERT_TRUE(Read(log, 1, e));
  EXPECT_EQ(e.source, "");
  EXPECT_EQ(e.user, "Joe");
  EXPECT_EQ(e.description, "");
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
  EXPECT_EQ(U32At(idx, 8), 10u);
  EXPECT_EQ(U32At(idx, 12), 1u);
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
  EXPECT_EQ(idx.size(), 96u);
  EXPECT_EQ(U32At(idx, 12), 0u);
  EXPECT_EQ(U32At(idx, 16), 0u);  // entry 0 offset
  EXPECT_EQ(AuditDescriptions(), expected);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("QUORVANE.LO1")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("QUORVANE.IX0")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("QUORVANE.IX1")));

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

TEST_F(AuditLogTest, ClearEmptiesBothFilesAndKeepsThePendingFlag) {
  AppendN(3, 2);
  {
    AuditLogFile log;
    ASSERT_EQ(log.EventCount(), 2u);
    log.Clear();
    EXPECT_EQ(log.EventCount(), 0u);
  }
  EXPECT_EQ(ReadBytes(LogPath()).size(), 0u);
  const std::string idx = ReadBytes(IdxPath());
  ASSERT_EQ(idx.size(), 16u);
  EXPECT_EQ(U32At(idx, 8), 0u);
  EXPECT_EQ(U32At(idx, 12), 1u);
  {
    // Compaction over the empty log is harmless and clears the flag.
    AuditLogFile log;
    log.Compact();
    EXPECT_EQ(log.flags(), 0u);
    EXPECT_EQ(log.EventCount(), 0u);
  }
  AppendN(1, 10, 7);
  EXPECT_EQ(AuditDescriptions(), std::vector<std::string>{"event 7"});
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
    AuditEvent e;
    EXPECT_TRUE(Read(log, 0, e));
    e.date = "x";
    EXPECT_FALSE(Read(log, 1, e));
    EXPECT_EQ(e.date, "");
    EXPECT_FALSE(Read(log, 2, e));
    EXPECT_EQ(e.description, "");
    EXPECT_TRUE(Read(log, 3, e));
    EXPECT_EQ(e.description, "event 3");
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

TEST_F(AuditLogTest, OversizedRecordsAreShortenedToFitExactly) {
  const std::string long_description(70000, 'd');
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Object Access", "Administrator", long_description));
    ASSERT_TRUE(log.AppendEvent("Object Access", std::string(70000, 'u'), "gone"));
  }
  const std::string idx = ReadBytes(IdxPath());
  EXPECT_EQ(U16At(idx, 20), 65535u);
  EXPECT_EQ(U16At(idx, 28), 65535u);
  EXPECT_EQ(ReadBytes(LogPath()).size(), 2u * 65535u);
  AuditLogFile log;
  AuditEvent e;
  ASSERT_TRUE(Read(log, 0, e));
  EXPECT_EQ(e.user, "Administrator");
  EXPECT_EQ(e.description.size(), 65535u - (11 + 8 + 13 + 13 + 5));
  EXPECT_EQ(long_description.compare(0, e.description.size(), e.description), 0);
  ASSERT_TRUE(Read(log, 1, e));
  EXPECT_EQ(e.description, "");
  EXPECT_EQ(e.source, "Object Access");
  EXPECT_EQ(e.user.size(), 65535u - (11 + 8 + 13 + 5));
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

TEST(LocalTimeTest, MonthNamesAreEnglishWhateverTheLocale) {
  const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  int locales_tried = 0;
  for (const char* name :
       {"C", "C.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8", "ja_JP.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    ++locales_tried;
    for (int m = 1; m <= 12; ++m) {
      LocalTime t{2026, m, 4, 14, 5, 9};
      EXPECT_EQ(FormatDate(t), std::string("04-") + months[m - 1] + "-2026") << name;
    }
    EXPECT_EQ(FormatTime(LocalTime{2026, 1, 1, 7, 0, 3}), "07:00:03") << name;
    EXPECT_EQ(FormatTime(LocalTime{2026, 1, 1, 23, 59, 59}), "23:59:59") << name;
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_GE(locales_tried, 1);

  const LocalTime fixed = ToLocalTime(FixedNow());
  EXPECT_EQ(FormatDate(fixed), "04-Dec-2026");
  EXPECT_EQ(FormatTime(fixed), "14:05:09");
  ClockFunction previous = SetClock(&FixedNow);
  EXPECT_EQ(CurrentTime(), FixedNow());
  SetClock(nullptr);
  EXPECT_NE(CurrentTime(), FixedNow());
  SetClock(previous);
}

}  // namespace
}  // namespace talmor
