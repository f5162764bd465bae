// Operator scripts of arbitrary text: every line parsed, the actions consumed in order; and the
// transcript escaping undone by the script unescaping for any text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "ui/headless_script.h"

using namespace talmor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ScriptOperator op(text);
  size_t consumed = 0;
  for (const Action* a = op.Peek(); a != nullptr; a = op.Peek()) {
    if (a->kind == ActionKind::kInvalid && a->text.empty()) fuzz::Fail("no reason given");
    op.Pop();
    ++consumed;
  }
  if (op.remaining() != 0) fuzz::Fail("actions left after consuming all");
  if (consumed > size) fuzz::Fail("more actions than bytes");

  const std::string escaped = EscapeTranscriptText(text);
  if (escaped.find_first_of("\r\n\t") != std::string::npos) fuzz::Fail("escaping left breaks");
  if (UnescapeScriptText(escaped) != text) fuzz::Fail("escaping did not undo");

  // A text argument carries any text through its escapes.
  const auto action = ParseScriptLine("type 7 " + escaped);
  if (!action || action->kind != ActionKind::kType || action->id != 7 || action->text != text) {
    fuzz::Fail("a typed text did not come through");
  }
  return 0;
}
