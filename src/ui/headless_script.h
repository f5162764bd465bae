#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/geometry.h"

// The operator of the headless backend: where its user actions come from, and where its
// transcript lines go.
//
// Script (TALMOR_UI_SCRIPT=<file>): one action a line. A line whose first non-blank character is
// '#' is a comment; so is a '#' after the arguments of an action without a text argument. A text
// argument is the rest of the line after one space, with the escapes \n \r \t \\ \xHH.
//   dialog <template id>            expected when the next dialog is shown
//   type <id> <text>                replace an edit's text (cut to its limit)
//   click <id>  check <id>  uncheck <id>
//   select <id> <text>  unselect <id>  dblclick <id> <text>
//   menu <id>
//   key <id> Down|PageDown|End|Up|PageUp|Home|Left|Right|Enter|Space, after any Shift+ or Ctrl+
//   scroll <id> linedown|pagedown|bottom|endscroll|lineup|pageup|top
//   resize <w> <h>  escape  close  dump
//   enter                           the Enter key: clicks the default push button
//   answer ok|cancel|yes|no         answers a message box
// Transcript (TALMOR_UI_TRANSCRIPT=<file>, appended): tab-separated fields, texts escaped as in
// the script (other control bytes as \xHH with upper-case digits).

namespace talmor {

enum class ActionKind {
  kDialog,
  kType,
  kClick,
  kCheck,
  kUncheck,
  kSelect,
  kUnselect,
  kDblClick,
  kMenu,
  kKey,
  kScroll,
  kResize,
  kEscape,
  kClose,
  kDump,
  kAnswer,
  kEnter,
  kInvalid,  // a line that could not be read; `text` says why
};

struct Action {
  ActionKind kind = ActionKind::kInvalid;
  int id = 0;
  int height = 0;    // resize
  std::string text;  // text argument, key or scroll name, answer, or the problem
};

// Parses one script line; nullopt for blank and comment lines. A line that cannot be read gives
// kInvalid with the reason alone: none of the line's text is repeated.
std::optional<Action> ParseScriptLine(std::string_view line);
std::string UnescapeScriptText(std::string_view text);
std::string EscapeTranscriptText(std::string_view text);
// The words of `key` and `scroll` actions; false for an unknown word.
// A key name, after any "Shift+" and "Ctrl+" prefixes (kKeyShift, kKeyCtrl in `modifiers`).
bool ParseKey(const std::string& word, Key* key, unsigned* modifiers = nullptr);
bool ParseScroll(const std::string& word, ScrollCode* code);

class Operator {
 public:
  virtual ~Operator() = default;
  // The next action without consuming it; null when there is none.
  virtual const Action* Peek() = 0;
  virtual void Pop() = 0;
  // Every transcript line, without its line end.
  virtual void Record(const std::string& line) { (void)line; }
};

// Actions from script text, consumed in order. Keeps the transcript lines it receives.
class ScriptOperator : public Operator {
 public:
  ScriptOperator() = default;
  explicit ScriptOperator(std::string_view script) { AddScript(script); }
  static std::unique_ptr<ScriptOperator> FromFile(const std::string& path);

  void AddScript(std::string_view script);
  const Action* Peek() override;
  void Pop() override;
  void Record(const std::string& line) override { transcript_.push_back(line); }

  const std::vector<std::string>& transcript() const { return transcript_; }
  size_t remaining() const { return actions_.size() - next_; }

 private:
  std::vector<Action> actions_;
  size_t next_ = 0;
  size_t lines_ = 0;  // script lines read so far, for the line numbers of errors
  std::vector<std::string> transcript_;
};

class Dialog;

// Actions made on demand: `next` is asked with the innermost open dialog (null while a message
// box looks for an `answer`) and gives a script line, or nullopt for none now (a dialog is then
// cancelled, a message box takes its default; `next` is asked again later).
class FunctionOperator : public Operator {
 public:
  using Next = std::function<std::optional<std::string>(Dialog* innermost)>;
  explicit FunctionOperator(Next next) : next_(std::move(next)) {}
  const Action* Peek() override;
  void Pop() override { pending_.reset(); }
  void Record(const std::string& line) override { transcript_.push_back(line); }
  const std::vector<std::string>& transcript() const { return transcript_; }

 private:
  Next next_;
  std::optional<Action> pending_;
  std::vector<std::string> transcript_;
};

}  // namespace talmor
