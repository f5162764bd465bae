#include "audit/event_detail_dialog.h"

#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = event_detail_ids;

EventDetailDialog::EventDetailDialog(Window* owner) : Dialog(kIddEventDetail, owner) {}

void EventDetailDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(ids::kDate, date_);
  dx.Text(ids::kSource, source_);
  dx.Text(ids::kTime, time_);
  dx.Text(ids::kUser, user_);
  dx.Text(ids::kDescription, description_);
}

}  // namespace talmor
