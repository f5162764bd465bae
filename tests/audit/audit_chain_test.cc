// The audit trail's hash chain and seals: tampering found at its position, the library's own
// removals told apart, old logs without a side file, and a failure at every write.
#include "audit/audit_chain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "audit/audit_log_file.h"
#include "platform/file_exception.h"
#include "platform/local_time.h"
#include "support/audit_events.h"
#include "support/bytes.h"
#include "support/data_dir.h"
#include "support/faulty_file_system.h"

namespace talmor {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using Status = ChainReport::Status;

int64_t g_now = 0;
TimePoint TestNow() { return TimePoint(std::chrono::seconds(g_now)); }

constexpr size_t kSigHeader = 16, kRec = ChainRecord::kSize;

class AuditChainTest : public testing::DataDirTest {
 protected:
  void SetUp() override { previous_ = SetClock(&TestNow), g_now = 1'800'000'000; }
  void TearDown() override { SetClock(previous_); }

  // A fresh sealed log (60-second epochs) with `n` events, 25 seconds apart, sealed at log-off.
  void Build(int n, uint32_t max_events = 1000) {
    for (const auto& name : testing::FileNames(dir_.path())) std::filesystem::remove_all(File(name));
    key_ = AuditChain::CreateSealingKey(dir_.path(), 60);
    Append(n, max_events);
    AuditLogFile().Compact();
  }
  void Append(int n, uint32_t max_events = 1000) {
    for (int i = 0; i < n; ++i, g_now += 25) {
      AuditLogFile log;
      log.SetMaxEvents(max_events);
      ASSERT_TRUE(log.AppendEvent("Policy Change", "u" + std::to_string(i), "e" + std::to_string(i)));
    }
  }
  ChainReport Verify() { return VerifyAuditChain(dir_.path(), key_); }
  std::string Idx() { return File("QUORVANE.IDX"); }
  std::string Sig() { return File("QUORVANE.SIG"); }
  // The side file without its seals.
  std::string Unsealed() {
    std::string sig = ReadBytes(Sig()), out = sig.substr(0, kSigHeader);
    for (size_t at = kSigHeader; at < sig.size(); at += kRec) {
      if (sig[at] != 'S') out += sig.substr(at, kRec);
    }
    return out;
  }

  std::optional<std::string> key_;
  ClockFunction previous_ = nullptr;
};

TEST_F(AuditChainTest, EachTamperingIsFoundAtItsPosition) {
  struct Row {
    const char* what;
    std::function<void()> tamper;
    ChainProblem problem;
    int64_t position;
  };
  auto entry = [&](int i) { return ReadBytes(Idx()).substr(16 + 8 * i, 8); };
  auto set_entries = [&](const std::vector<std::string>& entries) {
    std::string idx = ReadBytes(Idx()).substr(0, 16);
    idx.replace(8, 4, testing::Le32(static_cast<uint32_t>(entries.size())));
    for (const auto& e : entries) idx += e;
    WriteBytes(Idx(), idx);
  };
  const std::vector<Row> rows = {
      {"byte edited", [&] {
         std::string log = ReadBytes(File("QUORVANE.LOG"));
         log[testing::U32At(entry(2), 0) + 30] ^= 1;
         WriteBytes(File("QUORVANE.LOG"), log);
       }, ChainProblem::kChanged, 2},
      {"entry removed", [&] { set_entries({entry(0), entry(1), entry(2), entry(4), entry(5)}); },
       ChainProblem::kRemoved, 3},
      {"entry inserted", [&] {
         set_entries({entry(0), entry(1), entry(1), entry(2), entry(3), entry(4), entry(5)});
       }, ChainProblem::kInserted, 2},
      {"entries swapped", [&] {
         set_entries({entry(0), entry(2), entry(1), entry(3), entry(4), entry(5)});
       }, ChainProblem::kReordered, 1},
      {"side file cut", [&] {
         const std::string sig = ReadBytes(Sig());
         WriteBytes(Sig(), sig.substr(0, sig.size() - 2 * kRec));
       }, ChainProblem::kUnlinked, 5},
      {"seal edited", [&] {
         std::string sig = ReadBytes(Sig());
         size_t at = kSigHeader;
         while (sig[at] != 'S') at += kRec;
         sig[at + 60] ^= 1;
         WriteBytes(Sig(), sig);
       }, ChainProblem::kSeal, 0},
      {"side file removed", [&] { std::filesystem::remove(Sig()); }, ChainProblem::kSideFile, -1},
      {"side file removed, chain restarted", [&] { std::filesystem::remove(Sig()), Append(1); },
       ChainProblem::kSideFile, -1},
      {"another key", [&] { (*key_)[0] = (*key_)[0] == '0' ? '1' : '0'; }, ChainProblem::kSeal, 0},
      // An intruder holding the current key strips the seals and seals everything anew.
      {"resealed with a later key", [&] {
         WriteBytes(Sig(), Unsealed());
         AuditChain(dir_.path()).AtLogoff(6);
       }, ChainProblem::kLaterKey, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Build(6);
    ASSERT_EQ(Verify().status, Status::kIntact);
    row.tamper();
    const ChainReport r = Verify();
    EXPECT_EQ(r.status, Status::kTampered);
    EXPECT_EQ(r.problem, row.problem) << r.detail;
    EXPECT_EQ(r.position, row.position);
  }
  // The report names the event now at the position.
  Build(6);
  set_entries({entry(0), entry(1), entry(3), entry(4), entry(5)});
  EXPECT_EQ(Verify().user, "u3");
}

TEST_F(AuditChainTest, TheLibrarysOwnRemovalsAreLegitimateAndSealsAreReported) {
  Build(5, 3);  // two overwritten
  ChainReport r = Verify();
  EXPECT_EQ(r.status, Status::kIntact);
  EXPECT_EQ(r.removals.size(), 2u);
  EXPECT_TRUE(r.seals_checked && r.seals == 2 && r.after_last_seal == 0);
  EXPECT_LT(ReadBytes(Sig()).size(), kSigHeader + 11 * kRec) << "compacted at log-off";
  Append(2, 3);
  r = Verify();
  EXPECT_TRUE(r.status == Status::kIntact && r.removals.size() == 4 && r.after_last_seal == 2);
  // The index repair drops an entry, telling the chain first.
  AuditChain(dir_.path()).BeforeRemove(3, 1, 1, ChainReason::kRepair);
  const std::string idx = ReadBytes(Idx());
  WriteBytes(Idx(), idx.substr(0, 8) + testing::Le32(2) + idx.substr(12, 12) + idx.substr(32));
  r = Verify();
  EXPECT_EQ(r.status, Status::kIntact);
  EXPECT_NE(r.removals.back().find("repair"), std::string::npos);
  AuditLogFile().Clear();
  Append(1);
  r = Verify();
  EXPECT_TRUE(r.status == Status::kIntact && r.events == 1u);
  EXPECT_NE(r.removals.front().find("2 event(s) cleared"), std::string::npos);
}

TEST_F(AuditChainTest, ALogWithoutSideFileIsReadAndGetsAChain) {
  key_.reset();
  Append(3);
  std::filesystem::remove(Sig());
  ChainReport r = Verify();
  EXPECT_TRUE(r.status == Status::kIntact && !r.side_file && r.warnings.size() == 1);
  Append(2);
  r = Verify();
  EXPECT_TRUE(r.status == Status::kIntact && r.side_file && r.unlinked == 3 && r.events == 5);
  EXPECT_EQ(testing::AuditDescriptions().size(), 5u);
}

// A failure at any write of an append that seals and moves the key on, of a clear and of a
// log-off leaves a pair the verifier finds intact; so does a process stopping at any call.
TEST_F(AuditChainTest, AFailureAtAnyWriteLeavesAnIntactChain) {
  testing::FaultyFileSystem faults;
  auto attempt = [&](const std::function<void()>& op) {
    try {
      op();
    } catch (const FileException&) {
    }
  };
  const std::vector<std::function<void()>> operations = {
      [&] {
        g_now += 120;
        AuditLogFile log;
        log.SetMaxEvents(4);
        log.AppendEvent("s", "u", "late");
      },
      [] { AuditLogFile().Clear(); },
      [&] {  // a log-off: its event overwrites the oldest, then the pair is compacted
        g_now += 120;
        AuditLogFile log;
        log.SetMaxEvents(3);
        log.AppendEvent("s", "u", "logged off");
        log.Compact();
      }};
  for (const auto& op : operations) {
    const int points = testing::ForEveryFaultPoint(
        faults, [&] { Build(4, 4); }, [&] { attempt(op); },
        [&] {
          EXPECT_EQ(Verify().status, Status::kIntact) << Verify().detail;
          Append(1, 4);
          EXPECT_EQ(Verify().status, Status::kIntact) << Verify().detail;
        });
    EXPECT_GE(points, 3);
  }
  for (int step = 1;; ++step) {
    SCOPED_TRACE("stopping at call " + std::to_string(step));
    Build(4, 4);
    {
      testing::ScopedFileSystem installed(faults);
      faults.Arm(testing::FaultKind::kAnyCall, step, true);
      attempt(operations[0]);
    }
    faults.Disarm();
    EXPECT_EQ(Verify().status, Status::kIntact) << Verify().detail;
    Append(1, 4);
    EXPECT_EQ(Verify().status, Status::kIntact) << Verify().detail;
    if (!faults.fired()) break;
  }
}

}  // namespace
}  // namespace talmor
