#pragma once

#include <string>
#include <string_view>

namespace talmor {

// Messages to the system log: the local syslog receiver on Linux (the journal when it runs,
// else the syslog socket), the Application event log on Windows.

enum class SystemLogSeverity { kWarning = 4, kNotice = 5 };

// One audit event as the system log receives it: the five fields of the log record, in the
// record's own 8-bit text, and what the message says.
struct SystemLogEvent {
  SystemLogSeverity severity = SystemLogSeverity::kNotice;
  std::string date, time, source, user, description;
  std::string message;
};

// `text` with bytes 0x80 to 0xFF read as Windows-1252 (the five bytes that code page leaves
// undefined as the C1 controls of the same value), written as UTF-8.
std::string Windows1252ToUtf8(std::string_view text);

// An RFC 5424 message: facility authpriv, the event's severity, identity "talmor32", the five
// fields as structured data "audit@32473", the message as its text. All text is UTF-8; a
// description longer than kSystemLogTextLimit bytes is cut on a character boundary.
inline constexpr std::size_t kSystemLogTextLimit = 4000;
std::string FormatRfc5424(const SystemLogEvent& event, std::string_view timestamp,
                          std::string_view host, long pid);

// The journal's native datagram: MESSAGE, PRIORITY, SYSLOG_FACILITY, SYSLOG_IDENTIFIER and the
// five fields as TALMOR_DATE, TALMOR_TIME, TALMOR_SOURCE, TALMOR_USER, TALMOR_DESCRIPTION.
std::string FormatJournalFields(const SystemLogEvent& event);

// Sends `event` without waiting: to the datagram socket `socket_path` when it is not empty,
// else to the system's own receiver. A receiver that is missing, full or slow loses the
// message; nothing is raised and the caller never blocks.
void SendToSystemLog(const SystemLogEvent& event, const std::string& socket_path);

}  // namespace talmor
