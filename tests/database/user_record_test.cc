#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

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

std::string Texts(const UserRecord& u) {
  return std::string(u.UserName()) + "|" + std::string(u.FullName()) + "|" +
         std::string(u.Description()) + "|" + std::string(u.Password());
}

// Short texts live inside the record, long ones apart: every copy, move and change between the
// two keeps the texts, and a moved-from record is left empty.
TEST(UserRecord, CopiesMovesAndChangesKeepTextsOfEveryLength) {
  for (const std::size_t length : {0, 1, 25, 26, 27, 200}) {
    const std::string a(length, 'a'), b(length, 'b'), c(length, 'c'), d(length, 'd');
    UserRecord u(a, b, c, d);
    u.SetAccountDisabled(1);
    const std::string expected = a + "|" + b + "|" + c + "|" + d;
    UserRecord copy(u);
    UserRecord assigned("x", "", "", "");
    assigned = copy;
    assigned = *&assigned;
    UserRecord moved(std::move(copy));
    UserRecord move_assigned(std::string(300, 'z'), "", "", "");
    move_assigned = std::move(moved);
    for (const UserRecord* r : {&u, &assigned, &move_assigned}) {
      EXPECT_EQ(Texts(*r), expected) << length;
      EXPECT_TRUE(r->GetAccountDisabled());
    }
    EXPECT_EQ(Texts(copy) + Texts(moved), "||||||") << length;
    // Growing from the record's own texts, past the room inside it, then shrinking back.
    u.SetStrings(std::string(u.UserName()) + std::string(120, 'e'), u.Password(), std::nullopt,
                 u.FullName());
    EXPECT_EQ(Texts(u), a + std::string(120, 'e') + "|" + d + "|" + c + "|" + b) << length;
    u.SetStrings(u.Password(), u.Description(), u.FullName(), "");
    EXPECT_EQ(Texts(u), b + "|" + c + "|" + d + "|") << length;
  }
}

}  // namespace
}  // namespace talmor
