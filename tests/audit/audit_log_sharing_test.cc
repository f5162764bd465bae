// Faults during compaction and several processes sharing the audit log pair.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "platform/file_exception.h"
#include "platform/file_system.h"
#include "support/faulty_file_system.h"
#include "support/temp_dir.h"

namespace talmor {
namespace {

struct Event {
  std::string date, time, source, user, description;
};

// Every event of the log, checking that each one reads in full.
std::vector<Event> AllEvents() {
  AuditLogFile log;
  EXPECT_FALSE(log.failed());
  std::vector<Event> out(log.EventCount());
  for (uint32_t i = 0; i < log.EventCount(); ++i) {
    Event& e = out[i];
    EXPECT_TRUE(log.ReadEvent(i, e.date, e.time, e.source, e.user, e.description)) << i;
  }
  return out;
}

std::vector<std::string> Descriptions() {
  std::vector<std::string> out;
  for (const Event& e : AllEvents()) out.push_back(e.description);
  return out;
}

class AuditLogSharingTest : public ::testing::Test {
 protected:
  void ResetLog() {
    for (const char* name :
         {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1", "QUORVANE.IX0", "QUORVANE.IX1"}) {
      std::filesystem::remove(dir_.File(name));
    }
    for (int i = 0; i < 15; ++i) {
      AuditLogFile log;
      log.SetMaxEvents(10);
      ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "event " + std::to_string(i)));
    }
  }

  TempDir dir_;
  ScopedEnv env_{"QUORVANE_WINDIR", dir_.path()};
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
          std::vector<std::string> seen;
          for (uint32_t i = 0; i < log.EventCount(); ++i) {
            Event e;
            EXPECT_TRUE(log.ReadEvent(i, e.date, e.time, e.source, e.user, e.description));
            seen.push_back(e.description);
          }
          EXPECT_EQ(seen, live);
        }
      }
      FileSystem::SetDefault(previous);
      // With the real file system again: the pair opens, and holds exactly the live events,
      // every one readable, before and after a compaction that is allowed to finish.
      EXPECT_EQ(Descriptions(), live);
      {
        AuditLogFile log;
        log.Compact();
        EXPECT_EQ(log.flags(), 0u);
      }
      EXPECT_EQ(Descriptions(), live);
      EXPECT_EQ(std::filesystem::file_size(dir_.File("QUORVANE.IDX")), 16u + 8u * 10u);
      EXPECT_FALSE(std::filesystem::exists(dir_.File("QUORVANE.LO1")));
      EXPECT_FALSE(std::filesystem::exists(dir_.File("QUORVANE.IX1")));
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
  const std::string idx = dir_.File("QUORVANE.IDX");
  const std::string data = dir_.File("QUORVANE.LOG");
  // The compacted pair, kept aside to build the state after the new data file went in.
  ResetLog();
  {
    AuditLogFile log;
    log.Compact();
  }
  const std::string saved_idx = dir_.File("compacted.idx");
  const std::string saved_log = dir_.File("compacted.log");
  fs::copy_file(idx, saved_idx);
  fs::copy_file(data, saved_log);

  // Stopped after the old index was set aside, before the new data file went in: rolls back to
  // the old pair, whose data file still holds the dropped records.
  ResetLog();
  const auto old_size = fs::file_size(data);
  fs::rename(idx, dir_.File("QUORVANE.IX0"));
  fs::copy_file(saved_log, dir_.File("QUORVANE.LO1"));
  fs::copy_file(saved_idx, dir_.File("QUORVANE.IX1"));
  std::vector<std::string> after = Descriptions();
  ASSERT_EQ(after.size(), 10u);
  EXPECT_EQ(after.front(), "event 5");
  EXPECT_EQ(fs::file_size(data), old_size);
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.IX0")));
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.LO1")));
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.IX1")));
  {
    AuditLogFile log;
    EXPECT_EQ(log.flags(), 1u);  // compaction still pending
  }

  // Stopped after the new data file went in, before the new index did: rolls forward.
  ResetLog();
  fs::rename(idx, dir_.File("QUORVANE.IX0"));
  fs::copy_file(saved_log, data, fs::copy_options::overwrite_existing);
  fs::copy_file(saved_idx, dir_.File("QUORVANE.IX1"));
  after = Descriptions();
  ASSERT_EQ(after.size(), 10u);
  EXPECT_EQ(after.front(), "event 5");
  EXPECT_EQ(after.back(), "event 14");
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.IX0")));
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.IX1")));
  {
    AuditLogFile log;
    EXPECT_EQ(log.flags(), 0u);
  }

  // A new index left behind by an abandoned compaction does not describe a later data file: with
  // the index lost, the log starts empty instead of pointing at the wrong records.
  ResetLog();
  fs::copy_file(saved_idx, dir_.File("QUORVANE.IX1"));
  fs::remove(idx);
  EXPECT_TRUE(Descriptions().empty());
  EXPECT_FALSE(fs::exists(dir_.File("QUORVANE.IX1")));
}

// Runs `body` in a child process; returns the child's pid. The child exits 0 when body is true.
template <typename Body>
pid_t Spawn(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body() ? 0 : 1);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
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

TEST_F(AuditLogSharingTest, ConcurrentWritersInSeveralProcessesLoseNothing) {
  constexpr int kWriters = 4;
  constexpr int kEach = 500;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    pids.push_back(Spawn([w] {
      for (int i = 0; i < kEach; ++i) {
        AuditLogFile log;
        log.SetMaxEvents(100000);
        if (!log.AppendEvent("Object Access", "user" + std::to_string(w),
                             "w" + std::to_string(w) + " " + std::to_string(i))) {
          return false;
        }
      }
      return true;
    }));
  }
  for (pid_t pid : pids) EXPECT_EQ(WaitFor(pid), 0);
  const std::vector<std::string> all = Descriptions();
  ASSERT_EQ(all.size(), size_t{kWriters * kEach});
  const auto per = EventsPerWriter(all);
  ASSERT_EQ(per.size(), size_t{kWriters});
  for (const auto& [writer, seq] : per) EXPECT_EQ(seq.size(), size_t{kEach}) << writer;
}

TEST_F(AuditLogSharingTest, WritersAndACompactingProcessKeepThePairConsistent) {
  constexpr int kWriters = 3;
  constexpr int kEach = 300;
  constexpr uint32_t kMax = 200;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    pids.push_back(Spawn([w] {
      for (int i = 0; i < kEach; ++i) {
        AuditLogFile log;
        log.SetMaxEvents(kMax);
        if (!log.AppendEvent("s", "u", "w" + std::to_string(w) + " " + std::to_string(i))) {
          return false;
        }
      }
      return true;
    }));
  }
  pids.push_back(Spawn([] {
    for (int i = 0; i < 150; ++i) {
      AuditLogFile log;
      if (log.failed()) return false;
      log.Compact();
    }
    return true;
  }));
  for (pid_t pid : pids) EXPECT_EQ(WaitFor(pid), 0);
  const std::vector<std::string> all = Descriptions();
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
  const pid_t pid = Spawn([&] {
    AuditLogFile log;
    char c = log.failed() ? 'f' : 'k';
    if (::write(ready[1], &c, 1) != 1) return false;
    ::usleep(300 * 1000);
    return !log.failed();
  });
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'k');
  {
    AuditLogFile log;
    EXPECT_FALSE(log.failed());
    EXPECT_TRUE(log.AppendEvent("s", "u", "after the wait"));
  }
  EXPECT_EQ(WaitFor(pid), 0);
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
