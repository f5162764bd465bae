#include "platform/system_log.h"

#include <cstdint>

namespace talmor {
namespace {

// Unicode code points of Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no
// character (the byte then stands for the C1 control of the same value).
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// UTF-8 `text` cut to at most `limit` bytes, never inside a character.
std::string_view CutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// An RFC 5424 parameter value: '"', '\' and ']' escaped with a backslash.
void AppendParam(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  for (char c : value) {
    if (c == '"' || c == '\\' || c == ']') out.push_back('\\');
    out.push_back(c);
  }
  out += '"';
}

// A journal field: "NAME=value\n", or the length-prefixed form when the value holds a line end.
void AppendField(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  if (value.find('\n') == std::string_view::npos) {
    out += '=';
    out += value;
  } else {
    out += '\n';
    std::uint64_t size = value.size();
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((size >> (8 * i)) & 0xFF));
    out += value;
  }
  out += '\n';
}

constexpr int kFacilityAuthpriv = 10;

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    std::uint32_t c = b;
    if (b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] != 0) c = kHighControls[b - 0x80];
    AppendUtf8(out, c);
  }
  return out;
}

std::string FormatRfc5424(const SystemLogEvent& event, std::string_view timestamp,
                          std::string_view host, long pid) {
  const int priority = kFacilityAuthpriv * 8 + static_cast<int>(event.severity);
  const std::string description = Windows1252ToUtf8(event.description);
  const std::string_view cut = CutUtf8(description, kSystemLogTextLimit);
  std::string out = "<" + std::to_string(priority) + ">1 ";
  out += timestamp.empty() ? "-" : timestamp;
  out += ' ';
  out += host.empty() ? "-" : host;
  out += " talmor32 " + std::to_string(pid) + " audit [audit@32473";
  AppendParam(out, "date", Windows1252ToUtf8(event.date));
  AppendParam(out, "time", Windows1252ToUtf8(event.time));
  AppendParam(out, "source", Windows1252ToUtf8(event.source));
  AppendParam(out, "user", Windows1252ToUtf8(event.user));
  AppendParam(out, "description", cut);
  out += "] ";
  out += CutUtf8(Windows1252ToUtf8(event.message), kSystemLogTextLimit);
  return out;
}

std::string FormatJournalFields(const SystemLogEvent& event) {
  std::string out;
  AppendField(out, "MESSAGE", Windows1252ToUtf8(event.message));
  AppendField(out, "PRIORITY", std::to_string(static_cast<int>(event.severity)));
  AppendField(out, "SYSLOG_FACILITY", std::to_string(kFacilityAuthpriv));
  AppendField(out, "SYSLOG_IDENTIFIER", "talmor32");
  AppendField(out, "TALMOR_DATE", Windows1252ToUtf8(event.date));
  AppendField(out, "TALMOR_TIME", Windows1252ToUtf8(event.time));
  AppendField(out, "TALMOR_SOURCE", Windows1252ToUtf8(event.source));
  AppendField(out, "TALMOR_USER", Windows1252ToUtf8(event.user));
  AppendField(out, "TALMOR_DESCRIPTION", Windows1252ToUtf8(event.description));
  return out;
}

}  // namespace talmor
