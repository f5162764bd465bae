#include "ui/data_exchange.h"

#include <cstdio>
#include <limits>

#include "ui/dialog.h"
#include "ui/message_box.h"

namespace talmor {

const char* DataExchange::kIntegerMessage = "Please enter an integer.";
const char* DataExchange::kIntegerRangeFormat = "Please enter an integer between %d and %d.";
const char* DataExchange::kMaxCharsFormat = "Please enter no more than %d characters.";

bool ParseInteger(std::string_view text, int* value) {
  size_t i = 0;
  auto blank = [&](size_t k) { return k < text.size() && (text[k] == ' ' || text[k] == '\t'); };
  while (blank(i)) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  size_t digits = 0;
  long long v = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return false;
    ++i;
    ++digits;
  }
  if (digits == 0) return false;
  while (blank(i)) ++i;
  if (i != text.size()) return false;
  if (negative) v = -v;
  if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
  *value = static_cast<int>(v);
  return true;
}

Control* DataExchange::Item(int id) { return dialog_.Item(id); }

void DataExchange::Fail(int id, std::string_view message) {
  if (failed_ || !save_) return;
  failed_ = true;
  dialog_.MessageBox(message, {}, kMbOk | kMbIconExclamation);
  dialog_.GotoControl(id);
}

void DataExchange::Text(int id, std::string& value) {
  if (Skip()) return;
  talmor::Control* c = Item(id);
  if (c == nullptr) return;
  if (save_) {
    value = c->GetWindowText();
  } else {
    c->SetWindowText(value);
  }
}

void DataExchange::Int(int id, int& value) {
  if (Skip()) return;
  talmor::Control* c = Item(id);
  if (c == nullptr) return;
  if (!save_) {
    c->SetWindowText(std::to_string(value));
    return;
  }
  int parsed = 0;
  if (!ParseInteger(c->GetWindowText(), &parsed)) {
    Fail(id, kIntegerMessage);
    return;
  }
  value = parsed;
}

void DataExchange::Check(int id, int& value) {
  if (Skip()) return;
  talmor::Control* c = Item(id);
  if (c == nullptr) return;
  if (save_) {
    value = c->GetCheck();
  } else {
    c->SetCheck(value != 0 ? kChecked : kUnchecked);
  }
}

void DataExchange::Check(int id, bool& value) {
  int v = value ? 1 : 0;
  Check(id, v);
  value = v != 0;
}

void DataExchange::Radio(int first_id, int& index) {
  if (Skip()) return;
  std::vector<int> group = dialog_.RadioGroup(first_id);
  if (save_) {
    index = -1;
    for (size_t i = 0; i < group.size(); ++i) {
      talmor::Control* c = Item(group[i]);
      if (c != nullptr && c->GetCheck() == kChecked) {
        index = static_cast<int>(i);
        break;
      }
    }
  } else {
    for (size_t i = 0; i < group.size(); ++i) {
      if (talmor::Control* c = Item(group[i])) {
        c->SetCheck(static_cast<int>(i) == index ? kChecked : kUnchecked);
      }
    }
  }
}

void DataExchange::Control(int id, talmor::Control& control) {
  if (Skip()) return;
  if (!control.attached()) dialog_.Bind(id, control);
}

void DataExchange::MaxChars(int id, int max_chars) {
  if (Skip()) return;
  talmor::Control* c = Item(id);
  if (c == nullptr) return;
  if (!save_) {
    c->SetLimitText(max_chars);
    return;
  }
  if (static_cast<int>(c->GetWindowText().size()) > max_chars) {
    char message[128];
    std::snprintf(message, sizeof message, kMaxCharsFormat, max_chars);
    Fail(id, message);
  }
}

void DataExchange::Range(int id, int value, int min, int max) {
  if (Skip() || !save_) return;
  if (value < min || value > max) {
    char message[128];
    std::snprintf(message, sizeof message, kIntegerRangeFormat, min, max);
    Fail(id, message);
  }
}

}  // namespace talmor
