#include "ui/headless_script.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ui/headless_backend.h"

namespace talmor {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseInt(std::string_view word, int* value) {
  if (word.empty()) return false;
  size_t i = word[0] == '-' ? 1 : 0;
  if (i == word.size()) return false;
  long long v = 0;
  for (; i < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return false;
    v = v * 10 + (word[i] - '0');
    if (v > 0x7FFFFFFF) return false;
  }
  *value = static_cast<int>(word[0] == '-' ? -v : v);
  return true;
}

// Splits off the next blank-separated word.
std::string_view NextWord(std::string_view& rest) {
  size_t start = rest.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  size_t end = rest.find_first_of(" \t", start);
  std::string_view word =
      rest.substr(start, end == std::string_view::npos ? rest.npos : end - start);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  return word;
}

bool OnlyComment(std::string_view rest) {
  size_t k = rest.find_first_not_of(" \t");
  return k == std::string_view::npos || rest[k] == '#';
}

// The reason only, never the line's text: a mistyped line may hold a password, and the reason
// ends up in the transcript.
Action Invalid(const char* why) {
  Action a;
  a.kind = ActionKind::kInvalid;
  a.text = why;
  return a;
}

}  // namespace

std::string UnescapeScriptText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    char e = text[++i];
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      case 'x':
        if (i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
          out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
          i += 2;
        } else {
          out += "\\x";
        }
        break;
      default:
        out += '\\';
        out += e;
    }
  }
  return out;
}

std::string EscapeTranscriptText(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          out += "\\x";
          out += kHex[u >> 4];
          out += kHex[u & 0xF];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::optional<Action> ParseScriptLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::string_view rest = line;
  std::string_view verb = NextWord(rest);
  if (verb.empty() || verb[0] == '#') return std::nullopt;

  struct Verb {
    const char* name;
    ActionKind kind;
    int ints;   // integer arguments
    bool text;  // a text argument follows
    bool word;  // a word argument follows (key, scroll code, answer)
  };
  static const Verb kVerbs[] = {
      {"dialog", ActionKind::kDialog, 1, false, false},
      {"type", ActionKind::kType, 1, true, false},
      {"click", ActionKind::kClick, 1, false, false},
      {"check", ActionKind::kCheck, 1, false, false},
      {"uncheck", ActionKind::kUncheck, 1, false, false},
      {"select", ActionKind::kSelect, 1, true, false},
      {"unselect", ActionKind::kUnselect, 1, false, false},
      {"dblclick", ActionKind::kDblClick, 1, true, false},
      {"menu", ActionKind::kMenu, 1, false, false},
      {"key", ActionKind::kKey, 1, false, true},
      {"scroll", ActionKind::kScroll, 1, false, true},
      {"resize", ActionKind::kResize, 2, false, false},
      {"escape", ActionKind::kEscape, 0, false, false},
      {"close", ActionKind::kClose, 0, false, false},
      {"dump", ActionKind::kDump, 0, false, false},
      {"enter", ActionKind::kEnter, 0, false, false},
      {"answer", ActionKind::kAnswer, 0, false, true},
  };
  const Verb* v = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (verb == candidate.name) v = &candidate;
  }
  if (v == nullptr) return Invalid("unknown action");

  Action a;
  a.kind = v->kind;
  for (int k = 0; k < v->ints; ++k) {
    int value = 0;
    if (!ParseInt(NextWord(rest), &value)) return Invalid("bad number");
    if (k == 0) {
      a.id = value;
    } else {
      a.height = value;
    }
  }
  if (v->text) {
    // One separating blank, then the rest of the line verbatim.
    if (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t')) rest.remove_prefix(1);
    a.text = UnescapeScriptText(rest);
    return a;
  }
  if (v->word) {
    a.text = std::string(NextWord(rest));
    Key key;
    ScrollCode code;
    const std::string& w = a.text;
    const bool known = v->kind == ActionKind::kKey ? ParseKey(w, &key)
                       : v->kind == ActionKind::kScroll
                           ? ParseScroll(w, &code)
                           : w == "ok" || w == "cancel" || w == "yes" || w == "no";
    if (!known) return Invalid("unknown argument");
  }
  if (!OnlyComment(rest)) return Invalid("unexpected text");
  return a;
}

std::unique_ptr<ScriptOperator> ScriptOperator::FromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::ostringstream content;
  content << in.rdbuf();
  return std::make_unique<ScriptOperator>(content.str());
}

void ScriptOperator::AddScript(std::string_view script) {
  while (!script.empty()) {
    size_t end = script.find('\n');
    std::string_view line = script.substr(0, end);
    ++lines_;
    if (auto action = ParseScriptLine(line)) {
      if (action->kind == ActionKind::kInvalid) {
        action->text = "line " + std::to_string(lines_) + ": " + action->text;
      }
      actions_.push_back(std::move(*action));
    }
    if (end == std::string_view::npos) break;
    script.remove_prefix(end + 1);
  }
}

const Action* ScriptOperator::Peek() {
  return next_ < actions_.size() ? &actions_[next_] : nullptr;
}

void ScriptOperator::Pop() {
  if (next_ < actions_.size()) ++next_;
}

const Action* FunctionOperator::Peek() {
  while (!pending_) {
    std::optional<std::string> line = next_(HeadlessBackend::InnermostDialog());
    if (!line) break;
    pending_ = ParseScriptLine(*line);
  }
  return pending_ ? &*pending_ : nullptr;
}

bool ParseKey(const std::string& word, Key* key, unsigned* modifiers) {
  static const std::pair<const char*, Key> kKeys[] = {
      {"Down", Key::kDown},  {"PageDown", Key::kPageDown}, {"End", Key::kEnd},
      {"Up", Key::kUp},      {"PageUp", Key::kPageUp},     {"Home", Key::kHome},
      {"Left", Key::kLeft},  {"Right", Key::kRight},       {"Enter", Key::kEnter},
      {"Space", Key::kSpace}};
  std::string_view rest = word;
  unsigned mods = 0;
  for (bool more = true; more;) {
    more = false;
    for (auto [prefix, bit] : {std::pair{"Shift+", kKeyShift}, std::pair{"Ctrl+", kKeyCtrl}}) {
      if (rest.starts_with(prefix)) {
        rest.remove_prefix(std::string_view(prefix).size());
        mods |= bit;
        more = true;
      }
    }
  }
  for (auto& [name, k] : kKeys) {
    if (rest == name) {
      *key = k;
      if (modifiers != nullptr) *modifiers = mods;
      return true;
    }
  }
  return false;
}

bool ParseScroll(const std::string& word, ScrollCode* code) {
  static const std::pair<const char*, ScrollCode> kCodes[] = {{"linedown", ScrollCode::kLineDown},
                                                              {"pagedown", ScrollCode::kPageDown},
                                                              {"bottom", ScrollCode::kBottom},
                                                              {"endscroll", ScrollCode::kEndScroll},
                                                              {"lineup", ScrollCode::kLineUp},
                                                              {"pageup", ScrollCode::kPageUp},
                                                              {"top", ScrollCode::kTop}};
  for (auto& [name, c] : kCodes) {
    if (word == name) {
      *code = c;
      return true;
    }
  }
  return false;
}

}  // namespace talmor
