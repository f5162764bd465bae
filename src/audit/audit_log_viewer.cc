#include "audit/audit_log_viewer.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "audit/audit_log_file.h"
#include "audit/event_detail_dialog.h"
#include "platform/file_exception.h"
#include "platform/names.h"
#include "platform/profile_file.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"
#include "ui/message_box.h"

namespace talmor {
namespace ids = audit_log_viewer_ids;

namespace {

constexpr char kProfile[] = "qvtalmor.ini";
constexpr char kSection[] = "AuditLog";
constexpr char kOldestFirstKey[] = "OldestFirst";
constexpr char kWinPosKey[] = "WinPos";
// Buffers of 10 and 78 characters: at most 9 and 77 characters of the stored values are read.
constexpr size_t kOldestFirstBuffer = 10;
constexpr size_t kWinPosBuffer = 78;

// Tab stops of the list in dialog units: the left edges of the "Time", "Username" and "Source"
// headings relative to the list.
const std::vector<int> kTabStops = {55, 110, 205};
constexpr int kHorizontalExtent = 1200;
// Column widths in dialog units: date, time, user, summary.
constexpr int kColumnWidths[4] = {45, 45, 85, 400};

// Window coordinates beyond this cannot be shown by any platform the library runs on.
constexpr int kCoordinateLimit = 32767;

// Reads the event at `position`; false when there is no such event or it cannot be read.
bool ReadAt(AuditLogFile& log, int64_t position, std::string& date, std::string& time,
            std::string& source, std::string& user, std::string& description) {
  if (position < 0 || position > std::numeric_limits<uint32_t>::max()) return false;
  try {
    return log.ReadEvent(static_cast<uint32_t>(position), date, time, source, user, description);
  } catch (const FileException&) {
    return false;  // left out of the list like any other event that cannot be read
  }
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// One decimal number as the C library's %d or %u reads it: blanks, an optional sign, digits.
// False for a missing or out-of-range number (%u takes a minus sign and wraps, as there).
bool ParseNumber(std::string_view text, size_t& at, bool is_unsigned, int64_t& value) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                              text[at] == '\r' || text[at] == '\v' || text[at] == '\f')) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  size_t digits = 0;
  int64_t magnitude = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    magnitude = magnitude * 10 + (text[at++] - '0');
    if (magnitude > int64_t{std::numeric_limits<uint32_t>::max()}) return false;
    ++digits;
  }
  if (digits == 0) return false;
  if (is_unsigned) {
    if (negative) magnitude = (int64_t{1} << 32) - magnitude;
    value = magnitude & 0xFFFFFFFF;
    return true;
  }
  value = negative ? -magnitude : magnitude;
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

bool InScreenRange(int v) { return v >= -kCoordinateLimit && v <= kCoordinateLimit; }

}  // namespace

// ---- AuditLogListBox ----

void AuditLogListBox::ForwardNearEnd(ScrollCode code, AuditLogViewer& viewer) {
  // The list scrolls its top line no further than `page` lines before the last one, so "near the
  // end" is measured against the highest position it can reach, not against its line count.
  ScrollInfo info = GetVerticalScroll();
  int reach = info.page > 0 ? info.max - info.page + 1 : info.max;
  reach = std::max(reach, info.min);
  if (info.pos >= reach - (reach - info.min) / 4) viewer.OnVScroll(code, 0);
}

void AuditLogListBox::OnVScroll(ScrollCode code, AuditLogViewer& viewer) {
  switch (code) {
    case ScrollCode::kLineDown:
    case ScrollCode::kPageDown:
    case ScrollCode::kEndScroll:
      ForwardNearEnd(code, viewer);
      break;
    case ScrollCode::kBottom:
      viewer.OnVScroll(code, 1);
      break;
    default:
      break;
  }
}

void AuditLogListBox::OnKeyDown(Key key, AuditLogViewer& viewer) {
  switch (key) {
    case Key::kDown:
      OnVScroll(ScrollCode::kLineDown, viewer);
      break;
    case Key::kPageDown:
      OnVScroll(ScrollCode::kPageDown, viewer);
      break;
    case Key::kEnd:
      OnVScroll(ScrollCode::kBottom, viewer);
      break;
    default:
      break;
  }
}

// ---- AuditLogViewer ----

AuditLogViewer::AuditLogViewer(Window* owner) : Dialog(kIddAuditLogViewer, owner) {
  const std::string order =
      GetProfileString(kProfile, kSection, kOldestFirstKey, "TRUE", kOldestFirstBuffer);
  oldestFirst_ = !EqualIgnoringCase(order, "FALSE");
}

bool AuditLogViewer::OnInitDialog() {
  Dialog::OnInitDialog();
  RestorePlacement();
  CheckMenuItem(kIdmOldestFirst, oldestFirst_);
  CheckMenuItem(kIdmNewestFirst, !oldestFirst_);
  FillList();
  return true;
}

void AuditLogViewer::DoDataExchange(DataExchange& dx) { dx.Control(ids::kList, list_); }

bool AuditLogViewer::OnCommand(int id, Notify code) {
  if (id == ids::kList && code == Notify::kDoubleClick) {
    ShowDetail();
    return true;
  }
  if (code == Notify::kMenu || code == Notify::kClicked) {
    switch (id) {
      case kIdmDetail:
        ShowDetail();
        return true;
      case kIdmRefresh:
        FillList();
        return true;
      case kIdmNewestFirst:
        SetOrder(false);
        return true;
      case kIdmOldestFirst:
        SetOrder(true);
        return true;
      case kIdmClearAllEvents:
        ClearAllEvents();
        return true;
      default:
        break;
    }
  }
  return Dialog::OnCommand(id, code);
}

void AuditLogViewer::OnSize(int cx, int cy) {
  Dialog::OnSize(cx, cy);
  Control* list = Item(ids::kList);
  Control* heading = Item(ids::kDateHeading);
  if (list == nullptr || heading == nullptr || !list->attached() || !heading->attached()) return;
  const Rect at = list->GetWindowRect();
  const int width = std::max(0, cx - 15);
  const int height = std::max(0, cy - (heading->GetWindowRect().bottom + 2) - 5);
  list->MoveWindow({at.left, at.top, at.left + width, at.top + height});
}

void AuditLogViewer::OnControlKey(int id, Key key) {
  if (id == ids::kList) list_.OnKeyDown(key, *this);
}

void AuditLogViewer::OnControlScroll(int id, ScrollCode code) {
  if (id == ids::kList) list_.OnVScroll(code, *this);
}

void AuditLogViewer::OnVScroll(ScrollCode, int position) {
  AuditLogFile log;
  const int32_t count = ClampToInt32(log.EventCount());
  const int item_height = list_.GetItemHeight();
  const int visible = item_height > 0 ? list_.GetClientSize().cy / item_height : 0;
  const int32_t page = pageSize_;
  if (position == 1) {
    pageSize_ = count;
    LoadBatch(log, count);
    pageSize_ = page;
    if (list_.GetCount() > 0) list_.SetCurSel(list_.GetCount() - 1);
  } else {
    pageSize_ = std::max<int32_t>(pageSize_, ClampToInt32(int64_t{2} * visible));
    LoadBatch(log, count);
    pageSize_ = page;
  }
}

void AuditLogViewer::FillList() {
  list_.ResetContent();
  AuditLogFile log;
  const int32_t count = ClampToInt32(log.EventCount());
  nextIndex_ = oldestFirst_ ? 0 : count - 1;
  pageSize_ = kPageSize;
  list_.SetTabStops(kTabStops);
  list_.SetHorizontalExtent(kHorizontalExtent);
  LoadBatch(log, count);
}

void AuditLogViewer::LoadBatch(AuditLogFile& log, int32_t count) {
  const int base_unit_x = DialogBaseUnits().cx;
  std::string date, time, source, user, description;
  auto add = [&](int64_t position) {
    if (!ReadAt(log, position, date, time, source, user, description)) return;
    const int index =
        list_.AddString(BuildLine(list_, base_unit_x, date, time, source, user, description));
    if (index >= 0) list_.SetItemData(index, static_cast<intptr_t>(position));
  };
  // 64-bit positions: nextIndex plus or minus a page the size of the whole log stays exact.
  int64_t i = nextIndex_;
  if (oldestFirst_) {
    if (i >= count) return;
    const int64_t end = std::min<int64_t>(int64_t{nextIndex_} + pageSize_, count);
    for (; i < end; ++i) add(i);
  } else {
    if (i < 0) return;
    const int64_t end = std::max<int64_t>(int64_t{nextIndex_} - pageSize_, 0);
    for (; i >= end; --i) add(i);
  }
  nextIndex_ = ClampToInt32(i);
}

std::string AuditLogViewer::Summary(std::string_view source, std::string_view description) {
  std::string summary(source);
  summary += " : ";
  int breaks = 0;
  for (size_t k = 0; k < description.size() && breaks < 2; ++k) {
    if (description[k] == '\r') {
      summary += " - ";
      ++breaks;
      ++k;  // the line feed after it
    } else {
      summary += description[k];
    }
  }
  return summary;
}

std::string AuditLogViewer::FitToWidth(const Control& list, std::string_view text, int width) {
  if (list.TextWidth(text) <= width) return std::string(text);
  // Widths grow with the prefix: the longest prefix that fits lies in [lo, hi).
  size_t lo = 0, hi = text.size();
  while (hi - lo > 1) {
    const size_t mid = lo + (hi - lo) / 2;
    if (list.TextWidth(text.substr(0, mid)) <= width) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return std::string(text.substr(0, lo));
}

std::string AuditLogViewer::BuildLine(const Control& list, int base_unit_x, const std::string& date,
                                      const std::string& time, const std::string& source,
                                      const std::string& user, const std::string& description) {
  const std::string summary = Summary(source, description);
  const std::string_view columns[4] = {date, time, user, summary};
  std::string line;
  for (int c = 0; c < 4; ++c) {
    line += FitToWidth(list, columns[c], kColumnWidths[c] * base_unit_x / 4);
    line += '\t';
  }
  return line;
}

void AuditLogViewer::ShowDetail() {
  const int selected = list_.GetCurSel();
  if (selected < 0) return;
  EventDetailDialog detail(this);
  bool read = false;
  {
    AuditLogFile log;
    read = ReadAt(log, list_.GetItemData(selected), detail.date_, detail.time_, detail.source_,
                  detail.user_, detail.description_);
  }
  if (read) detail.DoModal();
}

void AuditLogViewer::ClearAllEvents() {
  if (MessageBox("Are you sure?", "Clear Audit Log", kMbOkCancel | kMbIconExclamation) != kIdOk) {
    return;
  }
  {
    // Closed before the list is filled: the fill opens the log itself, and the lock is the
    // file's, so an open log here would keep the fill waiting and then out.
    AuditLogFile log;
    try {
      log.Clear();
    } catch (const FileException&) {
      // The fill below shows whatever the log still holds.
    }
  }
  FillList();
}

void AuditLogViewer::SetOrder(bool oldest_first) {
  CheckMenuItem(kIdmOldestFirst, oldest_first);
  CheckMenuItem(kIdmNewestFirst, !oldest_first);
  oldestFirst_ = oldest_first;
  FillList();
}

std::string AuditLogViewer::FormatPlacement(const WindowPlacement& p) {
  char text[128];
  std::snprintf(text, sizeof text, "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.show_cmd,
                p.min_position.x, p.min_position.y, p.max_position.x, p.max_position.y,
                p.normal_position.left, p.normal_position.top, p.normal_position.right,
                p.normal_position.bottom);
  return text;
}

std::optional<WindowPlacement> AuditLogViewer::ParsePlacement(std::string_view text) {
  int64_t v[10];
  size_t at = 0;
  for (int n = 0; n < 10; ++n) {
    if (n > 0) {
      if (at >= text.size() || text[at] != ',') return std::nullopt;
      ++at;
    }
    if (!ParseNumber(text, at, n < 2, v[n])) return std::nullopt;
  }
  WindowPlacement p;
  p.flags = static_cast<uint32_t>(v[0]);
  p.show_cmd = static_cast<uint32_t>(v[1]);
  p.min_position = {static_cast<int>(v[2]), static_cast<int>(v[3])};
  p.max_position = {static_cast<int>(v[4]), static_cast<int>(v[5])};
  p.normal_position = {static_cast<int>(v[6]), static_cast<int>(v[7]), static_cast<int>(v[8]),
                       static_cast<int>(v[9])};
  // Only a placement the window can be seen at: a known show state (a hidden modal window
  // could not be closed), restore flags of the platform only, and a normal rectangle that is
  // not empty and lies within the coordinates a screen can have.
  if (p.show_cmd != kShowNormal && p.show_cmd != kShowMinimized && p.show_cmd != kShowMaximized) {
    return std::nullopt;
  }
  if ((p.flags & ~uint32_t{0x7}) != 0) return std::nullopt;
  const Rect& r = p.normal_position;
  if (r.right <= r.left || r.bottom <= r.top) return std::nullopt;
  for (int c : {r.left, r.top, r.right, r.bottom, p.min_position.x, p.min_position.y,
                p.max_position.x, p.max_position.y}) {
    if (!InScreenRange(c)) return std::nullopt;
  }
  return p;
}

void AuditLogViewer::RestorePlacement() {
  const std::string stored = GetProfileString(kProfile, kSection, kWinPosKey, "", kWinPosBuffer);
  if (std::optional<WindowPlacement> placement = ParsePlacement(stored)) {
    SetWindowPlacement(*placement);
  }
}

void AuditLogViewer::SavePlacement() {
  WindowPlacement placement = GetWindowPlacement();
  placement.flags = IsZoomed() ? kPlacementRestoreToMaximized : 0;
  // A profile that cannot be written leaves that setting as it was; the viewer still closes.
  try {
    WriteProfileString(kProfile, kSection, kWinPosKey, FormatPlacement(placement));
  } catch (const FileException&) {
  }
  try {
    WriteProfileString(kProfile, kSection, kOldestFirstKey, oldestFirst_ ? "TRUE" : "FALSE");
  } catch (const FileException&) {
  }
}

void AuditLogViewer::OnDestroy() {
  SavePlacement();
  Dialog::OnDestroy();
}

}  // namespace talmor
