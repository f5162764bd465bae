#include "ui/list_model.h"

#include "platform/names.h"

namespace talmor {

void ListModel::InsertAt(int index, std::string_view text) {
  entries_.insert(entries_.begin() + index, Entry{std::string(text), 0, false});
  if (current_ >= index) ++current_;
  if (caret_ >= index) ++caret_;
}

int ListModel::Add(std::string_view text) {
  int index = Count();
  if (sorted_) {
    // After every entry that sorts before or equal to the new one.
    index = 0;
    while (index < Count() && CompareIgnoringCase(entries_[index].text, text) <= 0) ++index;
  }
  InsertAt(index, text);
  return index;
}

int ListModel::Insert(int index, std::string_view text) {
  if (index == -1) index = Count();
  if (index < 0 || index > Count()) return kListError;
  InsertAt(index, text);
  return index;
}

int ListModel::Delete(int index) {
  if (!Valid(index)) return kListError;
  entries_.erase(entries_.begin() + index);
  if (current_ == index) {
    current_ = -1;
  } else if (current_ > index) {
    --current_;
  }
  if (caret_ > index) {
    --caret_;
  } else if (caret_ >= Count()) {
    caret_ = Count() - 1;
  }
  if (top_ >= Count()) top_ = Count() > 0 ? Count() - 1 : 0;
  return Count();
}

void ListModel::Reset() {
  entries_.clear();
  current_ = -1;
  caret_ = -1;
  top_ = 0;
}

int ListModel::Text(int index, std::string* text) const {
  if (!Valid(index)) return kListError;
  if (text != nullptr) *text = entries_[index].text;
  return static_cast<int>(entries_[index].text.size());
}

int ListModel::SetData(int index, intptr_t data) {
  if (index == -1) {
    for (Entry& e : entries_) e.data = data;
    return 0;
  }
  if (!Valid(index)) return kListError;
  entries_[index].data = data;
  return 0;
}

intptr_t ListModel::GetData(int index) const {
  return Valid(index) ? entries_[index].data : kListError;
}

int ListModel::FindStringExact(int start, std::string_view text) const {
  int n = Count();
  if (n == 0) return kListError;
  int first = (start < -1 || start >= n) ? 0 : start + 1;
  for (int k = 0; k < n; ++k) {
    int i = (first + k) % n;
    if (EqualIgnoringCase(entries_[i].text, text)) return i;
  }
  return kListError;
}

int ListModel::GetSel(int index) const {
  if (!Valid(index)) return kListError;
  if (multiple_) return entries_[index].selected ? 1 : 0;
  return index == current_ ? 1 : 0;
}

int ListModel::SetSel(int index, bool select) {
  if (!multiple_) return kListError;
  if (index == -1) {
    for (Entry& e : entries_) e.selected = select;
    return 0;
  }
  if (!Valid(index)) return kListError;
  entries_[index].selected = select;
  caret_ = index;
  return 0;
}

int ListModel::GetCurSel() const {
  if (multiple_) return caret_;
  return current_;
}

int ListModel::SetCurSel(int index) {
  if (multiple_) return kListError;
  if (index == -1) {
    current_ = -1;
    return kListError;  // as the platform reports clearing
  }
  if (!Valid(index)) {
    current_ = -1;
    return kListError;
  }
  current_ = index;
  return index;
}

int ListModel::GetSelCount() const {
  if (!multiple_) return kListError;
  int count = 0;
  for (const Entry& e : entries_) count += e.selected ? 1 : 0;
  return count;
}

std::vector<int> ListModel::GetSelItems() const {
  std::vector<int> items;
  for (int i = 0; i < Count(); ++i) {
    if (GetSel(i) > 0) items.push_back(i);
  }
  return items;
}

void ListModel::ClearSelection() {
  for (Entry& e : entries_) e.selected = false;
  current_ = -1;
}

bool ListModel::SelectOnly(int index) {
  if (!Valid(index)) return false;
  ClearSelection();
  if (multiple_) {
    entries_[index].selected = true;
    caret_ = index;
  } else {
    current_ = index;
  }
  return true;
}

int ListModel::SetTopIndex(int index) {
  if (!Valid(index) && !(index == 0 && Count() == 0)) return kListError;
  top_ = index;
  return 0;
}

std::optional<ListModel> ListModel::For(const ControlTemplate& t) {
  if (t.kind == ControlKind::kListBox) {
    return ListModel((t.style & kLbsSort) != 0, (t.style & kLbsExtendedSel) != 0);
  }
  if (t.kind == ControlKind::kComboBox) return ListModel((t.style & kCbsSort) != 0, false);
  return std::nullopt;
}

bool ListModel::Click(int index, bool toggle, bool extend) {
  if (!Valid(index)) return false;
  if (multiple_ && toggle) {
    SetSel(index, GetSel(index) <= 0);
    anchor_ = index;
  } else if (multiple_ && extend) {
    // No anchor yet (the selection was the program's): the range starts at the caret.
    if (anchor_ < 0) anchor_ = std::max(caret_, 0);
    ClearSelection();
    for (int i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i) SetSel(i, true);
    SetSel(index, true);  // the caret
  } else {
    SelectOnly(index);
    anchor_ = index;
  }
  return true;
}

void ListModel::ScrollIntoView(int index, int rows) {
  if (index < top_) {
    top_ = index;
  } else if (index >= top_ + rows) {
    top_ = std::max(0, index - rows + 1);
  }
}

void ListModel::Scroll(ScrollCode code, int rows) {
  const int max_top = std::max(0, Count() - rows);
  int top = top_;
  switch (code) {
    case ScrollCode::kLineDown:
      top += 1;
      break;
    case ScrollCode::kLineUp:
      top -= 1;
      break;
    case ScrollCode::kPageDown:
      top += rows;
      break;
    case ScrollCode::kPageUp:
      top -= rows;
      break;
    case ScrollCode::kBottom:
      top = max_top;
      break;
    case ScrollCode::kTop:
      top = 0;
      break;
    case ScrollCode::kEndScroll:
      break;
  }
  top_ = std::clamp(top, 0, max_top);
}

bool ListModel::MoveSelection(Key key, int rows, unsigned modifiers) {
  if (Count() == 0) return false;
  const int current = GetCurSel();
  if (key == Key::kSpace) {
    if (!multiple_) return false;
    const int at = std::max(current, 0);
    return Click(at, (modifiers & kKeyCtrl) != 0, false);
  }
  int index = current;
  switch (key) {
    case Key::kDown:
    case Key::kRight:
      index = current + 1;
      break;
    case Key::kUp:
    case Key::kLeft:
      index = current < 0 ? 0 : current - 1;
      break;
    case Key::kPageDown:
      index = current + rows - 1;
      break;
    case Key::kPageUp:
      index = current - rows + 1;
      break;
    case Key::kEnd:
      index = Count() - 1;
      break;
    case Key::kHome:
      index = 0;
      break;
    default:
      return false;
  }
  index = std::clamp(index, 0, Count() - 1);
  if (multiple_ && (modifiers & (kKeyShift | kKeyCtrl)) != 0) {
    const std::vector<int> before = GetSelItems();
    if (modifiers & kKeyShift) Click(index, false, true);
    caret_ = index;
    ScrollIntoView(index, rows);
    return GetSelItems() != before;
  }
  const bool changed = current != index || GetSel(index) <= 0;
  SelectOnly(index);
  anchor_ = index;
  ScrollIntoView(index, rows);
  return changed;
}

}  // namespace talmor
