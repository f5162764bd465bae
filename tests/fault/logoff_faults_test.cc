// A log-off (its audit event and the compaction of the full, overwriting log) failing at every
// write, flush, sync, rename, truncation and removal it makes, one point at a time: the user is
// logged off all the same, nothing escapes to the caller, the audit pair stays readable, and the
// next log-off records its event and compacts. The hash chain beside the log stays intact.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audit/audit_chain.h"
#include "manager/host_status.h"
#include "manager/security_manager.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/faulty_file_system.h"

namespace talmor::testing {
namespace {

constexpr int kNotes = 14;
constexpr int kCapacity = 10;

std::vector<std::string> Notes(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i < to; ++i) out.push_back("note " + std::to_string(i));
  return out;
}

class LogoffFaultsTest : public DataDirTest {
 protected:
  // A fresh log that overwrote its oldest events (so a compaction is pending) and a logged-on
  // administrator.
  void Prepare(SecurityManager& manager) {
    for (const char* name :
         {"QUORVANE.LOG", "QUORVANE.IDX", "QUORVANE.LO1", "QUORVANE.IX0", "QUORVANE.IX1"}) {
      std::filesystem::remove(dir_.File(name));
    }
    std::filesystem::remove(dir_.File("QUORVANE.SIG"));
    std::filesystem::remove(dir_.File("QUORVANE.KEY"));
    key_ = AuditChain::CreateSealingKey(dir_.path(), 900);
    static_cast<SecurityOptions&>(manager) = SecurityOptions{};
    manager.AuditMaxEvents = kCapacity;
    ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
    PublishUserName("Administrator");
    for (int i = 0; i < kNotes; ++i) {
      ASSERT_EQ(manager.RecordNote("Fault", "note " + std::to_string(i)), 1);
    }
    AuditLogFile log;
    ASSERT_NE(log.flags() & AuditLogFile::kFlagCompactionPending, 0u);
  }
  std::optional<std::string> key_;
};

TEST_F(LogoffFaultsTest, FailingAtEveryPointStillLogsOffAndLeavesAReadableLog) {
  SecurityManager manager;
  manager.StartUp();
  FaultyFileSystem faults;
  Prepare(manager);
  {
    ScopedFileSystem installed(faults);
    faults.ResetCounts();
    manager.Logoff();
  }
  ASSERT_GE(faults.Count(FaultKind::kRename), 3);

  // What a log-off may leave: nothing of it (the event could not be added), the oldest event
  // overwritten without the new one, or the event in place.
  std::vector<std::string> with_event = Notes(kNotes - kCapacity + 1, kNotes);
  with_event.push_back("User logged off.");
  const std::vector<std::vector<std::string>> acceptable = {
      Notes(kNotes - kCapacity, kNotes), Notes(kNotes - kCapacity + 1, kNotes), with_event};

  ForEveryFaultPoint(
      faults, [&] { Prepare(manager); }, [&] { EXPECT_NO_THROW(manager.Logoff()); },
      [&] {
        EXPECT_EQ(manager.current_user() + ReadPublishedUserName(), "");
        const std::vector<std::string> left = AuditDescriptions();
        EXPECT_NE(std::find(acceptable.begin(), acceptable.end(), left), acceptable.end())
            << "the log holds " << left.size() << " events, the last "
            << (left.empty() ? "-" : left.back());
        // The chain beside the pair tells the same story, sealed.
        EXPECT_EQ(VerifyAuditChain(dir_.path(), key_).status, ChainReport::Status::kIntact);
        // The next log-off, with the files working again, records its event and compacts.
        ASSERT_EQ(manager.LogInUser("Administrator", "BlueHarbour"), 1);
        manager.Logoff();
        const std::vector<std::string> after = AuditDescriptions();
        EXPECT_TRUE(!after.empty() && after.back() == "User logged off.");
        EXPECT_EQ(AuditLogFile().flags() & AuditLogFile::kFlagCompactionPending, 0u);
        for (const char* name : {"QUORVANE.LO1", "QUORVANE.IX0", "QUORVANE.IX1"}) {
          EXPECT_FALSE(std::filesystem::exists(dir_.File(name))) << name;
        }
      });
}

}  // namespace
}  // namespace talmor::testing
