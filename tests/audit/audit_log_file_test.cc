#include "audit/audit_log_file.h"

#include <gtest/gtest.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <functional>
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
}

// A damaged pair beside five intact events, then a note: the intact events are kept (the newest,
// up to the capacity), none is forged or mixed with another, and the index is rebuilt to size.
TEST_F(AuditLogTest, ADamagedPairHealsAtTheNextNote) {
  namespace fs = std::filesystem;
  auto resize = [](const std::string& path, int64_t by) {
    fs::resize_file(path, fs::file_size(path) + by);
  };
  auto set_count = [this](uint32_t count) {
    std::fstream(IdxPath(), std::ios::in | std::ios::out | std::ios::binary).seekp(8)
        << Le32(count);
  };
  const std::vector<int> all = {0, 1, 2, 3, 4};
  const std::string line = "Policy Change|Administrator|event ";
  const struct {
    const char* damage;
    std::function<void()> apply;
    std::vector<int> kept;
    uint32_t capacity = 1000;
  } rows[] = {
      {"data cut by 20 bytes", [&] { resize(LogPath(), -20); }, {0, 1, 2, 3}},
      {"data gone", [&] { fs::remove(LogPath()); }, {}},
      {"data zero-filled past its end", [&] { resize(LogPath(), 4096); }, all},
      {"index cut to 10 bytes", [&] { fs::resize_file(IdxPath(), 10); }, all},
      {"index cut inside its entries", [&] { resize(IdxPath(), -13); }, all},
      {"index gone, capacity 4", [&] { fs::remove(IdxPath()); }, {2, 3, 4}, 4},
      {"index lost its last two entries", [&] { resize(IdxPath(), -16), set_count(3); }, all},
      {"index sparse, 512 MB of counted entries",
       [&] { fs::resize_file(IdxPath(), 512u << 20), set_count((512u << 20) / 8 - 2); }, all},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.damage);
    fs::remove(LogPath()), fs::remove(IdxPath());
    AppendN(5);
    row.apply();
    {
      AuditLogFile log;
      log.SetMaxEvents(row.capacity);
      ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "note"));
    }
    std::vector<std::string> expected;
    for (int i : row.kept) expected.push_back(line + std::to_string(i));
    expected.push_back(line.substr(0, 28) + "note");
    EXPECT_EQ(testing::AuditLines(), expected);
    EXPECT_EQ(ReadBytes(IdxPath()).size(), 16 + 8 * expected.size());
  }
}

// An event always says who and when: the description gives way first, then the source.
TEST_F(AuditLogTest, AnOversizedEventKeepsWhoAndWhen) {
  const std::string source(100000, 's');
  const std::string description(10 << 20, 'd');
  const size_t room = 65535 - (11 + 8 + 13 + 5);  // beside date, time, user and terminators
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Object Access", "Administrator", description));
    ASSERT_TRUE(log.AppendEvent(source, "Administrator", description));
  }
  const std::vector<AuditEvent> events = testing::AuditEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Line(), "Object Access|Administrator|" + description.substr(0, room - 13));
  EXPECT_EQ(events[1].Line(), source.substr(0, room) + "|Administrator|");
  EXPECT_EQ(events[1].date + " " + events[1].time, "04-Dec-2026 14:05:09");
  EXPECT_EQ(ReadBytes(LogPath()).size(), 2 * 65535u);
}

// Moves the data file's records to end at `end`, zeros before them (a sparse file stands in for a
// large one), and the index entries with them.
void MoveRecordsToEnd(const std::string& log, const std::string& idx, uint64_t end) {
  const std::string records = ReadBytes(log);
  const uint64_t shift = end - records.size();
  std::filesystem::resize_file(log, shift);
  std::ofstream(log, std::ios::binary | std::ios::app) << records;
  std::string entries = ReadBytes(idx);
  for (size_t at = 16; at < entries.size(); at += 8) {
    entries.replace(at, 4, Le32(static_cast<uint32_t>(U32At(entries, at) + shift)));
  }
  WriteBytes(idx, entries);
}

// A data file over 64 MiB is compacted record by record.
TEST_F(AuditLogTest, ALargeDataFileIsCompactedRecordByRecord) {
  AppendN(4);
  const auto records = std::filesystem::file_size(LogPath());
  MoveRecordsToEnd(LogPath(), IdxPath(), (uint64_t{65} << 20) + records);
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
// 0xFFFFFFFF.
TEST_F(AuditLogTest, ADataFileNearFourGibibytesTakesOnlyRecordsThatStillFit) {
  AppendN(1);
  const uint64_t limit = 0xFFFFFFFFull;
  const size_t fits = 11 + 8 + 1 + 1 + 4 + 5;  // "s", "u", "fits"
  MoveRecordsToEnd(LogPath(), IdxPath(), limit - fits + 1);
  {
    AuditLogFile log;
    EXPECT_FALSE(log.AppendEvent("s", "u", "fits"));
    EXPECT_EQ(log.EventCount(), 1u);
  }
  EXPECT_EQ(std::filesystem::file_size(LogPath()), limit - fits + 1);
  std::filesystem::remove(LogPath()), std::filesystem::remove(IdxPath());
  AppendN(1);
  MoveRecordsToEnd(LogPath(), IdxPath(), limit - fits);
  {
    AuditLogFile log;
    EXPECT_TRUE(log.AppendEvent("s", "u", "fits"));
  }
  EXPECT_EQ(AuditDescriptions(), (std::vector<std::string>{"event 0", "fits"}));
  EXPECT_EQ(std::filesystem::file_size(LogPath()), limit);
}

}  // namespace
}  // namespace talmor
