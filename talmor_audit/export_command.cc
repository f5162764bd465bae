#include <cstdio>
#include <cstdlib>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "commands.h"
#include "platform/data_directory.h"

namespace {

constexpr size_t kProgressThreshold = 10000;

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

void UseDirectory(const std::string& directory) {
  if (directory.empty()) return;
#ifdef _WIN32
  _putenv_s("QUORVANE_WINDIR", directory.c_str());
#else
  setenv("QUORVANE_WINDIR", directory.c_str(), 1);
#endif
}

}  // namespace

bool ParseExportOptions(const std::vector<std::string>& args, ExportOptions& options,
                        std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      if (!options.directory.empty()) {
        error = "more than one directory given";
        return false;
      }
      options.directory = arg;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--format" && (value == "csv" || value == "jsonl")) {
      options.format = value;
    } else if (arg == "--pdf") {
      options.pdf = value;
    } else if (arg == "--since" || arg == "--until") {
      const auto moment = talmor::ParseFilterMoment(value, arg == "--until");
      if (!moment) {
        error = "not a date: " + value;
        return false;
      }
      (arg == "--since" ? options.filter.since : options.filter.until) = moment;
    } else if (arg == "--user") {
      options.filter.user = value;
    } else if (arg == "--category") {
      options.filter.category = value;
    } else if (arg == "--order" && (value == "oldest" || value == "newest")) {
      options.filter.newest_first = value == "newest";
    } else {
      error = "unknown option or value: " + arg + " " + value;
      return false;
    }
  }
  return true;
}

void ShowProgress(const char* what, size_t done, size_t total) {
  if (total <= kProgressThreshold || !StderrIsTerminal()) return;
  if (done == total || done % 1000 == 0) {
    std::fprintf(stderr, "\r%s %zu of %zu events", what, done, total);
    if (done == total) std::fputc('\n', stderr);
  }
}

bool ReadSelectedEvents(const ExportOptions& options, std::vector<talmor::ExportedEvent>& events) {
  UseDirectory(options.directory);
  std::string error;
  if (!talmor::ReadExportedEvents(options.filter, events, error)) {
    std::fprintf(stderr, "talmor-audit: %s\n", error.c_str());
    return false;
  }
  return true;
}

int RunExport(const std::vector<std::string>& args) {
  ExportOptions options;
  std::string error;
  if (!ParseExportOptions(args, options, error) || !options.pdf.empty()) {
    std::fprintf(stderr, "talmor-audit export: %s\n", error.empty() ? "--pdf is for report" : error.c_str());
    return 2;
  }
  std::vector<talmor::ExportedEvent> events;
  if (!ReadSelectedEvents(options, events)) return 2;
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // rows end with CR LF exactly
#endif
  std::ios::sync_with_stdio(false);
  const bool csv = options.format == "csv";
  if (csv) talmor::WriteCsvHeader(std::cout);
  for (size_t i = 0; i < events.size(); ++i) {
    if (csv) {
      talmor::WriteCsvRow(std::cout, events[i]);
    } else {
      talmor::WriteJsonLine(std::cout, events[i]);
    }
    ShowProgress("exported", i + 1, events.size());
  }
  std::cout.flush();
  return std::cout ? 0 : 2;
}
