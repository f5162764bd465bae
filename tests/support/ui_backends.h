#pragma once

// One scripted operator for every dialog backend. A scenario is a list of steps: operator
// actions in the script language of ui/headless_script.h, and probes that look at the innermost
// open dialog when the operator reaches them (a probe waits while a message box is open; the box
// takes its default unless an `answer` line comes first):
//
//   RunResult run = driver.Run(Steps({Script("dialog 130\ntype 1000 ann"),
//                                     Steps(Probe([&](Dialog& d) { ... })), Script("enter")}),
//                              [&] { result = dialog.DoModal(); });
//
// Each backend has one driver behind UiDriver: headless runs the framework's own operator, Qt
// (ui_qt_driver.h) performs each action on the real widgets and writes the same transcript.
// UiBackendTest runs a suite once per backend under test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/headless_backend.h"
#include "ui/headless_script.h"

namespace talmor::testing {

// Asked for the next script line with the innermost open dialog (null while a message box
// looks for an `answer`); nullopt when there is none.
using NextAction = std::function<std::optional<std::string>(Dialog* innermost)>;

struct Step {
  std::string line;                    // an operator action, when `probe` is empty
  std::function<void(Dialog&)> probe;  // runs against the innermost open dialog
};

// Script lines, one step each; blank lines and comments are skipped.
inline std::vector<Step> Script(const std::string& text) {
  std::vector<Step> steps;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (ParseScriptLine(line)) steps.push_back(Step{line, {}});
  }
  return steps;
}
inline Step Probe(std::function<void(Dialog&)> probe) { return Step{{}, std::move(probe)}; }
inline std::vector<Step> Steps(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
inline std::vector<Step> Steps(Step step) { return {std::move(step)}; }

struct RunResult {
  std::vector<std::string> transcript;
  size_t steps_left = 0;  // steps the dialogs never asked for
};

class UiDriver {
 public:
  virtual ~UiDriver() = default;
  // Runs `body` (which opens dialogs) with `steps` as the operator.
  RunResult Run(std::vector<Step> steps, const std::function<void()>& body) {
    auto queue = std::make_shared<std::deque<Step>>(std::make_move_iterator(steps.begin()),
                                                    std::make_move_iterator(steps.end()));
    NextAction next = [queue](Dialog* innermost) -> std::optional<std::string> {
      while (!queue->empty() && queue->front().probe) {
        if (innermost == nullptr) return std::nullopt;
        Step probe = std::move(queue->front());
        queue->pop_front();
        probe.probe(*innermost);
      }
      if (queue->empty()) return std::nullopt;
      std::string line = std::move(queue->front().line);
      queue->pop_front();
      return line;
    };
    RunResult result;
    result.transcript = Drive(std::move(next), body);
    result.steps_left = queue->size();
    return result;
  }

 protected:
  virtual std::vector<std::string> Drive(NextAction next, const std::function<void()>& body) = 0;
};

class HeadlessDriver : public UiDriver {
 protected:
  std::vector<std::string> Drive(NextAction next, const std::function<void()>& body) override {
    FunctionOperator op(std::move(next));
    ScopedOperator scoped(op);
    ScopedBackend use(backend_);
    body();
    return op.transcript();
  }

 private:
  HeadlessBackend backend_;
};

}  // namespace talmor::testing

#ifdef TALMOR_WITH_QT
#include "support/ui_qt_driver.h"
#endif

namespace talmor::testing {

// A suite run once per backend: INSTANTIATE_TEST_SUITE_P(Backends, Suite, UiBackendRows(),
// UiBackendName). A parameter "BACKEND:ROW" names the backend and one row of a suite's own. Qt
// runs off screen unless the environment names a platform; its rows are skipped where it cannot
// start (decided before anything starts Qt).
inline auto UiBackendRows() { return ::testing::Values("headless", "qt"); }
inline std::string UiBackendName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}
class UiBackendTest : public ::testing::TestWithParam<std::string> {
 protected:
  static std::string Backend() { return GetParam().substr(0, GetParam().find(':')); }
  void SetUp() override {
    if (Backend() != "qt") return;
#ifdef TALMOR_WITH_QT
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (QtBackend::DisplayAvailable()) return (void)(driver_ = std::make_unique<QtDriver>());
#endif
    GTEST_SKIP() << "qt cannot start here";
  }
  RunResult Run(std::vector<Step> steps, const std::function<void()>& body) {
    return driver_->Run(std::move(steps), body);
  }
  std::unique_ptr<UiDriver> driver_ = std::make_unique<HeadlessDriver>();
};

// The transcript line of a message box as the operator answers it.
inline std::string BoxLine(const std::string& icon, const std::string& buttons,
                           const std::string& caption, const std::string& text,
                           const std::string& answer = "ok") {
  return "msgbox\t" + icon + "\t" + buttons + "\t" + EscapeTranscriptText(caption) + "\t" +
         EscapeTranscriptText(text) + "\t" + answer;
}

}  // namespace talmor::testing
