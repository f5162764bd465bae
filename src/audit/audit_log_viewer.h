#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/control.h"
#include "ui/dialog.h"

namespace talmor {

class AuditLogFile;
class AuditLogViewer;

// The viewer's event list (control 1000). Before the list's own handling of a vertical scroll
// action or a navigation key it tells the viewer when more events should be loaded: line down,
// page down and end of scroll (and the Down and Page Down keys) ask for more once the list is
// scrolled into its last quarter; scroll to bottom (and the End key) asks for everything.
class AuditLogListBox : public ListBox {
 public:
  void OnVScroll(ScrollCode code, AuditLogViewer& viewer);
  void OnKeyDown(Key key, AuditLogViewer& viewer);

 private:
  void ForwardNearEnd(ScrollCode code, AuditLogViewer& viewer);
};

// The audit log viewer (template 137, menu 131): the audit trail one event per line, loaded in
// batches as the list is scrolled, oldest or newest first. Every action that touches the log
// opens its own AuditLogFile and closes it again before returning. The order and the window
// placement are kept in "qvtalmor.ini", section "AuditLog" ("OldestFirst", "WinPos").
class AuditLogViewer : public Dialog {
 public:
  static constexpr int32_t kPageSize = 60;

  // Reads the remembered order; a null owner shows the viewer without one.
  explicit AuditLogViewer(Window* owner);

  // A vertical scroll notification from the list: position 1 loads every remaining event and
  // selects the last line, any other position loads at least one more batch.
  void OnVScroll(ScrollCode code, int position);

  int32_t nextIndex() const { return nextIndex_; }
  int32_t pageSize() const { return pageSize_; }
  bool oldestFirst() const { return oldestFirst_; }

  // The list line of one event: date, time, user and summary, each cut to its column width in
  // pixels (measured with `list`) and followed by a tab.
  static std::string BuildLine(const Control& list, int base_unit_x, const std::string& date,
                               const std::string& time, const std::string& source,
                               const std::string& user, const std::string& description);
  // The source, " : " and the description with its first two line breaks shown as " - ".
  static std::string Summary(std::string_view source, std::string_view description);
  // The longest prefix of `text` that `list` draws no wider than `width` pixels.
  static std::string FitToWidth(const Control& list, std::string_view text, int width);

  // "WinPos" as stored: ten numbers "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d". Parsing answers nothing
  // unless all ten numbers are there and form a placement a window can be shown at.
  static std::string FormatPlacement(const WindowPlacement& placement);
  static std::optional<WindowPlacement> ParsePlacement(std::string_view text);

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;
  void OnSize(int cx, int cy) override;
  void OnControlKey(int id, Key key) override;
  void OnControlScroll(int id, ScrollCode code) override;
  // Saves the placement and the order.
  void OnDestroy() override;

 private:
  void FillList();
  void LoadBatch(AuditLogFile& log, int32_t count);
  void ShowDetail();
  void ClearAllEvents();
  void SetOrder(bool oldest_first);
  void RestorePlacement();
  void SavePlacement();

  AuditLogListBox list_;
  int32_t nextIndex_ = 0;
  int32_t pageSize_ = kPageSize;
  bool oldestFirst_ = true;
};

}  // namespace talmor
