#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace talmor {

// The live events of the audit log as a reviewer takes them away: filtered, in either order, as
// CSV (RFC 4180) or JSON Lines, the log's 8-bit text written as UTF-8.

struct ExportedEvent {
  uint32_t position = 0;  // 0 = the oldest live event, as the chain check counts
  std::string date, time, source, user, description;
};

// A moment as a sortable number: YYYYMMDDhhmmss.
using EventMoment = uint64_t;

// A date of a filter: the log's own "07-Dec-2026" (month names in English, any case) or ISO 8601
// "2026-12-07", either optionally followed by a time "hh:mm[:ss]" (after 'T' or a space). A date
// without a time stands for its first second, or with `end_of_day` its last. Nothing when the text
// is not such a date.
std::optional<EventMoment> ParseFilterMoment(std::string_view text, bool end_of_day);

// An event's own date and time fields as a moment; nothing when they are not well formed.
std::optional<EventMoment> EventMomentOf(const ExportedEvent& event);

struct ExportFilter {
  std::optional<EventMoment> since, until;  // inclusive
  std::string user;      // empty: any; else equal ignoring case
  std::string category;  // the event's source; empty: any; else equal ignoring case
  bool newest_first = false;
  // Whether `event` passes every filter given (an event without a valid date fails a date filter).
  bool Matches(const ExportedEvent& event) const;
};

// Reads every live event of the log pair in the data directory that passes `filter`, in the
// order asked. The pair is read in one pass while its lock is held. False with `error` set when
// there is no log or it cannot be opened.
bool ReadExportedEvents(const ExportFilter& filter, std::vector<ExportedEvent>& events,
                        std::string& error);

// The header row "position,date,time,category,user,description" and one row per event; rows end
// with CR LF, fields holding a comma, a quote, CR or LF are quoted with quotes doubled.
void WriteCsvHeader(std::ostream& out);
void WriteCsvRow(std::ostream& out, const ExportedEvent& event);

// One JSON object per line with the same six members.
void WriteJsonLine(std::ostream& out, const ExportedEvent& event);

}  // namespace talmor
