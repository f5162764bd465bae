// The reviewer's exports read back with independent readers (an RFC 4180 reader here, Qt's JSON
// reader) equal the events the library reads, for each filter and order; the report's pages.
#include <QJsonDocument>
#include <QJsonObject>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <sstream>

#include "commands.h"
#include "platform/local_time.h"
#include "platform/system_log.h"
#include "support/audit_events.h"
#include "support/data_dir.h"

namespace talmor::testing {
namespace {

TimePoint g_now;
TimePoint Now() { return g_now; }

// Written on 1 to 4 December 2026 at 10:00:00 local time.
struct Written { const char* source; const char* user; const char* description; };
const Written kWritten[] = {{"Logon", "alice", "plain"},
                            {"Run, \"7\"", "Bob", "comma, \"quote\"\r\nsecond line"},
                            {"Logon", "ALICE", "8-bit \x80\xE9"},
                            {"Object Access", "", "tab\tand \x01 control"}};

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      rows.back().back() += text[i++];
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      rows.back().emplace_back();
    } else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      rows.back().back() += c;
    }
  }
  rows.pop_back();
  return rows;
}

std::string Pipe(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  for (int c; p != nullptr && (c = fgetc(p)) != EOF;) out += static_cast<char>(c);
  if (p != nullptr) pclose(p);
  return out;
}

class AuditExportTest : public DataDirTest {
 protected:
  void SetUp() override {
    const ClockFunction previous = SetClock(&Now);
    for (int day = 1; day <= 4; ++day) {
      std::tm t{};
      t.tm_hour = 10, t.tm_mday = day, t.tm_mon = 11, t.tm_year = 126, t.tm_isdst = -1;
      g_now = std::chrono::system_clock::from_time_t(std::mktime(&t));
      AuditLogFile log;
      const Written& w = kWritten[day - 1];
      ASSERT_TRUE(log.AppendEvent(w.source, w.user, w.description));
    }
    SetClock(previous);
  }
};

struct Row { std::vector<std::string> args; std::vector<uint32_t> positions; };

TEST_F(AuditExportTest, ExportsReadBackAsTheLibraryReadsTheEvents) {
  const std::vector<AuditEvent> library = AuditEvents();
  ASSERT_EQ(library.size(), 4u);
  const Row rows[] = {{{}, {0, 1, 2, 3}},
                      {{"--order", "newest"}, {3, 2, 1, 0}},
                      {{"--since", "02-DEC-2026", "--until", "2026-12-03"}, {1, 2}},
                      {{"--until", "2026-12-02T09:59"}, {0}},
                      {{"--since", "2026-12-02 10:00:00", "--order", "newest"}, {3, 2, 1}},
                      {{"--user", "Alice", "--category", "logon"}, {0, 2}},
                      {{"--category", "Run, \"7\""}, {1}}};
  for (const Row& row : rows) {
    ExportOptions options;
    std::string error;
    ASSERT_TRUE(ParseExportOptions(row.args, options, error)) << error;
    std::vector<ExportedEvent> events;
    ASSERT_TRUE(ReadExportedEvents(options.filter, events, error)) << error;
    std::ostringstream csv, jsonl;
    WriteCsvHeader(csv);
    for (const ExportedEvent& e : events) WriteCsvRow(csv, e), WriteJsonLine(jsonl, e);
    const auto table = ParseCsv(csv.str());
    std::istringstream lines(jsonl.str());
    ASSERT_EQ(table.size(), row.positions.size() + 1) << csv.str();
    EXPECT_THAT(table[0], ::testing::ElementsAre("position", "date", "time", "category", "user", "description"));
    for (size_t i = 0; i < row.positions.size(); ++i) {
      const AuditEvent& e = library[row.positions[i]];
      const std::vector<std::string> expected = {
          std::to_string(row.positions[i]), e.date, e.time, Windows1252ToUtf8(e.source),
          Windows1252ToUtf8(e.user), Windows1252ToUtf8(e.description)};
      EXPECT_EQ(table[i + 1], expected);
      std::string line;
      ASSERT_TRUE(std::getline(lines, line));
      const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
      EXPECT_EQ(std::vector<std::string>({std::to_string(o["position"].toInt()),
                                          o["date"].toString().toStdString(),
                                          o["time"].toString().toStdString(),
                                          o["category"].toString().toStdString(),
                                          o["user"].toString().toStdString(),
                                          o["description"].toString().toStdString()}),
                expected);
    }
  }
  EXPECT_EQ(Windows1252ToUtf8(library[2].description), "8-bit \u20AC\u00E9");
  ExportOptions bad;
  std::string error;
  for (const char* date : {"31-Foo-2026", "2026-13-01", "2026-12-01T25:00", "2026-12-01x"}) {
    EXPECT_FALSE(ParseExportOptions({"--since", date}, bad, error)) << date;
  }
}

#ifdef TALMOR_AUDIT_REPORT
TEST_F(AuditExportTest, ReportHasItsPagesHeaderAndEveryEvent) {
  if (Pipe("command -v pdftotext pdfinfo").empty()) GTEST_SKIP() << "poppler-utils not installed";
  {
    AuditLogFile log;
    for (int i = 0; i < 150; ++i) log.AppendEvent("Batch", "carol", "sample " + std::to_string(i));
  }
  const std::string pdf = File("report.pdf");
  ASSERT_EQ(RunReport({"--pdf", pdf, "--order", "newest"}, "intact (test)"), 0);
  const std::string info = Pipe("pdfinfo '" + pdf + "'");
  std::string text = Pipe("pdftotext -layout '" + pdf + "' -");
  for (size_t at; (at = text.find("\uFB01")) != std::string::npos;) text.replace(at, 3, "fi");
  const size_t pages_at = info.find("Pages:");
  ASSERT_NE(pages_at, std::string::npos) << info;
  const int pages = std::atoi(info.c_str() + pages_at + 6);
  EXPECT_GE(pages, 2);
  for (int p = 1; p <= pages; ++p) {
    EXPECT_NE(text.find("Page " + std::to_string(p) + " of " + std::to_string(pages)), std::string::npos);
  }
  for (const char* expected : {"Verification: intact (test)", "Events: 154", "second line",
                               "sample 0", "sample 149", "Reviewed by:", "oldest first" }) {
    EXPECT_EQ(text.find(expected) != std::string::npos, std::string(expected) != "oldest first")
        << expected;
  }
}
#endif

}  // namespace
}  // namespace talmor::testing
