#pragma once

#include <chrono>
#include <string>

namespace talmor {

// Local date and time fields as the system stamps its records.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

using TimePoint = std::chrono::system_clock::time_point;

// The source of "now". Tests install a fixed clock with SetClock.
using ClockFunction = TimePoint (*)();

// The current time from the installed clock (the system clock unless a test replaced it).
TimePoint CurrentTime();
// Installs `clock` (nullptr restores the system clock) and returns the previous one.
ClockFunction SetClock(ClockFunction clock);

// `t` in the process's local time zone.
LocalTime ToLocalTime(TimePoint t);

// "%d-%b-%Y" with English month abbreviations whatever the locale: "04-Dec-2026".
std::string FormatDate(const LocalTime& t);
// "%H:%M:%S", 24-hour clock: "14:05:09".
std::string FormatTime(const LocalTime& t);

}  // namespace talmor
