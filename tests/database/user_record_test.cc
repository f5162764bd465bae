#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "database/security_records.h"

namespace talmor {
namespace {

// The four texts share one buffer: fields set from views of the record itself must take the
// old texts, and an absent argument keeps its field while an empty one clears it.
TEST(UserRecord, FieldsSetFromTheRecordsOwnTextsTakeTheOldTexts) {
  UserRecord u("alice", "Alice of the long full name", "a description longer than a buffer", "pw");
  u.SetStrings(u.Description(), std::nullopt, u.UserName(), std::string_view());
  std::string name, full, description, password = "untouched";
  u.GetStrings(&name, &full, &description, &password);
  EXPECT_EQ(name + "|" + full + "|" + description + "|" + password,
            "a description longer than a buffer|Alice of the long full name|alice|");
  u.SetStrings(u.FullName(), u.UserName(), std::nullopt, u.Description());
  EXPECT_EQ(std::string(u.UserName()) + "|" + std::string(u.FullName()) + "|" +
                std::string(u.Description()) + "|" + std::string(u.Password()),
            "Alice of the long full name|a description longer than a buffer|alice|alice");
}

}  // namespace
}  // namespace talmor
