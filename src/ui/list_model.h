#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/geometry.h"

// The entries and selection of a list box or a combo box's list, with the familiar semantics:
// indexes from 0, -1 (kListError) for failures, sorted lists keep entries in order ignoring
// case, single-selection lists have at most one selected entry (the current selection),
// extended-selection lists any number plus a caret. Backends without a native list can keep
// their state here; the headless backend does.

namespace talmor {

inline constexpr int kListError = -1;

class ListModel {
 public:
  ListModel(bool sorted, bool multiple_selection)
      : sorted_(sorted), multiple_(multiple_selection) {}
  // The list of a list box or combo box as its style says; none for other controls.
  static std::optional<ListModel> For(const ControlTemplate& t);

  bool sorted() const { return sorted_; }
  bool multiple_selection() const { return multiple_; }

  int Add(std::string_view text);                // index of the new entry
  int Insert(int index, std::string_view text);  // -1 appends; never sorts
  int Delete(int index);                         // count left, or kListError
  void Reset();
  int Count() const { return static_cast<int>(entries_.size()); }
  int Text(int index, std::string* text) const;  // length, or kListError
  int SetData(int index, intptr_t data);         // 0 or kListError; -1 sets every entry
  intptr_t GetData(int index) const;             // kListError for a bad index
  // Case-insensitive whole-text search starting after `start` and wrapping; -1 searches all.
  int FindStringExact(int start, std::string_view text) const;

  int GetSel(int index) const;           // 1 selected, 0 not, kListError for a bad index
  int SetSel(int index, bool select);    // extended only; -1 = every entry
  int GetCurSel() const;                 // single: the selection; extended: the caret
  int SetCurSel(int index);              // single only; -1 clears; kListError when out of range
  int GetSelCount() const;               // extended only
  std::vector<int> GetSelItems() const;  // selected indexes, ascending
  void ClearSelection();
  // Selects `index` alone (the user's click); returns false for a bad index.
  bool SelectOnly(int index);
  // The user's click on entry `index`: in an extended-selection list `toggle` (Ctrl) flips it
  // and `extend` (Shift) selects the range from the anchor to it; otherwise it is selected
  // alone. The anchor is the entry last clicked without Shift or moved to by MoveSelection;
  // without one, the caret (else the first entry).
  // False for a bad index.
  bool Click(int index, bool toggle, bool extend);
  int caret() const { return caret_; }

  int top_index() const { return top_; }
  int SetTopIndex(int index);  // kListError when out of range
  // Lists showing `rows` lines. The top index is at most Count() - rows, so that the last line
  // shows an entry; ClampTop brings it back there after entries went or the list grew taller.
  void ClampTop(int rows) { top_ = std::min(top_, std::max(0, Count() - rows)); }
  // Moves the top index the least that brings entry `index` into view.
  void ScrollIntoView(int index, int rows);
  // A scroll bar action: a line or a page up or down, or to either end; kept in range.
  void Scroll(ScrollCode code, int rows);
  // A navigation key moves the selection, alone, from the current entry (Left and Right as Up
  // and Down in a one-column list; a page is `rows` - 1 entries), and scrolls it into view.
  // In an extended-selection list, with Shift (kKeyShift in `modifiers`) it selects the range
  // from the anchor to the new caret instead, and with Ctrl it moves the caret alone; Space
  // selects the caret alone, Ctrl+Space flips it and makes it the anchor.
  // True when a selection change is to be notified; false also for other keys or no entries.
  bool MoveSelection(Key key, int rows, unsigned modifiers = 0);
  // The vertical scroll state of a list box showing `rows` lines: a line a position.
  ScrollInfo VerticalScroll(int rows) const {
    return ScrollInfo{top_, 0, std::max(0, Count() - 1), rows};
  }

 private:
  struct Entry {
    std::string text;
    intptr_t data = 0;
    bool selected = false;
  };
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  void InsertAt(int index, std::string_view text);

  bool sorted_;
  bool multiple_;
  std::vector<Entry> entries_;
  int current_ = -1;  // single selection
  int caret_ = -1;    // extended selection
  int anchor_ = -1;   // extended selection: where a Shift range starts
  int top_ = 0;
};

}  // namespace talmor
