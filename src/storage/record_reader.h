#pragma once

#include <cstddef>
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
// The first find or lookup decodes the whole file into lines; the positions then behave as if
// the groups were read one by one: FindNextRecord continues from where the last scan stopped,
// each lookup rescans the current record from its start (the record's fields are taken apart
// once, on its first lookup, with the position each lookup would stop at).
class RecordReader {
 public:
  explicit RecordReader(const std::string& path);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  bool failed() const { return file_ == nullptr; }

  // The number of lines of the file, decoding it first; 0 in the failed state.
  std::size_t LineCount() {
    Decode();
    return line_ends_.size();
  }
  // Moves to the start of the file, then does what FindNextRecord does.
  bool FindFirstRecord();
  // Reads lines from the current position up to one that is exactly "##START"; the record starts
  // just after it. False when a line read fails first.
  bool FindNextRecord();
  // Scans the current record from its start up to "##END" for the first line whose text before
  // its first '=' (the whole line when it has none) equals `key` exactly. `value` gets the text
  // after the '=' (the whole line when it has none); on false it is empty.
  bool GetString(std::string_view key, std::string& value);
  // The same, the value viewing the reader's own text (valid as long as the reader).
  bool GetView(std::string_view key, std::string_view& value);
  // The same as GetView for keys[0], keys[1] and so on in turn, each value empty when its key is
  // missing. The keys must differ and hold no '='. A record whose first lines carry exactly
  // these keys in this order (as a writer makes it) is read without taking it apart.
  void GetViews(const std::string_view* keys, std::string_view* values, std::size_t count);
  // `value` is 0 unless the key is found; then it is the text converted by ParseRecordInteger.
  bool GetInteger(std::string_view key, std::int32_t& value);

 private:
  // One field line of the current record: its key, its value and the line after it.
  struct Field {
    std::string_view key;
    std::string_view value;
    std::size_t next_line;
  };

  // Decodes the whole file into text_ and line_ends_, once.
  void Decode();
  // Takes the current record's field lines apart (called once per record): the lines from
  // record_start_ on, passing the one that ends the record (an empty line or "##END"), up to
  // the file's end; an empty line ends the record as the file's end does.
  void IndexRecord();

  std::unique_ptr<File> file_;
  std::string path_;
  bool decoded_ = false;
  std::unique_ptr<char[]> text_;  // the decoded bytes, one per group, line ends included
  // Where each line's line end stands in text_ (for a last line without one, where the text
  // ends); line i starts just after line i - 1's.
  std::vector<std::size_t> line_ends_;
  std::size_t pos_ = 0;                   // the next line to read
  std::size_t record_start_ = 0;          // the line after the current "##START"
  std::size_t indexed_record_ = SIZE_MAX;  // the record fields_ belongs to
  std::vector<Field> fields_;
  std::size_t scan_end_ = 0;  // the line after the one a lookup of a missing key stops at
};

// The record format's integer conversion: an optional leading '-', then decimal digits up to the
// first other character, accumulated with 32-bit wrap; no digits (an empty text, a leading '+' or
// space) give 0.
std::int32_t ParseRecordInteger(std::string_view text);

}  // namespace talmor
