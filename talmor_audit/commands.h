#pragma once

#include <string>
#include <vector>

#include "audit/audit_export.h"

// The export and report commands of talmor-audit. Each takes the arguments after its name and
// returns the program's exit status: 0 done, 2 unreadable log or bad arguments.

// What the filter options and the directory argument of export and report set.
struct ExportOptions {
  talmor::ExportFilter filter;
  std::string format = "csv";  // export: csv or jsonl
  std::string pdf;             // report: the file to write
  std::string directory;       // empty: the data directory as the library finds it
};

// Parses [--format F] [--pdf FILE] [--since DATE] [--until DATE] [--user NAME] [--category TEXT]
// [--order oldest|newest] [DIR]. False with `error` set on anything else.
bool ParseExportOptions(const std::vector<std::string>& args, ExportOptions& options,
                        std::string& error);

// Reads the events the options select from their directory, showing progress on stderr for more
// than 10,000 events when it is a terminal. False with a message printed when the log is missing
// or unreadable.
bool ReadSelectedEvents(const ExportOptions& options, std::vector<talmor::ExportedEvent>& events);

// Reports progress of `done` out of `total` on stderr when total is above 10,000 and stderr is
// a terminal; a call with done == total ends the line.
void ShowProgress(const char* what, size_t done, size_t total);

int RunExport(const std::vector<std::string>& args);
int RunReport(const std::vector<std::string>& args, const std::string& verification);
