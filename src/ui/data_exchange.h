#pragma once

#include <string>
#include <string_view>

#include "ui/control.h"

// Moves values between a dialog's members and its controls, in the order DoDataExchange lists
// them. Loading (UpdateData(false)) shows members in controls and sets text limits; saving
// (UpdateData(true)) reads the controls back and validates. The first failed conversion or
// check shows the framework's standard message (exclamation icon, OK, the module's application
// name as caption), puts the focus on that control and stops the exchange: the calls after it
// do nothing and UpdateData answers false.

namespace talmor {

class Dialog;

class DataExchange {
 public:
  DataExchange(Dialog& dialog, bool save) : dialog_(dialog), save_(save) {}

  bool saving() const { return save_; }
  bool failed() const { return failed_; }
  Dialog& dialog() { return dialog_; }

  void Text(int id, std::string& value);
  // Decimal text; saving fails with "Please enter an integer." unless the text is an optionally
  // signed decimal 32-bit integer, with blanks allowed around it.
  void Int(int id, int& value);
  void Check(int id, int& value);
  void Check(int id, bool& value);
  // Radio group starting at `first_id`: index of the checked button, -1 for none.
  void Radio(int first_id, int& index);
  // Binds `control` to the dialog's control `id` for as long as the dialog is open.
  void Control(int id, talmor::Control& control);

  // Loading: limits the edit to `max_chars`. Saving: fails when the text is longer.
  void MaxChars(int id, int max_chars);
  // Saving: fails with "Please enter an integer between %d and %d." unless min <= value <= max.
  void Range(int id, int value, int min, int max);
  // Fails the exchange with the dialog's own message (saving only).
  void Fail(int id, std::string_view message);

  static const char* kIntegerMessage;      // "Please enter an integer."
  static const char* kIntegerRangeFormat;  // "Please enter an integer between %d and %d."
  static const char* kMaxCharsFormat;      // "Please enter no more than %d characters."

 private:
  talmor::Control* Item(int id);
  bool Skip() const { return failed_; }

  Dialog& dialog_;
  bool save_;
  bool failed_ = false;
};

// Parses an optionally signed decimal 32-bit integer with blanks around it; false otherwise.
bool ParseInteger(std::string_view text, int* value);

}  // namespace talmor
