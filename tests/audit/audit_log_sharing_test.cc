// Faults during compaction and several processes sharing the audit log pair.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "support/audit_events.h"
#include "support/bytes.h"
#include "support/data_dir.h"
#include "support/faulty_file_system.h"
#include "support/process.h"

namespace talmor {
namespace {

using testing::AuditDescriptions;
using testing::Child;

class AuditLogSharingTest : public testing::DataDirTest {
 protected:
  void ResetLog() {
    for (const char* name :
         {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1", "QUORVANE.IX0", "QUORVANE.IX1"}) {
      std::filesystem::remove(File(name));
    }
    for (int i = 0; i < 15; ++i) {
      AuditLogFile log;
      log.SetMaxEvents(10);
      ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "event " + std::to_string(i)));
    }
  }
};

TEST_F(AuditLogSharingTest, CompactionFailingAtEachStepLeavesAConsistentPair) {
  std::vector<std::string> live;
  std::vector<std::string> all;
  for (int i = 0; i < 15; ++i) (i < 5 ? all : live).push_back("event " + std::to_string(i));
  all.insert(all.end(), live.begin(), live.end());
  for (bool crash : {false, true}) {
    int step = 1;
    for (;; ++step) {
      SCOPED_TRACE((crash ? "stopping at call " : "failing call ") + std::to_string(step));
      ResetLog();
      testing::FaultyFileSystem faults;
      FileSystem* previous = FileSystem::SetDefault(&faults);
      bool raised = false;
      {
        AuditLogFile log;
        ASSERT_FALSE(log.failed());
        // Every call counts; when stopping, every call after the failing one fails too.
        faults.Arm(testing::FaultKind::kAnyCall, step, crash);
        try {
          log.Compact();
        } catch (const FileException&) {
          raised = true;
        }
        faults.Disarm();
        // After a single failure the object itself is still usable (or failed, doing nothing).
        if (!crash && !log.failed()) {
          std::vector<std::string> seen(log.EventCount());
          for (uint32_t i = 0; i < seen.size(); ++i) {
            testing::AuditEvent e;
            EXPECT_TRUE(testing::ReadAuditEvent(log, i, e));
            seen[i] = e.description;
          }
          EXPECT_EQ(seen, live);
        }
      }
      FileSystem::SetDefault(previous);
      // With the real file system again: the pair opens, and holds exactly the live events,
      // every one readable, before and after a compaction that is allowed to finish.
      EXPECT_EQ(AuditDescriptions(), live);
      AuditLogFile().Compact();
      EXPECT_EQ(AuditLogFile().flags(), 0u);
      EXPECT_EQ(AuditDescriptions(), live);
      EXPECT_EQ(std::filesystem::file_size(File("QUORVANE.IDX")), 16u + 8u * 10u);
      EXPECT_FALSE(std::filesystem::exists(File("QUORVANE.LO1")) ||
                   std::filesystem::exists(File("QUORVANE.IX1")));
      if (!faults.fired()) {
        EXPECT_FALSE(raised);
        break;
      }
    }
    // Opening LO1, the new index, reads, writes, syncs and four renames or removes at least.
    EXPECT_GE(step, 10);
  }
}

TEST_F(AuditLogSharingTest, LeftoverFilesOfAnInterruptedCompactionAreCompletedOrUndone) {
  namespace fs = std::filesystem;
  const std::string idx = File("QUORVANE.IDX"), data = File("QUORVANE.LOG");
  const std::string ix0 = File("QUORVANE.IX0"), lo1 = File("QUORVANE.LO1"), ix1 = File("QUORVANE.IX1");
  // The compacted pair, kept aside to build the states a compaction passes through.
  ResetLog();
  AuditLogFile().Compact();
  const std::string new_idx = testing::ReadBytes(idx), new_log = testing::ReadBytes(data);
  std::vector<std::string> live;
  std::vector<std::string> all;
  for (int i = 0; i < 15; ++i) (i < 5 ? all : live).push_back("event " + std::to_string(i));
  all.insert(all.end(), live.begin(), live.end());
  ResetLog();
  const auto old_size = fs::file_size(data);
  struct Row {
    const char* state;
    bool old_index_aside, new_data_in;
    std::string new_index;  // left as IX1
    std::vector<std::string> events;
    uint32_t flags;
  };
  const Row rows[] = {
      // Stopped before the new data file went in: rolls back to the old pair, still pending.
      {"before the data file", true, false, new_idx, live, 1u},
      // Stopped after the new data file went in, before the new index did: rolls forward.
      {"after the data file", true, true, new_idx, live, 0u},
      // A new index left by an abandoned compaction does not describe a later data file: with
      // the index lost, it is rebuilt from the data file (every whole record, overwritten ones
      // too) instead of pointing at the wrong records.
      {"index lost", false, false, new_idx, all, 1u},
      // Nor does a new index whose length disagrees with its count, though its entries match.
      {"index too long", true, true, new_idx + std::string(8, '\0'), live, 1u},
      {"index ragged", true, true, new_idx + "xxx", live, 1u}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.state);
    ResetLog();
    if (row.old_index_aside) {
      fs::rename(idx, ix0);
    } else {
      fs::remove(idx);
    }
    if (row.new_data_in || row.old_index_aside) testing::WriteBytes(row.new_data_in ? data : lo1, new_log);
    testing::WriteBytes(ix1, row.new_index);
    EXPECT_EQ(AuditDescriptions(), row.events);
    EXPECT_FALSE(fs::exists(ix1));
    EXPECT_EQ(AuditLogFile().flags(), row.flags);
    if (row.new_index != new_idx || !row.old_index_aside) continue;  // rebuilt
    EXPECT_FALSE(fs::exists(ix0) || fs::exists(lo1));
    EXPECT_TRUE(row.flags == 0 || fs::file_size(data) == old_size);  // the old data file is back
  }
}

// Writers and compactions in several processes at once are run through the library by
// exports/concurrency_test.cc.

TEST_F(AuditLogSharingTest, AnotherHolderMakesTheOpenWaitThenFail) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  // A child holds the pair for a while, then lets go: the parent's append waits and succeeds.
  Child holder([&] {
    AuditLogFile log;
    char c = log.failed() ? 'f' : 'k';
    if (::write(ready[1], &c, 1) != 1) return 1;
    ::usleep(300 * 1000);
    return log.failed() ? 1 : 0;
  });
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'k');
  {
    AuditLogFile log;
    EXPECT_FALSE(log.failed());
    EXPECT_TRUE(log.AppendEvent("s", "u", "after the wait"));
  }
  EXPECT_EQ(holder.Wait(), 0);
  ::close(ready[0]);
  ::close(ready[1]);

  // A second object in this process while the first is open waits for it, then gives up.
  AuditLogFile first;
  ASSERT_FALSE(first.failed());
  const auto start = std::chrono::steady_clock::now();
  AuditLogFile second;
  EXPECT_TRUE(second.failed());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  testing::AuditEvent e;
  EXPECT_FALSE(second.AppendEvent("s", "u", "lost") || second.EventCount() != 0u ||
               testing::ReadAuditEvent(second, 0, e) || second.RemoveEvent(0));
  EXPECT_EQ(first.EventCount(), 1u);
}

}  // namespace
}  // namespace talmor
