#pragma once

#include <string>

#include "ui/dialog.h"

namespace talmor {

// One audit event in full (template 132): date, time, source, user and the description with its
// line breaks, in read-only edits. "Close" ends it.
class EventDetailDialog : public Dialog {
 public:
  explicit EventDetailDialog(Window* owner);

  std::string date_;         // 1002
  std::string time_;         // 1003
  std::string source_;       // 1004
  std::string user_;         // 1005
  std::string description_;  // 1006

 protected:
  void DoDataExchange(DataExchange& dx) override;
};

}  // namespace talmor
