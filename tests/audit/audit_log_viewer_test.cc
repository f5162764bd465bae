#include "audit/audit_log_viewer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "platform/profile_file.h"
#include "resources/resource_ids.h"
#include "support/faulty_file_system.h"
#include "support/temp_dir.h"
#include "support/ui_backends.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace ids = audit_log_viewer_ids;
namespace detail_ids = event_detail_ids;

// What a probe saw of the viewer's list.
struct ListState {
  std::vector<intptr_t> positions;  // item data, line by line
  std::vector<std::string> lines;
  int selected = -1;
  int top = -1, rows = 0;  // the top index and the rows shown
  int oldest_checked = -1;
  int newest_checked = -1;
};

class AuditLogViewerTest : public UiBackendTest {
 protected:
  // Appends `count` events "event <n>" by users "user<n>", numbered from `first`.
  static void AddEvents(int count, int first = 0) {
    AuditLogFile log;
    log.SetMaxEvents(30000);
    for (int i = first; i < first + count; ++i) {
      ASSERT_TRUE(
          log.AppendEvent("Other", "user" + std::to_string(i), "event " + std::to_string(i)));
    }
  }
  static uint32_t EventCount() { return AuditLogFile().EventCount(); }

  static ListState Look(Dialog& d) {
    ListState s;
    Control* list = d.Item(ids::kList);
    for (int i = 0; i < list->GetCount(); ++i) {
      s.positions.push_back(list->GetItemData(i));
      s.lines.push_back(list->GetText(i));
    }
    s.selected = list->GetCurSel();
    s.top = list->GetTopIndex();
    s.rows = list->GetVerticalScroll().page;
    s.oldest_checked = d.IsMenuItemChecked(kIdmOldestFirst);
    s.newest_checked = d.IsMenuItemChecked(kIdmNewestFirst);
    return s;
  }
  Step LookInto(std::vector<ListState>& seen) {
    return Probe([&seen](Dialog& d) { seen.push_back(Look(d)); });
  }

  // Opens the viewer with `steps` as the operator; answers the transcript.
  std::vector<std::string> Run(std::vector<Step> steps) {
    RunResult run = UiBackendTest::Run(std::move(steps), [&] {
      AuditLogViewer viewer(nullptr);
      result_ = viewer.DoModal();
    });
    EXPECT_EQ(run.steps_left, 0u);
    return run.transcript;
  }

  static std::vector<intptr_t> Range(int from, int to) {  // from..to inclusive, either way
    std::vector<intptr_t> out;
    for (int i = from; from <= to ? i <= to : i >= to; from <= to ? ++i : --i) out.push_back(i);
    return out;
  }

  static std::string Profile(const char* key) {
    return GetProfileString("qvtalmor.ini", "AuditLog", key, "<none>", 100);
  }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  int result_ = -1;  // of the last viewer: Exit is OK, Escape and the close box Cancel
};

TEST_P(AuditLogViewerTest, BatchesInBothOrdersAndLoadingTheRest) {
  AddEvents(150);
  std::vector<ListState> seen;
  // Oldest first (no profile yet): 60 lines; the End key loads the other 90 and selects the
  // last. Then newest first: 61 lines from the newest; scrolling to the bottom loads the rest.
  Run(Steps({Script("dialog 137"), Steps(LookInto(seen)), Script("key 1000 End"),
             Steps(LookInto(seen)), Script("menu 32774"), Steps(LookInto(seen)),
             Script("scroll 1000 bottom"), Steps(LookInto(seen)), Script("menu 1")}));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].positions, Range(0, 59));
  EXPECT_EQ(seen[0].oldest_checked, 1);
  EXPECT_EQ(seen[0].newest_checked, 0);
  EXPECT_EQ(seen[1].positions, Range(0, 149));
  EXPECT_EQ(seen[1].selected, 149);
  EXPECT_EQ(seen[2].positions, Range(149, 89));
  EXPECT_EQ(seen[2].oldest_checked, 0);
  EXPECT_EQ(seen[2].newest_checked, 1);
  EXPECT_THAT(seen[2].lines[0], HasSubstr("\tuser149\tOther : event 149\t"));
  EXPECT_EQ(seen[3].positions, Range(149, 0));
  EXPECT_EQ(seen[3].selected, 149);
  EXPECT_GT(seen[3].rows, 0);
  EXPECT_GE(seen[3].top + seen[3].rows, 150) << "the last line is out of view";
  EXPECT_EQ(result_, kIdOk);
  EXPECT_EQ(Profile("OldestFirst"), "FALSE");
}

TEST_P(AuditLogViewerTest, ScrollingIntoTheLastQuarterLoadsMoreAndNotBefore) {
  AddEvents(400);
  std::vector<ListState> seen;
  int visible = 0;
  auto to_the_end = Probe([](Dialog& d) {
    Control* list = d.Item(ids::kList);
    list->SetTopIndex(list->GetCount() - 1);
  });
  // Line down at the top of 60 lines does not load; with the last line in view, actions that
  // move up never load; a page down there loads at least a batch (or twice the rows shown), and
  // so does the end of a scroll.
  Run(Steps({Script("dialog 137"), Steps(Probe([&](Dialog& d) {
               visible = d.Item(ids::kList)->GetVerticalScroll().page;
             })),
             Script("scroll 1000 linedown"), Steps(LookInto(seen)), Steps(to_the_end),
             Script("key 1000 Up\nkey 1000 Left\nkey 1000 PageUp\nscroll 1000 lineup\n"
                    "scroll 1000 pageup"),
             Steps(LookInto(seen)), Steps(to_the_end), Script("scroll 1000 pagedown"),
             Steps(LookInto(seen)), Steps(to_the_end), Script("scroll 1000 endscroll"),
             Steps(LookInto(seen)), Script("escape")}));
  ASSERT_EQ(seen.size(), 4u);
  ASSERT_GT(visible, 0);
  ASSERT_LT(visible, 30) << "the list shows too many rows for a load to wait for scrolling";
  const int more = std::max(60, 2 * visible);
  EXPECT_EQ(seen[0].positions, Range(0, 59));
  EXPECT_EQ(seen[1].positions, Range(0, 59));
  EXPECT_EQ(seen[2].positions, Range(0, 59 + more));
  EXPECT_EQ(seen[3].positions, Range(0, 59 + 2 * more));
}

TEST_P(AuditLogViewerTest, LinesShowTheSummaryAndCutTheUserColumn) {
  const std::string long_user(60, 'W');
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Policy Change", "admin", "Audit policy changed.\r\nMore text"));
    ASSERT_TRUE(log.AppendEvent("Other", "admin", "one\r\ntwo\r\nthree\r\nfour"));
    ASSERT_TRUE(log.AppendEvent("Other", long_user, "plain"));
  }
  std::vector<std::string> lines;
  std::string user_fit;
  Run(Steps({Script("dialog 137"), Steps(Probe([&](Dialog& d) {
               lines = Look(d).lines;
               // The longest prefix of the name that fits 85 dialog units.
               const int width = 85 * d.DialogBaseUnits().cx / 4;
               while (d.Item(ids::kList)->TextWidth(user_fit + 'W') <= width) user_fit += 'W';
             })),
             Script("close")}));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[0], ::testing::EndsWith("\tadmin\tPolicy Change : Audit policy changed. - "
                                            "More text\t"));
  // Copying stops right after the second line break: the rest is left out.
  EXPECT_THAT(lines[1], ::testing::EndsWith("\tadmin\tOther : one - two - \t"));
  ASSERT_FALSE(user_fit.empty());
  ASSERT_LT(user_fit.size(), long_user.size());
  EXPECT_THAT(lines[2], HasSubstr("\t" + user_fit + "\tOther : plain\t"));
  // Four columns, each ending with a tab.
  for (const std::string& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4);
}

TEST_P(AuditLogViewerTest, DetailShowsTheSelectedEventAndNothingWithoutSelection) {
  {
    AuditLogFile log;
    ASSERT_TRUE(log.AppendEvent("Logon/Logoff", "Administrator", "User logged on."));
    ASSERT_TRUE(log.AppendEvent("Policy Change", "Administrator", "first\r\nsecond"));
  }
  std::string date, time, source, user, description;
  ASSERT_TRUE(AuditLogFile().ReadEvent(1, date, time, source, user, description));
  std::string date0, time0;
  ASSERT_TRUE(AuditLogFile().ReadEvent(0, date0, time0, source, user, description));
  const std::string first_line =
      date0 + "\t" + time0 + "\tAdministrator\tLogon/Logoff : User logged on.\t";
  std::vector<std::string> shown;
  std::string double_clicked_source;
  const auto transcript = Run(
      Steps({Script("dialog 137\nmenu 32773"), Steps(Probe([](Dialog& d) {
               // Detail without a selection shows nothing: still the viewer.
               EXPECT_EQ(d.template_id(), kIddAuditLogViewer);
             })),
             Steps(Probe([](Dialog& d) { d.Item(ids::kList)->SetCurSel(1); })),
             Script("menu 32773\ndialog 132"), Steps(Probe([&](Dialog& d) {
               for (int id : {detail_ids::kDate, detail_ids::kTime, detail_ids::kSource,
                              detail_ids::kUser, detail_ids::kDescription}) {
                 shown.push_back(d.Item(id)->GetWindowText());
               }
             })),
             Script("click 1"),
             // A double click on a line shows its detail too.
             Script("dblclick 1000 " + EscapeTranscriptText(first_line) + "\ndialog 132"),
             Steps(Probe([&](Dialog& d) {
               double_clicked_source = d.Item(detail_ids::kSource)->GetWindowText();
             })),
             Script("click 1\nmenu 1")}));
  EXPECT_THAT(shown, ElementsAre(date, time, "Policy Change", "Administrator", "first\r\nsecond"));
  EXPECT_EQ(double_clicked_source, "Logon/Logoff");
  EXPECT_THAT(transcript, ElementsAre("dialog\t137\tAudit Log Viewer", "dialog\t132\tEvent Detail",
                                      "end\t132\t1", "dialog\t132\tEvent Detail", "end\t132\t1",
                                      "end\t137\t1"));
}

TEST_P(AuditLogViewerTest, ClearAsksFirstAndRecordsNothing) {
  AddEvents(5);
  std::vector<ListState> seen;
  FaultyFileSystem files;  // nothing fails; it watches the locks
  std::vector<std::string> transcript;
  {
    ScopedFileSystem installed(files);
    transcript =
        Run(Steps({Script("dialog 137\nmenu 32772\nanswer cancel"), Steps(LookInto(seen)),
                   Script("menu 32772\nanswer ok"), Steps(LookInto(seen)), Script("menu 1")}));
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].positions, Range(0, 4));
  EXPECT_TRUE(seen[1].positions.empty());
  EXPECT_EQ(EventCount(), 0u);  // the clearing is not itself an event
  const std::string box = "msgbox\texclamation\tokcancel\tClear Audit Log\tAre you sure?\t";
  EXPECT_THAT(transcript, ElementsAre("dialog\t137\tAudit Log Viewer", box + "cancel", box + "ok",
                                      "end\t137\t1"));
  // The fill after the clearing read the log: it did not wait on the viewer's own lock.
  EXPECT_EQ(files.failed_locks(), 0);
}

TEST_P(AuditLogViewerTest, OrderAndPlacementAreRememberedAcrossRuns) {
  AddEvents(3);
  WindowPlacement placed;
  placed.show_cmd = kShowMaximized;
  placed.normal_position = {40, 30, 640, 430};
  // First run: newest first, maximised, closed with the close box.
  Run(Steps({Script("dialog 137\nmenu 32774"),
             Steps(Probe([&](Dialog& d) { d.SetWindowPlacement(placed); })), Script("close")}));
  EXPECT_EQ(Profile("OldestFirst"), "FALSE");
  const std::string winpos = Profile("WinPos");
  EXPECT_THAT(winpos, ::testing::StartsWith("2,3,"));

  // Second run: opens newest first and maximised at the same normal rectangle.
  std::vector<ListState> seen;
  WindowPlacement restored;
  bool zoomed = false;
  Run(Steps({Script("dialog 137"), Steps(LookInto(seen)), Steps(Probe([&](Dialog& d) {
               restored = d.GetWindowPlacement();
               zoomed = d.IsZoomed();
             })),
             Script("menu 32775\nmenu 1")}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].positions, Range(2, 0));
  EXPECT_EQ(seen[0].newest_checked, 1);
  EXPECT_TRUE(zoomed);
  EXPECT_EQ(restored.normal_position, placed.normal_position);
  EXPECT_EQ(Profile("OldestFirst"), "TRUE");

  // A normal window is stored as shown and, opened there and closed again, stays the same.
  placed.show_cmd = kShowNormal;
  placed.normal_position = {60, 50, 760, 550};
  Run(Steps({Script("dialog 137"), Steps(Probe([&](Dialog& d) { d.SetWindowPlacement(placed); })),
             Script("close")}));
  const std::string first = Profile("WinPos");
  EXPECT_THAT(first, ::testing::StartsWith("0,1,"));
  Run(Steps({Script("dialog 137\nclose")}));
  EXPECT_EQ(Profile("WinPos"), first);
}

TEST_P(AuditLogViewerTest, AMalformedPlacementOrOrderFallsBackToTheDefaults) {
  AddEvents(2);
  std::vector<ListState> seen;
  auto open_at = [&] {
    Rect at;
    seen.clear();
    Run(Steps({Script("dialog 137"), Steps(LookInto(seen)),
               Steps(Probe([&](Dialog& d) { at = d.GetWindowRect(); })), Script("escape")}));
    return at;
  };
  const Rect template_at = open_at();  // nothing stored yet
  WriteProfileString("qvtalmor.ini", "AuditLog", "OldestFirst", "FALSE!");  // not "FALSE"
  for (const char* bad : {"0,1,-1,-1,-1,-1,10,10,200", "0,1,-1,-1,-1,-1,10;10,200,300", "garbage",
                          "0,1,-1,-1,-1,-1,300,10,200,300"}) {
    WriteProfileString("qvtalmor.ini", "AuditLog", "WinPos", bad);
    EXPECT_EQ(open_at(), template_at) << bad;
    EXPECT_EQ(seen.at(0).positions, Range(0, 1));  // any text but "FALSE" is oldest first
  }
  WriteProfileString("qvtalmor.ini", "AuditLog", "OldestFirst", "fAlSe");  // any case of "FALSE"
  open_at();
  EXPECT_EQ(seen.at(0).positions, Range(1, 0));
}

TEST_P(AuditLogViewerTest, AnEmptyOrUnopenableLogShowsAnEmptyList) {
  std::vector<ListState> seen;
  Run(Steps(
      {Script("dialog 137\nmenu 32773\nkey 1000 End"), Steps(LookInto(seen)), Script("escape")}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].positions.empty());

  // A log that cannot be opened reads as empty, without a message; Refresh shows it once it can.
  AddEvents(3);
  seen.clear();
  FaultyFileSystem files;
  std::vector<std::string> transcript;
  {
    ScopedFileSystem installed(files);
    files.Arm(FaultKind::kOpen, 1, /*stop=*/true);
    transcript = Run(Steps({Script("dialog 137"), Steps(LookInto(seen)),
                            Steps(Probe([&](Dialog&) { files.Disarm(); })), Script("menu 32771"),
                            Steps(LookInto(seen)), Script("escape")}));
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].positions.empty());
  EXPECT_EQ(seen[1].positions, Range(0, 2));
  EXPECT_THAT(transcript, ElementsAre("dialog\t137\tAudit Log Viewer", "end\t137\t2"));
}

INSTANTIATE_TEST_SUITE_P(Backends, AuditLogViewerTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
