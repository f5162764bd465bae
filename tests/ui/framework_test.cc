// The framework's parts that do not need a backend's windows: the files an unattended host is
// driven by, dialog lifetimes, backend choice, list rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "support/bytes.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/ui_backends.h"
#include "ui/list_model.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

// A host process driven by the script file in its environment, as an unattended host runs:
// each process appends to the transcript file, and a process whose script is wrong or missing
// still ends. Answers the exit code: 10 + the length of the name taken, or the dialog's result.
int RunHost(const TempDir& dir, const char* script) {
  if (script != nullptr) WriteBytes(dir.File("script.txt"), script);
  return RunInChild(
      [&] {
        setenv("TALMOR_UI", "headless", 1);
        setenv("TALMOR_UI_SCRIPT", dir.File(script ? "script.txt" : "missing.txt").c_str(), 1);
        setenv("TALMOR_UI_TRANSCRIPT", dir.File("transcript.txt").c_str(), 1);
        NameDialog dialog;
        int result = dialog.DoModal();
        if (result == kIdOk) result = 10 + static_cast<int>(dialog.name_.size());
        MessageBox(nullptr, "a\tb\x01", "cap", kMbOk | kMbIconInformation);
        return result;
      },
      20);  // a hung dialog fails the test instead of blocking it
}

TEST(HeadlessFilesTest, HostProcessesFollowTheirScriptsAndAppendTheTranscript) {
  TempDir dir;
  EXPECT_EQ(RunHost(dir,
                    "# log on\r\ndialog 130\r\ntype 1000 a\\tb\\x41\\\\ #not a comment\r\n"
                    "key 1001 Enter   # from an edit, Enter is the default button\r\n"),
            10 + 16);  // the comment mark inside the text is typed, cut to the limit
  EXPECT_EQ(RunHost(dir, "dialog 136\ntype 1000 x\n"), kIdCancel);
  EXPECT_EQ(RunHost(dir, nullptr), kIdCancel);
  const std::string box = "msgbox\tinformation\tok\tcap\ta\\tb\\x01\tok\n";
  EXPECT_EQ(ReadBytes(dir.File("transcript.txt")),
            "dialog\t130\tQuorvane Login\nend\t130\t1\n" + box +
                "dialog\t130\tQuorvane Login\nerror\tdialog 136 expected, dialog 130 shown\n"
                "end\t130\t2\n" +
                box + "error\tcannot read script " + dir.File("missing.txt") +
                "\ndialog\t130\tQuorvane Login\nend\t130\t2\n" + box);
}

class EndsAtOnce : public Dialog {
 public:
  EndsAtOnce() : Dialog(kIddEventDetail) {}

 protected:
  bool OnInitDialog() override {
    EndDialog(42);
    return true;
  }
};

class RefusesCancel : public Dialog {
 public:
  RefusesCancel() : Dialog(kIddEventDetail) {}
  int cancels_ = 0;

 protected:
  void OnCancel() override { ++cancels_; }
};

TEST(DialogLifecycleTest, MissingTemplatesEarlyEndsAndStubbornDialogs) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ScriptOperator op("dialog 132\n");
  ScopedOperator scoped(op);
  EXPECT_EQ(Dialog(4711).DoModal(), -1);
  EXPECT_EQ(EndsAtOnce().DoModal(), 42);
  EXPECT_EQ(op.remaining(), 1u);  // never shown: the `dialog` line is still there
  RefusesCancel stubborn;
  EXPECT_EQ(stubborn.DoModal(), kIdCancel);  // out of actions: closed even so
  EXPECT_EQ(stubborn.cancels_, 1);
  EXPECT_THAT(op.transcript(), ElementsAre("dialog\t132\tEvent Detail", "end\t132\t2"));
}

TEST(BackendChoiceTest, AnUnknownChoiceFallsBackToHeadless) {
  ScopedEnv ui("TALMOR_UI", "no-such-toolkit");
  EXPECT_STREQ(ActiveBackend().Name(), "headless");
  EXPECT_EQ(RegisteredBackends().front(), "headless");
}

#ifdef TALMOR_WITH_QT
// Without a display the Qt backend is never chosen and never starts Qt (which would abort); made
// anyway, it answers boxes and dialogs without Qt.
TEST(QtDisplayDeathTest, WithoutADisplayQtNeverStarts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "TALMOR_UI"}) unsetenv(name);
        setenv("DISPLAY", "not a display", 1);
        bool garbage = QtBackend::DisplayAvailable();
        setenv("DISPLAY", ":987", 1);
        bool x = QtBackend::DisplayAvailable();
        std::string chosen = ActiveBackend().Name();
        QtBackend qt;
        int answer = qt.ShowMessageBox(nullptr, "T", "C", kMbYesNo);
        Dialog dialog(kIddLogon);
        ScopedBackend use(qt);
        std::exit(!x && !garbage && chosen == "headless" && answer == kIdNo &&
                          dialog.DoModal() == -1 && QCoreApplication::instance() == nullptr
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

// The list rules every backend relies on (keys, scroll actions, clicks, entries coming and
// going), driven by random sequences and checked against what must always hold after each step.
TEST(ListModelTest, RandomKeysScrollsAndClicksKeepSelectionAndTopInRange) {
  const Key keys[] = {Key::kDown,   Key::kPageDown, Key::kEnd,  Key::kUp,
                      Key::kPageUp, Key::kHome,     Key::kLeft, Key::kRight};
  std::mt19937 random(20261207);
  for (int run = 0; run < 200; ++run) {
    ListModel list(false, run % 2 == 1);
    const int rows = 1 + static_cast<int>(random() % 6);
    for (int step = 0; step < 60; ++step) {
      SCOPED_TRACE("run " + std::to_string(run) + " step " + std::to_string(step));
      const int before = list.GetCurSel(), n = list.Count(), action = random() % 5;
      const int index = n > 0 ? static_cast<int>(random() % n) : -1;
      const Key key = keys[random() % 8];
      if (action == 0) list.Add("entry");
      if (action == 1 && n > 0) list.Delete(index), list.ClampTop(rows);
      if (action == 2 && list.MoveSelection(key, rows)) {
        const int now = list.GetCurSel();
        ASSERT_TRUE(now >= 0 && now < n && list.GetSel(now) == 1);
        ASSERT_TRUE(!list.multiple_selection() || list.GetSelCount() == 1);
        ASSERT_TRUE(now >= list.top_index() && now < list.top_index() + rows);
        ASSERT_TRUE((key != Key::kEnd || now == n - 1) && (key != Key::kHome || now == 0));
        const bool down = key == Key::kDown || key == Key::kPageDown;
        const bool up = key == Key::kUp || key == Key::kPageUp;
        ASSERT_TRUE(before < 0 || ((!down || now >= before) && (!up || now <= before)));
      }
      if (action == 3) list.Scroll(static_cast<ScrollCode>(random() % 7), rows);
      if (action == 4 && n > 0) {
        ASSERT_TRUE(list.Click(index, random() % 2 == 0, random() % 2 == 0));
        ASSERT_EQ(list.GetCurSel(), index);
      }
      ASSERT_GE(list.top_index(), 0);
      ASSERT_LE(list.top_index(), std::max(0, list.Count() - rows));
    }
  }
}

}  // namespace
}  // namespace talmor::testing
