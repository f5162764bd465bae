// The framework's parts that do not need a backend's windows: the script language, the files an
// unattended host is driven by, dialog lifetimes, window handles, list models, backend choice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "support/ui_backends.h"
#include "ui/list_model.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ScriptTest, ParsesActionsEscapesAndProblems) {
  auto a = ParseScriptLine("type 1000 a\\nb\\x7a\\\\\\q");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, ActionKind::kType);
  EXPECT_EQ(a->id, 1000);
  EXPECT_EQ(a->text, "a\nbz\\\\q");
  EXPECT_FALSE(ParseScriptLine("   # comment"));
  EXPECT_FALSE(ParseScriptLine(""));
  auto resize = ParseScriptLine("resize 640 480");
  ASSERT_TRUE(resize);
  EXPECT_EQ(resize->height, 480);
  for (const char* bad : {"key 1000 Sideways", "click x", "click 1 2", "answer maybe"})
    EXPECT_EQ(ParseScriptLine(bad)->kind, ActionKind::kInvalid) << bad;
  EXPECT_EQ(EscapeTranscriptText("a\\b\r\x7f"), "a\\\\b\\r\\x7F");
}

TEST(DataExchangeTest, ParsesIntegersStrictly) {
  int v = 0;
  for (auto [text, value] : std::vector<std::pair<const char*, int>>{
           {" -42 ", -42}, {"+7", 7}, {"-2147483648", -2147483647 - 1}}) {
    EXPECT_TRUE(ParseInteger(text, &v)) << text;
    EXPECT_EQ(v, value);
  }
  for (const char* bad : {"2147483648", "", "12a", "1 2", "-"})
    EXPECT_FALSE(ParseInteger(bad, &v)) << bad;
}

// A host process driven by the script file in its environment, as an unattended host runs:
// each process appends to the transcript file, and a process whose script is wrong or missing
// still ends. Answers the exit code: 10 + the length of the name taken, or the dialog's result.
int RunHost(const TempDir& dir, const char* script) {
  if (script != nullptr)
    std::ofstream(dir.File("script.txt"), std::ios::binary | std::ios::trunc) << script;
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);  // a hung dialog fails the test instead of blocking it
    setenv("TALMOR_UI", "headless", 1);
    setenv("TALMOR_UI_SCRIPT", dir.File(script ? "script.txt" : "missing.txt").c_str(), 1);
    setenv("TALMOR_UI_TRANSCRIPT", dir.File("transcript.txt").c_str(), 1);
    NameDialog dialog;
    int result = dialog.DoModal();
    if (result == kIdOk) result = 10 + static_cast<int>(dialog.name_.size());
    MessageBox(nullptr, "a\tb\x01", "cap", kMbOk | kMbIconInformation);
    _exit(result);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  EXPECT_EQ(ReadAll(dir.File("transcript.txt")),
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

// Records what the dialog saw of its own handle while open.
class HandleDialog : public NameDialog {
 public:
  using NameDialog::NameDialog;
  Window* from_handle_ = nullptr;

 protected:
  bool OnInitDialog() override {
    from_handle_ = handle() == nullptr ? nullptr : Window::FromHandle(handle());
    return NameDialog::OnInitDialog();
  }
};

TEST(WindowTest, TemporaryWindowsLastUntilIdleAndAnOpenDialogAnswersForItsHandle) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ModuleState module("talmor.dll"), other("host");
  EXPECT_EQ(Window::FromHandle(nullptr), nullptr);
  {
    ModuleStateGuard guard(module);
    auto* handle = reinterpret_cast<WindowHandle>(uintptr_t{0x1234});
    Window* w = Window::FromHandle(handle);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Window::FromHandle(handle), w);  // the same temporary until idle
    {
      ModuleStateGuard inner(other);
      EXPECT_EQ(&CurrentModuleState(), &other);
      EXPECT_EQ(other.temporary_count(), 0u);
    }
    EXPECT_EQ(&CurrentModuleState(), &module);
    ScriptOperator op("");
    ScopedOperator scoped(op);
    HandleDialog dialog(w);
    EXPECT_EQ(dialog.DoModal(), kIdCancel);
    EXPECT_EQ(dialog.from_handle_, &dialog);
    EXPECT_EQ(dialog.handle(), nullptr);  // the window has gone
    EXPECT_EQ(dialog.GetOwner(), w);
    EXPECT_EQ(dialog.Item(logon_ids::kUserName), nullptr);
    int count = 0;
    while (module.OnIdle(count)) ++count;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(module.temporary_count(), 0u);
  }
  EXPECT_NE(&CurrentModuleState(), &module);
}

TEST(ListModelTest, SelectionFollowsInsertionsAndDeletionsAndSortingIgnoresCase) {
  ListModel list(false, false);
  EXPECT_EQ(list.GetCurSel(), kListError);
  EXPECT_EQ(list.Add("b"), 0);
  EXPECT_EQ(list.Add("a"), 1);  // unsorted: appended
  EXPECT_EQ(list.Insert(0, "c"), 0);
  EXPECT_EQ(list.Insert(5, "x"), kListError);
  EXPECT_EQ(list.SetCurSel(2), 2);
  EXPECT_EQ(list.Insert(0, "d"), 0);
  EXPECT_EQ(list.GetCurSel(), 3);
  EXPECT_EQ(list.Delete(3), 3);
  EXPECT_EQ(list.GetCurSel(), kListError);
  EXPECT_EQ(list.SetSel(0, true), kListError);  // single selection
  EXPECT_EQ(list.FindStringExact(-1, "B"), 2);
  EXPECT_EQ(list.FindStringExact(2, "d"), 0);  // wraps
  EXPECT_EQ(list.FindStringExact(-1, "zz"), kListError);
  EXPECT_EQ(list.Delete(7), kListError);
  // Extended selection, sorted insertion.
  list = ListModel(true, true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  std::vector<std::string> order(4);
  for (int i = 0; i < list.Count(); ++i) list.Text(i, &order[i]);
  EXPECT_THAT(order, ElementsAre("Apple", "apple", "fig", "pear"));
  EXPECT_EQ(list.SetSel(1, true), 0);
  EXPECT_EQ(list.SetSel(3, true), 0);
  EXPECT_EQ(list.GetCurSel(), 3);  // the caret
  EXPECT_EQ(list.Delete(0), 3);
  EXPECT_THAT(list.GetSelItems(), ElementsAre(0, 2));
  EXPECT_EQ(list.SetSel(-1, false), 0);
  EXPECT_EQ(list.GetSelCount(), 0);
  EXPECT_EQ(list.SetCurSel(0), kListError);
}

TEST(BackendChoiceTest, AnUnknownChoiceFallsBackToHeadless) {
  ScopedEnv ui("TALMOR_UI", "no-such-toolkit");
  EXPECT_STREQ(ActiveBackend().Name(), "headless");
  EXPECT_EQ(RegisteredBackends().front(), "headless");
}

#ifdef TALMOR_WITH_QT
// Without a display the Qt backend is never chosen and never starts Qt (which would abort). A
// display counts when its server accepts a connection: a listening socket where an X server's
// would be is enough, and nothing of Qt starts to find out.
TEST(QtDisplayDeathTest, ADisplayCountsOnlyWhenItsServerAnswers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "TALMOR_UI"}) unsetenv(name);
        setenv("DISPLAY", ":987", 1);
        bool x = QtBackend::DisplayAvailable();
        setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
        bool named = QtBackend::DisplayAvailable();
        unsetenv("QT_QPA_PLATFORM");
        std::string chosen = ActiveBackend().Name();
        QtBackend qt;  // made anyway: answers without Qt
        int answer = qt.ShowMessageBox(nullptr, "T", "C", kMbYesNo);
        Dialog dialog(kIddLogon);
        int result = 0;
        {
          ScopedBackend use(qt);
          result = dialog.DoModal();
        }
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(40000 + getpid() % 20000);
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + 1, path.data(), path.size());  // abstract, as X servers do
        socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        bool listening =
            bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 4) == 0;
        setenv("DISPLAY", (":" + path.substr(path.rfind('X') + 1) + ".0").c_str(), 1);
        bool answers = QtBackend::DisplayAvailable();
        close(fd);
        bool after_close = QtBackend::DisplayAvailable();
        setenv("DISPLAY", "not a display", 1);
        bool garbage = QtBackend::DisplayAvailable();
        std::exit(!x && !named && chosen == "headless" && answer == kIdNo && result == -1 &&
                          listening && answers && !after_close && !garbage &&
                          QCoreApplication::instance() == nullptr
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace talmor::testing
