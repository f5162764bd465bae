#include <windows.h>

#include "platform/system_log.h"

namespace talmor {
namespace {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  }
  return wide;
}

}  // namespace

// The Application event log, source "Talmor": the message and the five fields as the event's
// strings. The event log takes the report without waiting on a reader; `socket_path` has no
// meaning here.
void SendToSystemLog(const SystemLogEvent& event, const std::string&) {
  HANDLE source = RegisterEventSourceW(nullptr, L"Talmor");
  if (source == nullptr) return;
  const std::wstring texts[] = {Utf8ToWide(Windows1252ToUtf8(event.message)),
                                Utf8ToWide(Windows1252ToUtf8(event.date)),
                                Utf8ToWide(Windows1252ToUtf8(event.time)),
                                Utf8ToWide(Windows1252ToUtf8(event.source)),
                                Utf8ToWide(Windows1252ToUtf8(event.user)),
                                Utf8ToWide(Windows1252ToUtf8(event.description))};
  LPCWSTR strings[6];
  for (int i = 0; i < 6; ++i) strings[i] = texts[i].c_str();
  const WORD type = event.severity == SystemLogSeverity::kWarning ? EVENTLOG_WARNING_TYPE
                                                                   : EVENTLOG_INFORMATION_TYPE;
  ReportEventW(source, type, 0, 1, nullptr, 6, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace talmor
