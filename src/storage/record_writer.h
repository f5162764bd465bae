#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace talmor {

// Creates or rewrites one record file (the scrambled text format of record_format.h), replacing
// it in one step.
//
// The constructor remembers the target's modification and access (and creation) times, or the
// current time when the target does not exist, and creates a temporary file beside it. Records
// go to the temporary file through a buffer. Close() completes the file: it writes out the
// buffer, makes the data durable, gives the temporary file the attributes read-only and hidden
// and the remembered times, and renames it over the target (an existing read-only target is
// replaced too). Until then the target is untouched. After the rename, Close removes the
// temporary files of the same target that an interrupted save left (they hold its records).
//
// Failures raise FileException: a temporary file that could not be created (the writer is then
// in its failed state, and every write and Close raise the error of that open), a failed write,
// or a failed step of Close. Destroying a writer that was not closed successfully removes the
// temporary file and leaves the target as it was; it never raises.
//
// A line's text cannot hold the line end byte 0x01: the writer strips it from keys and values.
class RecordWriter {
 public:
  explicit RecordWriter(const std::string& path);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  bool failed() const { return open_error_ != nullptr; }
  // The temporary file's path (empty in the failed state); for tests and messages.
  const std::string& temporary_path() const { return temporary_path_; }

  // Each writes one line and returns true; it raises instead when the line cannot be written.
  bool WriteStart();
  bool WriteString(std::string_view key, std::string_view value);
  // The value in signed decimal, as "%d" gives it.
  bool WriteInteger(std::string_view key, std::int32_t value);
  bool WriteEnd();

  // Completes the file and replaces the target with it (see above). After a success later calls
  // do nothing; after a failure they raise.
  void Close();

 private:
  void ThrowIfFailed() const;
  void WriteLine(std::string_view key, std::string_view separator, std::string_view value);
  void Append(std::string_view text);
  void FlushBuffer();
  void Discard() noexcept;

  std::string path_;
  std::string temporary_path_;
  FileStatus remembered_;  // the times to put back
  std::unique_ptr<File> file_;
  std::exception_ptr open_error_;
  std::vector<unsigned char> buffer_;
  std::size_t buffered_ = 0;
  bool closed_ = false;     // no more writes
  bool committed_ = false;  // the target was replaced
};

}  // namespace talmor
