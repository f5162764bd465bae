#include "dialogs/logon_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "manager/host_status.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

class LogonDialogTest : public DialogScenario {};

TEST_P(LogonDialogTest, TheFocusStartsOnThePasswordOnlyWhenANameIsRemembered) {
  int focus = 0;
  Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) { focus = d.GetFocusId(); }))}),
      [&] { EXPECT_EQ(manager().Login(nullptr), 0); });
  EXPECT_EQ(focus, logon_ids::kUserName);

  WriteProfileString("qvtalmor.ini", "Login", "UserName", "administrator");
  std::string shown_name;
  Rect placed;
  Size screen;
  bool topmost = false;
  RunResult run = Run(Steps({Script("dialog 130"), Steps(Probe([&](Dialog& d) {
                               focus = d.GetFocusId();
                               topmost = d.IsTopmost();
                               shown_name = d.Item(logon_ids::kUserName)->GetWindowText();
                               placed = d.GetWindowRect();
                               screen = d.ScreenSize();
                             })),
                             Script("type 1001 BlueHarbour\nenter")}),
                      [&] { EXPECT_EQ(manager().Login(nullptr), 1); });
  EXPECT_EQ(focus, logon_ids::kPassword);
  EXPECT_TRUE(topmost);
  EXPECT_EQ(shown_name, "administrator");
  // Centred across the screen, a third of the way down.
  EXPECT_EQ(placed.left, (screen.cx - placed.width()) / 2);
  EXPECT_EQ(placed.top, (screen.cy - placed.height()) / 3);
  EXPECT_GT(placed.width(), 254);  // more than one pixel a dialog unit: base units applied
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t1"));
  EXPECT_EQ(manager().current_user(), "Administrator");
  EXPECT_EQ(ReadPublishedUserName(), "administrator");
}

INSTANTIATE_TEST_SUITE_P(Backends, LogonDialogTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
