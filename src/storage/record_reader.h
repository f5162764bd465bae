#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace talmor {

class File;

// Read-only access to one record file (the scrambled text format of record_format.h).
//
// Calling order: FindFirstRecord, then while the last find returned true any number of
// GetString/GetInteger calls for the current record, then FindNextRecord. A file that cannot be
// opened puts the reader in its failed state: no record is found and every lookup reports the
// key missing. A read error part-way is taken as the end of the file. An empty line, wherever it
// stands, ends every scan as the end of the file would; a short final group ends the file.
//
// The file is read through a buffer; the positions behave as if the groups were read one by one:
// FindNextRecord continues from where the last scan stopped, each lookup rescans the current
// record from its start.
class RecordReader {
 public:
  explicit RecordReader(const std::string& path);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  bool failed() const { return file_ == nullptr; }

  // Moves to the start of the file, then does what FindNextRecord does.
  bool FindFirstRecord();
  // Reads lines from the current position up to one that is exactly "##START"; the record starts
  // just after it. False when a line read fails first.
  bool FindNextRecord();
  // Scans the current record from its start up to "##END" for the first line whose text before
  // its first '=' (the whole line when it has none) equals `key` exactly. `value` gets the text
  // after the '=' (the whole line when it has none); on false it is empty.
  bool GetString(std::string_view key, std::string& value);
  // `value` is 0 unless the key is found; then it is the text converted by ParseRecordInteger.
  bool GetInteger(std::string_view key, std::int32_t& value);

 private:
  // Reads one line into line_; false when it is empty (end of file, or two line ends in a row).
  bool ReadLine();
  // Makes at least 4 bytes from pos_ available in the buffer, unless the file ends first.
  bool FillGroup();

  std::unique_ptr<File> file_;
  std::string path_;
  std::vector<unsigned char> buffer_;
  std::uint64_t buffer_start_ = 0;  // file offset of buffer_[0]
  std::size_t buffer_length_ = 0;   // valid bytes in buffer_
  std::uint64_t pos_ = 0;           // logical position: offset of the next group to read
  std::uint64_t record_start_ = 0;
  bool have_record_ = false;
  std::string line_;
};

// The record format's integer conversion: an optional leading '-', then decimal digits up to the
// first other character, accumulated with 32-bit wrap; no digits (an empty text, a leading '+' or
// space) give 0.
std::int32_t ParseRecordInteger(std::string_view text);

}  // namespace talmor
