// A record file of arbitrary bytes read the way the loaders read it, every record and every key
// of it looked up; then each value found written by RecordWriter under its key and read back.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "storage/record_format.h"
#include "storage/record_reader.h"
#include "storage/record_writer.h"

using namespace talmor;

namespace {

const char* const kKeys[] = {"UserName", "FullName", "Description", "Password", "GroupName",
                             "Members",  "Right",    "AuditEnable", "AccountDisabled", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = fuzz::FreshDataDirectory();
  const std::string path = dir + "/INPUT.REC";
  fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  std::vector<std::pair<std::string, std::string>> found;
  {
    RecordReader reader(path);
    if (reader.failed()) fuzz::Fail("an existing record file could not be opened");
    int records = 0;
    for (bool f = reader.FindFirstRecord(); f && records < 64; f = reader.FindNextRecord()) {
      ++records;
      for (const char* key : kKeys) {
        std::string value;
        std::int32_t number;
        if (reader.GetString(key, value)) {
          found.emplace_back(key, value);
        } else if (!value.empty()) {
          fuzz::Fail("a missing key gave a value");
        }
        const bool has_number = reader.GetInteger(key, number);
        if (!has_number && number != 0) fuzz::Fail("a missing key gave a number");
        if (has_number != reader.GetString(key, value)) fuzz::Fail("lookups disagree");
      }
    }
  }

  // The loaders' one-call lookup of a user's fields answers as the lookups one by one do, and
  // leaves the reader where they leave it.
  {
    static constexpr std::string_view kUserKeys[] = {"UserName", "FullName", "Description",
                                                     "Password", "CannotChangePassword",
                                                     "AccountDisabled"};
    constexpr std::size_t kCount = std::size(kUserKeys);
    RecordReader at_once(path), one_by_one(path);
    bool a = at_once.FindFirstRecord(), b = one_by_one.FindFirstRecord();
    for (int records = 0; a && b && records < 64; ++records) {
      std::string_view together[kCount], single[kCount];
      at_once.GetViews(kUserKeys, together, kCount);
      for (std::size_t k = 0; k < kCount; ++k) one_by_one.GetView(kUserKeys[k], single[k]);
      for (std::size_t k = 0; k < kCount; ++k) {
        if (together[k] != single[k]) fuzz::Fail("a lookup of all the fields disagrees");
      }
      a = at_once.FindNextRecord();
      b = one_by_one.FindNextRecord();
    }
    if (a != b) fuzz::Fail("a lookup of all the fields left the reader elsewhere");
  }

  // What was read can be written and reads back the same. A group that is not the canonical one
  // for its byte may decode to the line end byte inside a value (only the whole decoded value
  // ends a line); no writer can store such a value, so it is left out.
  std::erase_if(found, [](const auto& kv) { return kv.second.find(kLineEnd) != std::string::npos; });
  const std::string copy = dir + "/COPY.REC";
  {
    RecordWriter writer(copy);
    for (const auto& [key, value] : found) {
      writer.WriteStart();
      writer.WriteString(key, value);
      writer.WriteEnd();
    }
    writer.Close();
  }
  RecordReader reader(copy);
  size_t i = 0;
  for (bool f = reader.FindFirstRecord(); f; f = reader.FindNextRecord(), ++i) {
    if (i >= found.size()) fuzz::Fail("more records read back than written");
    std::string value;
    if (!reader.GetString(found[i].first, value) || value != found[i].second) {
      // A key with '=' in it cannot be told from its value; the fixed keys have none.
      fuzz::Fail("a written value did not read back");
    }
  }
  if (i != found.size()) fuzz::Fail("fewer records read back than written");
  return 0;
}
