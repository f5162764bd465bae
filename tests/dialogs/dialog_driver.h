#pragma once

#include <deque>
#include <functional>
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

// Drives the dialog scenarios on one user-interface backend. A scenario is a list of steps:
// operator actions in the headless script language, and probes that look at the innermost open
// dialog when the operator reaches them. Every operator call of the dialog tests goes through
// here, so that another backend is one more driver and one more name in DriverBackends().
namespace talmor::testing {

struct Step {
  std::string line;                    // an operator action, when `probe` is empty
  std::function<void(Dialog&)> probe;  // runs against the innermost open dialog
};

// Script lines, one step each.
inline std::vector<Step> Script(const std::string& text) {
  std::vector<Step> steps;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) steps.push_back(Step{line, {}});
  }
  return steps;
}
inline Step Probe(std::function<void(Dialog&)> probe) { return Step{{}, std::move(probe)}; }

// Steps joined in order.
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
  // Runs `body` (which shows dialogs) with `steps` as the operator.
  virtual RunResult Run(std::vector<Step> steps, const std::function<void()>& body) = 0;
};

class HeadlessDriver : public UiDriver {
 public:
  RunResult Run(std::vector<Step> steps, const std::function<void()>& body) override {
    std::deque<Step> queue(steps.begin(), steps.end());
    FunctionOperator op([&queue](Dialog* innermost) -> std::optional<std::string> {
      while (!queue.empty() && queue.front().probe) {
        if (innermost == nullptr) return std::nullopt;  // a message box takes its default
        Step probe = std::move(queue.front());
        queue.pop_front();
        probe.probe(*innermost);
      }
      if (queue.empty()) return std::nullopt;
      std::string line = queue.front().line;
      queue.pop_front();
      return line;
    });
    HeadlessBackend backend;
    ScopedBackend scoped_backend(backend);
    ScopedOperator scoped_operator(op);
    body();
    return RunResult{op.transcript(), queue.size()};
  }
};

inline std::vector<std::string> DriverBackends() { return {"headless"}; }

inline std::unique_ptr<UiDriver> MakeDriver(const std::string& backend) {
  if (backend == "headless") return std::make_unique<HeadlessDriver>();
  return nullptr;
}

// The texts of a list or combo box, in list order.
inline std::vector<std::string> Entries(Control* list) {
  std::vector<std::string> texts;
  if (list == nullptr) return texts;
  for (int i = 0; i < list->GetCount(); ++i) texts.push_back(list->GetText(i));
  return texts;
}

// The texts of the selected entries of an extended-selection list, in list order.
inline std::vector<std::string> SelectedEntries(Control* list) {
  std::vector<std::string> texts;
  if (list == nullptr) return texts;
  for (int index : list->GetSelItems()) texts.push_back(list->GetText(index));
  return texts;
}

// The transcript line of a stop box with OK, as the operator answers it.
inline std::string StopBox(const std::string& caption, const std::string& text) {
  return "msgbox\tstop\tok\t" + EscapeTranscriptText(caption) + "\t" + EscapeTranscriptText(text) +
         "\tok";
}

}  // namespace talmor::testing
