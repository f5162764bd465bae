#include "audit/audit_export.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "audit/audit_log_file.h"
#include "platform/data_directory.h"
#include "platform/file_exception.h"
#include "platform/names.h"
#include "platform/system_log.h"

namespace talmor {
namespace {

constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};

// Reads `count` digits at `at`, advancing it.
bool Digits(std::string_view text, size_t& at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i, ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    value = value * 10 + (text[at] - '0');
  }
  return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

std::optional<EventMoment> Moment(int year, int month, int day, int hour, int minute,
                                  int second) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  return ((((static_cast<uint64_t>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 +
          minute) * 100 + second;
}

// "07-Dec-2026" or "2026-12-07" at the start of `text`; `at` ends after it.
bool ParseDate(std::string_view text, size_t& at, int& year, int& month, int& day) {
  at = 0;
  if (Digits(text, at, 4, year)) {
    return Expect(text, at, '-') && Digits(text, at, 2, month) && Expect(text, at, '-') &&
           Digits(text, at, 2, day);
  }
  at = 0;
  if (!Digits(text, at, 2, day) || !Expect(text, at, '-') || at + 3 > text.size()) return false;
  month = 0;
  for (int m = 0; m < 12; ++m) {
    if (EqualIgnoringCase(text.substr(at, 3), kMonths[m])) month = m + 1;
  }
  at += 3;
  return month != 0 && Expect(text, at, '-') && Digits(text, at, 4, year);
}

std::string Utf8(std::string_view text) { return Windows1252ToUtf8(text); }

void CsvField(std::ostream& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out << text;
    return;
  }
  out << '"';
  for (char c : text) {
    if (c == '"') out << '"';
    out << c;
  }
  out << '"';
}

void JsonString(std::ostream& out, std::string_view text) {
  out << '"';
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (c == '\n') {
      out << "\\n";
    } else if (c == '\r') {
      out << "\\r";
    } else if (c == '\t') {
      out << "\\t";
    } else if (b < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
      out << escaped;
    } else {
      out << c;
    }
  }
  out << '"';
}

}  // namespace

std::optional<EventMoment> ParseFilterMoment(std::string_view text, bool end_of_day) {
  int year, month, day;
  size_t at = 0;
  if (!ParseDate(text, at, year, month, day)) return std::nullopt;
  int hour = end_of_day ? 23 : 0, minute = end_of_day ? 59 : 0, second = end_of_day ? 59 : 0;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != ' ') return std::nullopt;
    ++at;
    second = 0;
    if (!Digits(text, at, 2, hour) || !Expect(text, at, ':') || !Digits(text, at, 2, minute)) {
      return std::nullopt;
    }
    if (at < text.size() && (!Expect(text, at, ':') || !Digits(text, at, 2, second))) {
      return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
  }
  return Moment(year, month, day, hour, minute, second);
}

std::optional<EventMoment> EventMomentOf(const ExportedEvent& event) {
  int year, month, day, hour, minute, second;
  size_t at = 0;
  if (!ParseDate(event.date, at, year, month, day) || at != event.date.size()) return std::nullopt;
  const std::string_view time = event.time;
  at = 0;
  if (!Digits(time, at, 2, hour) || !Expect(time, at, ':') || !Digits(time, at, 2, minute) ||
      !Expect(time, at, ':') || !Digits(time, at, 2, second) || at != time.size()) {
    return std::nullopt;
  }
  return Moment(year, month, day, hour, minute, second);
}

bool ExportFilter::Matches(const ExportedEvent& event) const {
  if (!user.empty() && !EqualIgnoringCase(user, event.user)) return false;
  if (!category.empty() && !EqualIgnoringCase(category, event.source)) return false;
  if (!since && !until) return true;
  const std::optional<EventMoment> moment = EventMomentOf(event);
  return moment && (!since || *moment >= *since) && (!until || *moment <= *until);
}

bool ReadExportedEvents(const ExportFilter& filter, std::vector<ExportedEvent>& events,
                        std::string& error) {
  events.clear();
  const std::filesystem::path log = std::filesystem::path(WindowsDirectory()) / "QUORVANE.LOG";
  std::error_code ignored;
  if (!std::filesystem::exists(log, ignored)) {
    error = "no audit log in " + WindowsDirectory();
    return false;
  }
  try {
    AuditLogFile pair;
    if (pair.failed()) {
      error = "the audit log is in use or cannot be opened";
      return false;
    }
    ExportedEvent event;
    for (uint32_t i = 0; i < pair.EventCount(); ++i) {
      if (!pair.ReadEvent(i, event.date, event.time, event.source, event.user,
                          event.description)) {
        continue;  // a record that cannot be read in full has no fields to show
      }
      event.position = i;
      if (filter.Matches(event)) events.push_back(event);
    }
  } catch (const FileException&) {
    error = "the audit log cannot be read";
    return false;
  }
  if (filter.newest_first) std::reverse(events.begin(), events.end());
  return true;
}

void WriteCsvHeader(std::ostream& out) { out << "position,date,time,category,user,description\r\n"; }

void WriteCsvRow(std::ostream& out, const ExportedEvent& event) {
  out << event.position << ',';
  for (const std::string* field : {&event.date, &event.time, &event.source, &event.user}) {
    CsvField(out, Utf8(*field));
    out << ',';
  }
  CsvField(out, Utf8(event.description));
  out << "\r\n";
}

void WriteJsonLine(std::ostream& out, const ExportedEvent& event) {
  out << "{\"position\":" << event.position;
  const std::pair<const char*, const std::string*> members[] = {
      {"date", &event.date},     {"time", &event.time}, {"category", &event.source},
      {"user", &event.user},     {"description", &event.description}};
  for (const auto& [name, value] : members) {
    out << ",\"" << name << "\":";
    JsonString(out, Utf8(*value));
  }
  out << "}\n";
}

}  // namespace talmor
