#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "support/temp_dir.h"
#include "support/ui_backends.h"
#include "ui/qt/qt_backend.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The Qt rows draw off screen unless told otherwise; set before anything can start Qt.
const bool offscreen = [] {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // tools/screenshots asks for xcb
  return true;
}();

const char* NotifyName(Notify code) {
  switch (code) {
    case Notify::kClicked:
      return "clicked";
    case Notify::kChange:
      return "change";
    case Notify::kSelChange:
      return "selchange";
    case Notify::kDoubleClick:
      return "dblclick";
    case Notify::kSetFocus:
      return "setfocus";
    case Notify::kKillFocus:
      return "killfocus";
    case Notify::kMenu:
      return "menu";
  }
  return "?";
}

// A sample dialog that writes down every notification, key and scroll it receives.
template <class Base>
class Recording : public Base {
 public:
  using Base::Base;
  std::vector<std::string> log;

 protected:
  bool OnCommand(int id, Notify code) override {
    log.push_back(std::to_string(id) + " " + NotifyName(code));
    return Base::OnCommand(id, code);
  }
  void OnControlKey(int id, Key key) override {
    log.push_back(std::to_string(id) + " key " + std::to_string(static_cast<int>(key)));
  }
  void OnControlScroll(int id, ScrollCode code) override {
    log.push_back(std::to_string(id) + " scroll " + std::to_string(static_cast<int>(code)));
  }
  void OnSize(int cx, int cy) override {
    log.push_back("size " + std::to_string(cx) + "x" + std::to_string(cy));
  }
};

class BackendTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::vector<std::string> available = UiBackendsUnderTest();
    if (std::find(available.begin(), available.end(), GetParam()) == available.end()) {
      GTEST_SKIP() << GetParam() << " cannot start here";
    }
    driver_ = MakeUiDriver(GetParam());
  }
  std::vector<std::string> Run(const std::string& script, const std::function<void()>& body) {
    return driver_->Run(ScriptActions(script), body);
  }
  std::unique_ptr<UiDriver> driver_;
};

TEST_P(BackendTest, TypingIsCutToTheLimitsAndEnterTakesTheTexts) {
  Recording<NameDialog> dialog;
  dialog.name_ = "first";
  int result = 0;
  auto transcript =
      Run("dialog 130\n"
          "type 1000 ABCDEFGHIJKLMNOPQRSTU\n"
          "type 1001 secret-password-too-long\n"
          "dump\n"
          "enter\n",
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.name_, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(dialog.password_, "secret-passwor");
  EXPECT_THAT(
      transcript,
      ElementsAre("dialog\t130\tQuorvane Login", "control\t1000\tedit\t1\t-\tABCDEFGHIJKLMNOP",
                  "control\t1001\tedit\t1\t-\t**************", "control\t1\tbutton\t1\t-\tOK",
                  "control\t2\tbutton\t1\t-\tCancel", "control\t-1\ticon\t1\t-\t",
                  "control\t-1\tstatic\t1\t-\tType a logon name and password to log in.",
                  "control\t-1\tstatic\t1\t-\tLogon Name:", "control\t-1\tstatic\t1\t-\tPassword:",
                  "end\t130\t1"));
  EXPECT_THAT(dialog.log, ElementsAre("1000 setfocus", "1000 change", "1000 killfocus",
                                      "1001 setfocus", "1001 change", "1 clicked"));
}

TEST_P(BackendTest, FailedValidationShowsTheMessageAndKeepsTheFocus) {
  Recording<LimitsDialog> dialog;
  dialog.max_ = 500;
  int result = 0;
  auto transcript =
      Run("type 1001 9\n"
          "click 1\n"
          "type 1001 abc\n"
          "enter\n"
          "type 1001 30000\n"
          "click 1\n",
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.max_, 30000);
  EXPECT_THAT(transcript,
              ElementsAre("dialog\t131\tAudit Policy",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between "
                          "10 and 30000.\tok",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer.\tok",
                          "end\t131\t1"));
}

TEST_P(BackendTest, DisabledAndMissingControlsAreReported) {
  LimitsDialog dialog;
  dialog.max_ = 100;
  int result = 0;
  auto transcript =
      Run("dialog 131\n"
          "click 1003\n"
          "type 9999 x\n"
          "click 1002\n"
          "click 1003\n"
          "answer ok\n"
          "click 1\n",
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_TRUE(dialog.enable_);
  EXPECT_EQ(dialog.logon_, 1);
  EXPECT_THAT(transcript,
              ElementsAre("dialog\t131\tAudit Policy", "error\tcontrol 1003 is disabled",
                          "error\tno control 9999 in dialog 131", "error\tno message box to answer",
                          "end\t131\t1"));
}

TEST_P(BackendTest, NestedDialogIsOwnedAndRunsFirst) {
  Recording<GroupDialog> dialog;
  dialog.users_ = {"Bob", "ann", "carl"};
  int result = 0;
  auto transcript =
      Run("dialog 133\n"
          "type 1001 Chemists\n"
          "click 1004\n"
          "dialog 138\n"
          "select 1017 ann\n"
          "select 1017 Bob\n"
          "click 1018\n"
          "click 1\n"
          "dump\n"
          "click 1\n",
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.nested_result_, kIdOk);
  EXPECT_THAT(dialog.members_, ElementsAre("ann", "Bob"));
  ASSERT_GE(transcript.size(), 4u);
  EXPECT_EQ(transcript[0], "dialog\t133\tGroup Properties");
  EXPECT_EQ(transcript[1], "dialog\t138\tGroup Membership");
  EXPECT_EQ(transcript[2], "end\t138\t1");
  EXPECT_THAT(transcript, ::testing::Contains("item\t1003\t0\t0\tann"));
  EXPECT_THAT(transcript, ::testing::Contains("item\t1003\t1\t0\tBob"));
  EXPECT_EQ(transcript.back(), "end\t133\t1");
}

TEST_P(BackendTest, ListsSortSelectMoveAndKeepItemData) {
  std::vector<int> selected;
  std::vector<intptr_t> data;
  Recording<ChooserDialog> dialog;
  dialog.members_ = {"delta", "Charlie", "Alpha", "bravo"};
  dialog.others_ = {"zed"};
  int step = 0;
  int result = 0;
  auto transcript = driver_->Run(
      [&](Dialog* d) -> std::optional<std::string> {
        if (d == nullptr) return std::nullopt;
        switch (step++) {
          case 0:
            return "select 1016 delta";
          case 1:
            return "select 1016 Alpha";
          case 2:
            selected = dialog.members_list_.GetSelItems();
            for (int i : selected) data.push_back(dialog.members_list_.GetItemData(i));
            return "select 1017 zed";
          case 3:
            return "dump";
          case 4:
            return "click 1018";
          case 5:
            return "dblclick 1016 zed";
          case 6:
            return "escape";
          default:
            return std::nullopt;
        }
      },
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_THAT(selected, ElementsAre(0, 3));
  EXPECT_THAT(data, ElementsAre(102, 100));
  EXPECT_THAT(dialog.members_, ElementsAre("delta", "Charlie", "Alpha", "bravo", "zed"));
  EXPECT_THAT(transcript, ::testing::IsSupersetOf({
                              "item\t1016\t0\t0\tAlpha",
                              "item\t1016\t3\t0\tdelta",
                              "item\t1017\t0\t1\tzed",
                              "control\t1018\tbutton\t1\t-\t<- &Add",
                              "end\t138\t2",
                          }));
  EXPECT_THAT(dialog.log, ::testing::IsSupersetOf(
                              {"1016 setfocus", "1016 selchange", "1016 killfocus", "1017 setfocus",
                               "1017 selchange", "1018 clicked", "1016 dblclick"}));
}

TEST_P(BackendTest, MessageBoxesAreAnsweredAsScriptedOrByDefault) {
  std::vector<int> answers;
  auto transcript =
      Run("answer cancel\n"
          "answer yes\n"
          "answer no\n"
          "answer ok\n"
          "answer yes\n",
          [&] {
            answers.push_back(MessageBox(nullptr, "Are you sure?", "Clear Audit Log",
                                         kMbOkCancel | kMbIconExclamation));
            answers.push_back(MessageBox(nullptr, "Q", "C", kMbYesNo | kMbIconQuestion));
            answers.push_back(MessageBox(nullptr, "Q", "C", kMbYesNoCancel | kMbIconInformation));
            answers.push_back(MessageBox(nullptr, "line1\nline2", "C", kMbOk | kMbIconStop));
            answers.push_back(MessageBox(nullptr, "T", "C", kMbOk));
            answers.push_back(MessageBox(nullptr, "T", "", kMbOkCancel));
            answers.push_back(MessageBox(nullptr, "T", "C", kMbYesNo));
          });
  EXPECT_THAT(answers, ElementsAre(kIdCancel, kIdYes, kIdNo, kIdOk, kIdOk, kIdCancel, kIdNo));
  EXPECT_THAT(transcript,
              ElementsAre("msgbox\texclamation\tokcancel\tClear Audit Log\tAre you sure?\tcancel",
                          "msgbox\tquestion\tyesno\tC\tQ\tyes",
                          "msgbox\tinformation\tyesnocancel\tC\tQ\tno",
                          "msgbox\tstop\tok\tC\tline1\\nline2\tok",
                          "error\tanswer yes does not fit a ok box", "msgbox\tnone\tok\tC\tT\tok",
                          "msgbox\tnone\tokcancel\ttalmor.dll\tT\tcancel",
                          "msgbox\tnone\tyesno\tC\tT\tno"));
}

TEST_P(BackendTest, ActionsThatRunOutOrAWrongDialogCancel) {
  NameDialog first;
  NameDialog second;
  std::vector<int> results;
  auto transcript =
      Run("dialog 130\n"
          "type 1000 someone\n"
          "dialog 999\n"
          "type 1000 never typed\n",
          [&] {
            results.push_back(first.DoModal());
            results.push_back(second.DoModal());
          });
  EXPECT_THAT(results, ElementsAre(kIdCancel, kIdCancel));
  EXPECT_EQ(first.name_, "");
  EXPECT_THAT(
      transcript,
      ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t2", "dialog\t130\tQuorvane Login",
                  "error\tdialog 999 expected, dialog 130 shown", "end\t130\t2"));
}

TEST_P(BackendTest, RadioButtonsFormTheTemplatesGroups) {
  Recording<RadioDialog> dialog;
  int result = 0;
  auto transcript =
      Run("dialog 135\n"
          "type 1012 8\n"
          "click 1011\n"
          "type 1012 15\n"
          "uncheck 1010\n"
          "enter\n"
          "type 1012 8\n"
          "dump\n"
          "enter\n",
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.choice_, 1);
  EXPECT_EQ(dialog.min_, 8);
  EXPECT_THAT(
      transcript,
      ::testing::IsSupersetOf(
          {"error\tcontrol 1012 is disabled", "error\tradio button 1010 cannot be unchecked",
           "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between 1 and "
           "14.\tok",
           "control\t1010\tradio\t1\t0\tPermit &Blank Password",
           "control\t1011\tradio\t1\t1\tAt &Least", "control\t1012\tedit\t1\t-\t8"}));
}

// The same actions give the same notifications, keys and scrolls on every backend.
TEST(BackendParity, NotificationsMatchTheHeadlessBackend) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  const std::string script =
      "dialog 138\n"
      "select 1016 m3\n"
      "key 1016 Down\n"
      "key 1016 End\n"
      "key 1016 Home\n"
      "scroll 1016 linedown\n"
      "scroll 1016 endscroll\n"
      "select 1017 o1\n"
      "unselect 1017\n"
      "select 1017 o2\n"
      "select 1017 o3\n"
      "dblclick 1016 m1\n"
      "click 1019\n"
      "dump\n"
      "escape\n";
  std::vector<std::vector<std::string>> logs;
  std::vector<std::vector<std::string>> transcripts;
  for (const char* backend : {"headless", "qt"}) {
    Recording<ChooserDialog> dialog;
    for (int i = 0; i < 30; ++i) dialog.members_.push_back("m" + std::to_string(i));
    dialog.others_ = {"o1", "o2", "o3"};
    transcripts.push_back(
        MakeUiDriver(backend)->Run(ScriptActions(script), [&] { dialog.DoModal(); }));
    logs.push_back(dialog.log);
  }
  EXPECT_THAT(logs[1], ElementsAreArray(logs[0]));
  EXPECT_THAT(transcripts[1], ElementsAreArray(transcripts[0]));
  EXPECT_THAT(logs[0], ::testing::Contains("1016 key 2"));  // End
  EXPECT_THAT(logs[0], ::testing::Contains("1016 scroll 1"));
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendTest, ::testing::Values("headless", "qt"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace talmor::testing

namespace talmor::testing {
namespace {

// Every template renders on Qt: each control with its id, kind, text, enabled state and its
// dialog-unit rectangle mapped with the template font's base units.
TEST(QtRendering, EveryTemplateShowsItsControlsWhereTheTemplateSays) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  for (const DialogTemplate& t : AllDialogTemplates()) {
    SCOPED_TRACE("dialog " + std::to_string(t.id));
    Size base = QtFontBaseUnits(t.font_name, t.font_size);
    ASSERT_GT(base.cx, 3);
    ASSERT_GT(base.cy, 8);
    int checked = 0;
    Dialog dialog(t.id);
    MakeUiDriver("qt")->Run(
        [&](Dialog* d) -> std::optional<std::string> {
          if (d != &dialog || checked++ > 0) return std::nullopt;
          auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
          EXPECT_NE(window, nullptr);
          if (window == nullptr) return std::nullopt;
          EXPECT_EQ(window->windowTitle().toStdString(), t.caption);
          EXPECT_EQ(window->palette().color(QPalette::Window), QColor(192, 192, 192));
          EXPECT_EQ(window->palette().color(QPalette::WindowText), QColor(0, 0, 0));
          QWidget* client = window->findChild<QWidget*>("client");
          Rect whole = MapDialogRect({0, 0, t.cx, t.cy}, base);
          EXPECT_EQ(client->size(), QSize(whole.width(), whole.height()));
          EXPECT_EQ(dialog.GetClientSize(), (Size{whole.width(), whole.height()}));
          std::map<int, QWidget*> by_index;
          for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->property("talmorIndex").isValid())
              by_index[w->property("talmorIndex").toInt()] = w;
          }
          EXPECT_EQ(by_index.size(), t.controls.size());
          for (size_t i = 0; i < t.controls.size(); ++i) {
            const ControlTemplate& c = t.controls[i];
            QWidget* w = by_index[static_cast<int>(i)];
            SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
            if (w == nullptr) {
              ADD_FAILURE() << "missing";
              continue;
            }
            if (c.id != kIdStatic) {
              EXPECT_EQ(w->objectName(), "control-" + QString::number(c.id));
              EXPECT_EQ(dialog.Item(c.id)->kind(), c.kind);
            }
            EXPECT_EQ(w->isEnabled(), (c.style & kWsDisabled) == 0);
            EXPECT_EQ(w->isHidden(), (c.style & kWsVisible) == 0);
            Rect r = MapDialogRect(c.rect, base);
            QRect g = w->geometry();
            EXPECT_EQ(g.topLeft(), QPoint(r.left, r.top));
            EXPECT_EQ(g.width(), r.width());
            if (c.kind == ControlKind::kComboBox) {
              EXPECT_LE(g.height(), r.height());  // closed; the list drops below
            } else {
              EXPECT_EQ(g.height(), r.height());
            }
            switch (c.kind) {
              case ControlKind::kEdit:
                if (auto* line = qobject_cast<QLineEdit*>(w)) {
                  EXPECT_EQ(line->text().toStdString(), c.text);
                  EXPECT_EQ(line->echoMode() == QLineEdit::Password, (c.style & kEsPassword) != 0);
                  EXPECT_EQ(line->isReadOnly(), (c.style & kEsReadOnly) != 0);
                } else {
                  EXPECT_TRUE(w->inherits("QPlainTextEdit"));
                  EXPECT_NE(c.style & kEsMultiLine, 0u);
                }
                break;
              case ControlKind::kStatic:
                EXPECT_TRUE(w->inherits("QLabel"));
                EXPECT_EQ(w->property("talmorText").toString().toStdString(), c.text);
                break;
              case ControlKind::kIcon:
                EXPECT_TRUE(w->inherits("QLabel") && !static_cast<QLabel*>(w)->pixmap().isNull());
                break;
              case ControlKind::kPushButton:
                if (auto* b = qobject_cast<QPushButton*>(w)) {
                  EXPECT_EQ(b->text().toStdString(), c.text);
                  EXPECT_EQ(b->isDefault(), (c.style & 0xF) == kBsDefPushButton);
                } else {
                  ADD_FAILURE() << "not a push button";
                }
                break;
              case ControlKind::kCheckBox:
                EXPECT_TRUE(w->inherits("QCheckBox"));
                break;
              case ControlKind::kRadioButton:
                EXPECT_TRUE(w->inherits("QRadioButton"));
                break;
              case ControlKind::kGroupBox:
                EXPECT_TRUE(w->inherits("QGroupBox"));
                break;
              case ControlKind::kListBox:
                EXPECT_TRUE(w->inherits("QListView"));
                break;
              case ControlKind::kComboBox:
                EXPECT_TRUE(w->inherits("QComboBox"));
                break;
            }
          }
          if (t.menu != 0) {
            EXPECT_NE(window->findChild<QWidget*>("menu"), nullptr);
          }
          return std::nullopt;
        },
        [&] { EXPECT_EQ(dialog.DoModal(), kIdCancel); });
    EXPECT_GE(checked, 1);
  }
}

// The viewer's menu: items carry the template's check marks, a chosen item reaches the dialog
// once and its mark stays the dialog's to change; list tab stops and owner windows.
TEST(QtRendering, MenuChecksOwnersAndListMeasures) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  Recording<Dialog> viewer(kIddAuditLogViewer);
  WindowHandle viewer_handle = nullptr;
  int step = 0;
  auto transcript = MakeUiDriver("qt")->Run(
      [&](Dialog* d) -> std::optional<std::string> {
        if (d == nullptr) return std::nullopt;
        switch (step++) {
          case 0:
            viewer_handle = d->handle();
            EXPECT_EQ(QWidget::find(reinterpret_cast<WId>(viewer_handle)),
                      QApplication::activeModalWidget());
            EXPECT_EQ(d->IsMenuItemChecked(kIdmNewestFirst), 0);
            EXPECT_EQ(d->IsMenuItemChecked(kIdmOldestFirst), 0);
            EXPECT_EQ(d->IsMenuItemChecked(12345), -1);
            return "menu " + std::to_string(kIdmNewestFirst);
          case 1: {
            // The mark did not move by itself, in the dialog's state nor on screen.
            EXPECT_EQ(d->IsMenuItemChecked(kIdmNewestFirst), 0);
            EXPECT_FALSE(QApplication::activeModalWidget()
                             ->findChild<QAction*>("menu-" + QString::number(kIdmNewestFirst))
                             ->isChecked());
            EXPECT_TRUE(d->CheckMenuItem(kIdmOldestFirst, true));
            EXPECT_EQ(d->IsMenuItemChecked(kIdmOldestFirst), 1);
            EXPECT_TRUE(d->EnableMenuItem(kIdmRefresh, false));
            Control* list = d->Item(audit_log_viewer_ids::kList);
            for (int i = 0; i < 200; ++i) list->AddString("entry\t" + std::to_string(i));
            EXPECT_GT(list->GetItemHeight(), 8);
            EXPECT_GT(list->TextWidth("WWWW"), list->TextWidth("iiii"));
            EXPECT_TRUE(list->SetTabStops({40, 80}));
            EXPECT_EQ(list->GetVerticalScroll().max, 199);
            return "menu " + std::to_string(kIdmRefresh);
          }
          case 2:
            return "scroll " + std::to_string(audit_log_viewer_ids::kList) + " pagedown";
          case 3:
            EXPECT_GT(d->Item(audit_log_viewer_ids::kList)->GetTopIndex(), 0);
            return "escape";
          default:
            return std::nullopt;
        }
      },
      [&] { viewer.DoModal(); });
  EXPECT_THAT(transcript, ::testing::Contains("error\tmenu item " + std::to_string(kIdmRefresh) +
                                              " is disabled"));
  EXPECT_THAT(viewer.log, ::testing::Contains(std::to_string(kIdmNewestFirst) + " menu"));
  EXPECT_THAT(viewer.log,
              ::testing::Contains(std::to_string(audit_log_viewer_ids::kList) + " scroll " +
                                  std::to_string(static_cast<int>(ScrollCode::kPageDown))));
}

// A nested dialog is a child window of its owner's.
TEST(QtRendering, NestedDialogIsAChildOfItsOwner) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  QWidget* outer = nullptr;
  QWidget* inner_parent = nullptr;
  GroupDialog dialog;
  MakeUiDriver("qt")->Run(
      [&](Dialog* d) -> std::optional<std::string> {
        if (d == &dialog && outer == nullptr) {
          outer = QApplication::activeModalWidget();
          return "click 1004";
        }
        if (d != nullptr && d != &dialog && inner_parent == nullptr) {
          inner_parent = QApplication::activeModalWidget()->parentWidget();
        }
        return std::nullopt;
      },
      [&] { dialog.DoModal(); });
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(inner_parent, outer);
}

// Without a display the backend is never chosen and never starts Qt (which would abort).
TEST(QtDisplayDeathTest, WithoutADisplayTheHeadlessBackendIsChosen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("TALMOR_UI");
        ::setenv("DISPLAY", ":987", 1);
        bool x = QtBackend::DisplayAvailable();
        ::setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
        bool named = QtBackend::DisplayAvailable();
        ::unsetenv("QT_QPA_PLATFORM");
        std::string chosen = ActiveBackend().Name();
        QtBackend qt;  // made anyway: answers without Qt
        int answer = qt.ShowMessageBox(nullptr, "T", "C", kMbYesNo);
        Dialog dialog(kIddLogon);
        ScopedBackend use(qt);
        int result = dialog.DoModal();
        std::exit(!x && !named && chosen == "headless" && answer == kIdNo && result == -1 &&
                          QCoreApplication::instance() == nullptr
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A display counts when its server accepts a connection: a listening socket where an X server's
// would be is enough, and nothing of Qt starts to find out.
TEST(QtDisplayDeathTest, ALocalDisplayCountsWhenItsSocketAnswers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("WAYLAND_DISPLAY");
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(40000 + ::getpid() % 20000);
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + 1, path.data(), path.size());  // abstract, as X servers do
        socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        bool listening =
            ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd, 4) == 0;
        std::string display = ":" + path.substr(path.rfind('X') + 1);
        ::setenv("DISPLAY", (display + ".0").c_str(), 1);
        bool answers = QtBackend::DisplayAvailable();
        ::close(fd);
        bool after_close = QtBackend::DisplayAvailable();
        ::setenv("DISPLAY", "not a display", 1);
        bool garbage = QtBackend::DisplayAvailable();
        std::exit(listening && answers && !after_close && !garbage &&
                          QCoreApplication::instance() == nullptr
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace talmor::testing
