// Faults during compaction and several processes sharing the audit log pair.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
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
  for (int i = 5; i < 15; ++i) live.push_back("event " + std::to_string(i));
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
      {
        AuditLogFile log;
        log.Compact();
        EXPECT_EQ(log.flags(), 0u);
      }
      EXPECT_EQ(AuditDescriptions(), live);
      EXPECT_EQ(std::filesystem::file_size(File("QUORVANE.IDX")), 16u + 8u * 10u);
      EXPECT_FALSE(std::filesystem::exists(File("QUORVANE.LO1")));
      EXPECT_FALSE(std::filesystem::exists(File("QUORVANE.IX1")));
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
  const std::string idx = File("QUORVANE.IDX");
  const std::string data = File("QUORVANE.LOG");
  // The compacted pair, kept aside to build the state after the new data file went in.
  ResetLog();
  {
    AuditLogFile log;
    log.Compact();
  }
  const std::string saved_idx = File("compacted.idx");
  const std::string saved_log = File("compacted.log");
  fs::copy_file(idx, saved_idx);
  fs::copy_file(data, saved_log);

  // Stopped after the old index was set aside, before the new data file went in: rolls back to
  // the old pair, whose data file still holds the dropped records.
  ResetLog();
  const auto old_size = fs::file_size(data);
  fs::rename(idx, File("QUORVANE.IX0"));
  fs::copy_file(saved_log, File("QUORVANE.LO1"));
  fs::copy_file(saved_idx, File("QUORVANE.IX1"));
  std::vector<std::string> after = AuditDescriptions();
  ASSERT_EQ(after.size(), 10u);
  EXPECT_EQ(after.front(), "event 5");
  EXPECT_EQ(fs::file_size(data), old_size);
  EXPECT_FALSE(fs::exists(File("QUORVANE.IX0")));
  EXPECT_FALSE(fs::exists(File("QUORVANE.LO1")));
  EXPECT_FALSE(fs::exists(File("QUORVANE.IX1")));
  {
    AuditLogFile log;
    EXPECT_EQ(log.flags(), 1u);  // compaction still pending
  }

  // Stopped after the new data file went in, before the new index did: rolls forward.
  ResetLog();
  fs::rename(idx, File("QUORVANE.IX0"));
  fs::copy_file(saved_log, data, fs::copy_options::overwrite_existing);
  fs::copy_file(saved_idx, File("QUORVANE.IX1"));
  after = AuditDescriptions();
  ASSERT_EQ(after.size(), 10u);
  EXPECT_EQ(after.front(), "event 5");
  EXPECT_EQ(after.back(), "event 14");
  EXPECT_FALSE(fs::exists(File("QUORVANE.IX0")));
  EXPECT_FALSE(fs::exists(File("QUORVANE.IX1")));
  {
    AuditLogFile log;
    EXPECT_EQ(log.flags(), 0u);
  }

  // A new index left behind by an abandoned compaction does not describe a later data file: with
  // the index lost, the log starts empty instead of pointing at the wrong records.
  ResetLog();
  fs::copy_file(saved_idx, File("QUORVANE.IX1"));
  fs::remove(idx);
  EXPECT_TRUE(AuditDescriptions().empty());
  EXPECT_FALSE(fs::exists(File("QUORVANE.IX1")));

  // Nor does a new index whose length disagrees with its count, though its entries match.
  for (const std::string& extra : {std::string(8, '\0'), std::string(3, 'x')}) {
    ResetLog();
    fs::rename(idx, File("QUORVANE.IX0"));
    fs::copy_file(saved_log, data, fs::copy_options::overwrite_existing);
    testing::WriteBytes(File("QUORVANE.IX1"), testing::ReadBytes(saved_idx) + extra);
    EXPECT_TRUE(AuditDescriptions().empty()) << extra.size();
    EXPECT_FALSE(fs::exists(File("QUORVANE.IX1")));
  }
}

// Checks that each writer's events ("w<k> <i>") appear in increasing order and returns them
// per writer.
std::map<int, std::vector<int>> EventsPerWriter(const std::vector<std::string>& descriptions) {
  std::map<int, std::vector<int>> per;
  for (const std::string& d : descriptions) {
    int writer = -1, number = -1;
    EXPECT_EQ(std::sscanf(d.c_str(), "w%d %d", &writer, &number), 2) << d;
    auto& seq = per[writer];
    if (!seq.empty()) {
      EXPECT_LT(seq.back(), number) << "writer " << writer;
    }
    seq.push_back(number);
  }
  return per;
}

TEST_F(AuditLogSharingTest, WritersAndACompactingProcessKeepThePairConsistent) {
  constexpr int kWriters = 3;
  constexpr int kEach = 300;
  constexpr uint32_t kMax = 200;
  std::vector<Child> children;
  for (int w = 0; w < kWriters; ++w) {
    children.emplace_back([w] {
      for (int i = 0; i < kEach; ++i) {
        AuditLogFile log;
        log.SetMaxEvents(kMax);
        if (!log.AppendEvent("s", "u", "w" + std::to_string(w) + " " + std::to_string(i))) {
          return 1;
        }
      }
      return 0;
    });
  }
  children.emplace_back([] {
    for (int i = 0; i < 150; ++i) {
      AuditLogFile log;
      if (log.failed()) return 1;
      log.Compact();
    }
    return 0;
  });
  for (Child& child : children) EXPECT_EQ(child.Wait(), 0);
  const std::vector<std::string> all = AuditDescriptions();
  ASSERT_EQ(all.size(), size_t{kMax});
  const auto per = EventsPerWriter(all);
  // Each writer's last event is the newest of its kind, so it survives.
  for (const auto& [writer, seq] : per) {
    (void)writer;
    EXPECT_EQ(seq.back(), kEach - 1);
  }
  AuditLogFile log;
  log.Compact();
  EXPECT_EQ(log.EventCount(), kMax);
}

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
  EXPECT_FALSE(second.AppendEvent("s", "u", "lost"));
  EXPECT_EQ(second.EventCount(), 0u);
  std::string a, b, d, e, f;
  EXPECT_FALSE(second.ReadEvent(0, a, b, d, e, f));
  EXPECT_FALSE(second.RemoveEvent(0));
  EXPECT_EQ(first.EventCount(), 1u);
}

}  // namespace
}  // namespace talmor
