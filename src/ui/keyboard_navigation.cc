#include "ui/keyboard_navigation.h"

#include <algorithm>
#include <cctype>

#include "ui/backend.h"
#include "ui/dialog.h"

namespace talmor {
namespace {

// Wraps `i` into 0..n-1.
int Wrap(int i, int n) { return (i % n + n) % n; }

bool Focusable(const ControlPeer& c) {
  const ControlKind kind = c.Template().kind;
  return c.Template().id != kIdStatic && kind != ControlKind::kStatic &&
         kind != ControlKind::kIcon && kind != ControlKind::kGroupBox && c.IsEnabled() &&
         c.IsVisible();
}

}  // namespace

int MnemonicOf(std::string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return std::toupper(static_cast<unsigned char>(text[i + 1]));
  }
  return 0;
}

int KeyboardNavigation::IndexOf(int id) const {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (id != kIdStatic && controls_[i]->Template().id == id) return static_cast<int>(i);
  }
  return -1;
}

int KeyboardNavigation::StopTarget(int index) const {
  const ControlPeer& c = *controls_[index];
  const ControlTemplate& t = c.Template();
  if (t.kind != ControlKind::kRadioButton) {
    return (t.style & kWsTabStop) && Focusable(c) ? index : -1;
  }
  if (dialog_.RadioGroupStart(t.id) != t.id) return -1;
  int checked = -1, tab_stop = -1, first = -1;
  bool any_tab_stop = false;
  for (int id : dialog_.RadioGroup(t.id)) {
    const int i = IndexOf(id);
    if (i < 0) continue;
    const ControlPeer& member = *controls_[i];
    const bool stop = (member.Template().style & kWsTabStop) != 0;
    any_tab_stop = any_tab_stop || stop;
    if (!Focusable(member)) continue;
    if (first < 0) first = i;
    if (tab_stop < 0 && stop) tab_stop = i;
    if (checked < 0 && member.GetCheck() == kChecked) checked = i;
  }
  if (!any_tab_stop) return -1;
  return checked >= 0 ? checked : tab_stop >= 0 ? tab_stop : first;
}

int KeyboardNavigation::NextStop(int from, bool forward) const {
  const int n = static_cast<int>(controls_.size());
  if (from < 0) from = forward ? -1 : n;
  for (int k = 1; k <= n; ++k) {
    if (int target = StopTarget(Wrap(forward ? from + k : from - k, n)); target >= 0) return target;
  }
  return -1;
}

int KeyboardNavigation::TabTarget(int focus_id, bool forward) const {
  int from = IndexOf(focus_id);
  if (from >= 0 && controls_[from]->Template().kind == ControlKind::kRadioButton) {
    from = IndexOf(dialog_.RadioGroupStart(focus_id));
  }
  return NextStop(from, forward);
}

bool KeyboardNavigation::IsLabel(int index) const {
  const ControlKind kind = controls_[index]->Template().kind;
  return kind == ControlKind::kStatic || kind == ControlKind::kGroupBox;
}

int KeyboardNavigation::MnemonicTarget(int focus_id, int key) const {
  const int n = static_cast<int>(controls_.size());
  const int from = IndexOf(focus_id);
  for (int k = 1; k <= n; ++k) {
    const int i = Wrap(from + k, n);
    const ControlPeer& c = *controls_[i];
    const ControlKind kind = c.Template().kind;
    const bool button = kind == ControlKind::kPushButton || kind == ControlKind::kCheckBox ||
                        kind == ControlKind::kRadioButton;
    if ((button || IsLabel(i)) && c.IsEnabled() && c.IsVisible() && MnemonicOf(c.GetText()) == key)
      return i;
  }
  return -1;
}

std::optional<int> KeyboardNavigation::RadioArrowTarget(int id, Key key) const {
  bool forward;
  switch (key) {
    case Key::kDown:
    case Key::kRight:
      forward = true;
      break;
    case Key::kUp:
    case Key::kLeft:
      forward = false;
      break;
    default:
      return std::nullopt;
  }
  const std::vector<int> group = dialog_.RadioGroup(dialog_.RadioGroupStart(id));
  const int n = static_cast<int>(group.size());
  const int at = static_cast<int>(std::find(group.begin(), group.end(), id) - group.begin());
  for (int k = 1; k < n; ++k) {
    const int i = IndexOf(group[Wrap(forward ? at + k : at - k, n)]);
    if (i >= 0 && controls_[i]->IsEnabled() && controls_[i]->IsVisible()) return i;
  }
  return -1;
}

}  // namespace talmor
