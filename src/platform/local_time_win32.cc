#include <windows.h>

#include <time.h>

#include <atomic>
#include <cstdio>

#include "platform/local_time.h"

namespace talmor {

namespace {

TimePoint SystemNow() { return std::chrono::system_clock::now(); }

std::atomic<ClockFunction> g_clock{&SystemNow};

// Fixed English abbreviations: the stored records and the viewer's parser expect them, so the
// user's locale must not change them.
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

TimePoint CurrentTime() { return g_clock.load(std::memory_order_acquire)(); }

ClockFunction SetClock(ClockFunction clock) {
  ClockFunction previous =
      g_clock.exchange(clock != nullptr ? clock : &SystemNow, std::memory_order_acq_rel);
  return previous;
}

LocalTime ToLocalTime(TimePoint t) {
  // The runtime library's local time, as the time stamps of the records have always used (it
  // follows TZ when that is set, the system's time zone otherwise).
  const __time64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 t.time_since_epoch())
                                 .count();
  struct tm fields {};
  if (::_localtime64_s(&fields, &seconds) != 0) return LocalTime{};
  LocalTime out;
  out.year = fields.tm_year + 1900;
  out.month = fields.tm_mon + 1;
  out.day = fields.tm_mday;
  out.hour = fields.tm_hour;
  out.minute = fields.tm_min;
  out.second = fields.tm_sec;
  return out;
}

std::string FormatDate(const LocalTime& t) {
  const int month = (t.month >= 1 && t.month <= 12) ? t.month : 1;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d-%s-%04d", t.day, kMonths[month - 1], t.year);
  return buffer;
}

std::string FormatTime(const LocalTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buffer;
}

}  // namespace talmor
