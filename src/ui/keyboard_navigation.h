#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "ui/geometry.h"

// The keyboard interface of the platform's dialogs: where Tab, Shift+Tab, a mnemonic and an
// arrow key on a radio button lead. It decides over a dialog's controls in template order; the
// backend moves the focus and clicks where it answers. Indexes are into that order.

namespace talmor {

class ControlPeer;
class Dialog;

// The character after the "&" marker of `text`, upper-cased; 0 when it has none ("&&" is a
// literal "&").
int MnemonicOf(std::string_view text);

class KeyboardNavigation {
 public:
  KeyboardNavigation(const Dialog& dialog, std::vector<const ControlPeer*> controls)
      : dialog_(dialog), controls_(std::move(controls)) {}

  int IndexOf(int id) const;  // -1 for none or kIdStatic
  // The control that takes the focus when control `index` is reached as a tab stop; -1 when it
  // is no stop. Stops are enabled, visible tab-stop controls that can hold the focus; a radio
  // group is one stop, at its first button, when any of its buttons is a tab stop, and is
  // entered at its checked button, else its first tab stop, else its first button.
  int StopTarget(int index) const;
  // The first stop after (or before) control `from` (-1: before the first), wrapping; -1: none.
  int NextStop(int from, bool forward) const;
  // Tab (forward) or Shift+Tab with control `focus_id` focused; from inside a radio group the
  // group is the stop just left.
  int TabTarget(int focus_id, bool forward) const;
  // Alt+`key` (upper case): the first enabled, visible static, group box or button after the
  // focus whose mnemonic is `key`; -1 for none. A static or group box sends the focus on to
  // NextStop from it; a button is clicked.
  int MnemonicTarget(int focus_id, int key) const;
  bool IsLabel(int index) const;
  // An arrow key on radio button `id`: the next (Down, Right) or previous (Up, Left) enabled,
  // visible button of its group, wrapping; -1 when it is alone; nullopt for any other key.
  std::optional<int> RadioArrowTarget(int id, Key key) const;

 private:
  const Dialog& dialog_;
  std::vector<const ControlPeer*> controls_;
};

}  // namespace talmor
