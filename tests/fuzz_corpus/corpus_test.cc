// Every file of each fuzzer's regression corpus (fuzz/corpus/<fuzzer>/) fed to that fuzzer's
// entry point, one test row per file. A fuzzer reports a broken promise by aborting, so each row
// runs in a child process, with its scratch directories under a temporary directory of the test.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/process.h"
#include "support/temp_dir.h"

// The fuzzers' entry points, renamed when they were compiled into this program.
#define TALMOR_FUZZER(name) \
  extern "C" int name##_fuzzer_entry(const uint8_t* data, size_t size);
TALMOR_CORPUS_FUZZERS
#undef TALMOR_FUZZER

namespace talmor::testing {
namespace {

using Entry = int (*)(const uint8_t*, size_t);

struct Row {
  std::string fuzzer;
  Entry entry;
  std::filesystem::path file;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.fuzzer << " " << row.file.filename(); }

std::vector<Row> Rows() {
  std::vector<Row> rows;
#define TALMOR_FUZZER(name)                                                                   \
  for (const auto& file :                                                                     \
       std::filesystem::directory_iterator(std::filesystem::path(TALMOR_CORPUS_DIR) / #name)) { \
    rows.push_back(Row{#name, &name##_fuzzer_entry, file.path()});                            \
  }
  TALMOR_CORPUS_FUZZERS
#undef TALMOR_FUZZER
  return rows;
}

class Corpus : public ::testing::TestWithParam<Row> {};

TEST_P(Corpus, InputKeepsEveryPromiseOfItsFuzzer) {
  const Row& row = GetParam();
  const std::string input = ReadBytes(row.file.string());
  TempDir scratch;
  const int code = RunInChild([&] {
    ::setenv("TMPDIR", scratch.path().c_str(), 1);
    return row.entry(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  });
  EXPECT_EQ(code, 0) << row.file << " (the child's output tells the broken promise)";
}

INSTANTIATE_TEST_SUITE_P(Fuzzers, Corpus, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           std::string name = info.param.fuzzer + "_" +
                                              info.param.file.filename().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(CorpusTest, EveryFuzzerHasRows) {
  std::vector<std::string> fuzzers;
#define TALMOR_FUZZER(name) fuzzers.push_back(#name);
  TALMOR_CORPUS_FUZZERS
#undef TALMOR_FUZZER
  for (const std::string& fuzzer : fuzzers) {
    EXPECT_FALSE(std::filesystem::is_empty(std::filesystem::path(TALMOR_CORPUS_DIR) / fuzzer))
        << fuzzer;
  }
}

}  // namespace
}  // namespace talmor::testing
