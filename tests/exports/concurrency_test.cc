// Several host processes writing the audit trail at once, as a busy instrument system does:
// workers make audited enquiries and notes, others log off (which compacts the log) and one opens
// the viewer. Afterwards every event is in the log, readable, in each process's own order, and
// the hash chain beside the log is whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "audit/audit_chain.h"
#include "audit/audit_log_file.h"
#include "qvshare.h"
#include "storage/database_files.h"
#include "support/audit_events.h"
#include "support/data_dir.h"
#include "support/library.h"
#include "support/process.h"
#include "talmor32.h"
#include "ui/headless_script.h"

namespace talmor::testing {
namespace {

constexpr int kWorkers = 8;
constexpr int kEventsPerWorker = 500;
constexpr int kLogoffProcesses = 2;
constexpr int kLogoffsEach = 25;

using Concurrency = DataDirTest;

TEST_F(Concurrency, EveryProcessesEventsArriveWholeAndInOrder) {
  const TempDir& dir = dir_;
  ScopedEnv ui("TALMOR_UI", "headless");
  ScopedEnv script("TALMOR_UI_SCRIPT", dir.File("viewer.txt"));
  ScopedEnv transcript("TALMOR_UI_TRANSCRIPT", dir.File("viewer-transcript.txt"));
  // The viewer loads everything there is at that moment, then looks at it in full.
  std::ofstream(dir.File("viewer.txt"))
      << "dialog 137\nkey 1000 End\nkey 1000 Home\ndump\nescape\n";
  {
    SecurityDatabase db;
    db.AddUser(UserRecord("Administrator", "", "", "BlueHarbour"));
    SecurityOptions options;
    options.AuditMaxEvents = 30000;  // room for every event
    SaveSecurityDatabase(db, options);
  }
  ASSERT_EQ(QVHostPresenceAcquire(), 1);
  QVStatusSetString(47, "Administrator");

  // Workers and the viewer first adopt the logged-on user, then tell the parent, which only then
  // starts the processes that log off (and so clear the slot).
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  std::vector<Child> children;
  for (int k = 0; k < kWorkers; ++k) {
    children.emplace_back([&, k] {
      Library lib;
      if (!lib.loaded()) return 1;
      auto enquire = lib.Get<TalmorEnquireFn>("SecurityEnquire");
      auto note = lib.Get<TalmorNoteFn>("SecurityNote");
      if (lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit")(nullptr, 0) != 1) return 2;
      if (::write(ready[1], "r", 1) != 1) return 3;
      const std::string source = "P" + std::to_string(k);
      for (int i = 0; i < kEventsPerWorker; ++i) {
        if (enquire(nullptr, static_cast<uint32_t>(i % 26)) != 1) return 4;
        if (note(0, source.c_str(), 0, std::to_string(i).c_str(), 0) != 1) return 5;
      }
      return 0;
    });
  }
  children.emplace_back([&] {
    Library lib;
    if (!lib.loaded()) return 1;
    if (lib.Get<TalmorEnquireFn>("SecurityEnquireNoAudit")(nullptr, 0) != 1) return 2;
    if (::write(ready[1], "r", 1) != 1) return 3;
    return lib.Get<TalmorWindowFn>("SecurityLogView")(nullptr) == 1 ? 0 : 6;
  });
  for (int n = 0; n < kWorkers + 1; ++n) {
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  }
  for (int k = 0; k < kLogoffProcesses; ++k) {
    children.emplace_back([] {
      Library lib;
      if (!lib.loaded()) return 1;
      auto logoff = lib.Get<TalmorVoidFn>("SecurityLogoff");
      for (int i = 0; i < kLogoffsEach; ++i) {
        if (logoff() != 1) return 7;
      }
      return 0;
    });
  }
  for (Child& child : children) EXPECT_EQ(child.Wait(), 0);
  QVHostPresenceRelease();

  std::map<std::string, int> next;  // per worker: the note number expected next
  int enquiries = 0, logoffs = 0;
  for (const AuditEvent& e : AuditEvents()) {
    enquiries += e.source == "Object Access";
    logoffs += e.Line() == "Logon/Logoff||User logged off.";
    if (e.source[0] != 'P') continue;
    EXPECT_EQ(e.Line(), e.source + "|Administrator|" + std::to_string(next[e.source]++));
  }
  EXPECT_EQ(enquiries, kWorkers * kEventsPerWorker + 1);  // the viewer's enquiry too
  EXPECT_EQ(logoffs, kLogoffProcesses * kLogoffsEach);
  ASSERT_EQ(next.size(), size_t{kWorkers});
  for (const auto& [source, count] : next) EXPECT_EQ(count, kEventsPerWorker) << source;
  // All of them kept one chain, which the log-offs compacted as they went.
  const ChainReport chain = VerifyAuditChain(dir.path(), std::nullopt);
  EXPECT_TRUE(chain.status == ChainReport::Status::kIntact && chain.unlinked == 0) << chain.detail;
  // The viewer ran while the others wrote: every line it showed was a whole event.
  std::ifstream shown(dir.File("viewer-transcript.txt"));
  bool opened = false;
  int viewer_lines = 0;
  for (std::string line; std::getline(shown, line);) {
    opened = opened || line == "dialog\t137\tAudit Log Viewer";
    if (line.rfind("item\t1000\t", 0) != 0) continue;
    ++viewer_lines;
    // item, control, index, selected, then the text: four columns each ending in a tab.
    const std::string text =
        UnescapeScriptText(line.substr(line.find('\t', line.find('\t', 10) + 1) + 1));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 4) << line;
  }
  EXPECT_TRUE(opened && viewer_lines >= 1);  // at least its own enquiry
}

}  // namespace
}  // namespace talmor::testing
