#include "manager/rights_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace talmor {
namespace {

TEST(RightsCatalogueTest, NamesDifferOnlyInRightThreeBetweenBrandings) {
  std::set<std::string_view> names;
  for (uint32_t right = 0; right < kRightCount; ++right) {
    const std::string_view main = RightName(right, false);
    const std::string_view alternative = RightName(right, true);
    EXPECT_FALSE(main.empty()) << right;
    names.insert(main);
    if (right == 3) {
      EXPECT_EQ(main, "Customize Quorvane system globals");
      EXPECT_EQ(alternative, "Customize Sarvento system globals");
    } else {
      EXPECT_EQ(main, alternative) << right;
    }
  }
  EXPECT_EQ(names.size(), kRightCount);  // no name given twice
  EXPECT_EQ(RightName(0, false), "Administer user accounts and groups");
  EXPECT_EQ(RightName(14, false), "Start acquisitions");
  EXPECT_EQ(RightName(25, true), "Modify Pellion Browser Schemes");
  EXPECT_TRUE(RightName(26, false).empty());
  EXPECT_TRUE(RightName(4294967295u, true).empty());
}

TEST(RightsCatalogueTest, CategoriesAndTheOptionsThatGateThem) {
  EXPECT_EQ(AuditCategoryFor(1).text, "Logon/Logoff");
  EXPECT_EQ(AuditCategoryFor(1).gate, AuditGate::kLogon);
  EXPECT_EQ(AuditCategoryFor(2).text, "Object Access");
  EXPECT_EQ(AuditCategoryFor(3).text, "Policy Change");
  EXPECT_EQ(AuditCategoryFor(3).gate, AuditGate::kPolicy);
  EXPECT_EQ(AuditCategoryFor(4).text, "Object Viewed");
  EXPECT_EQ(AuditCategoryFor(5).text, "Object Modified");
  for (uint32_t code : {2u, 4u, 5u}) EXPECT_EQ(AuditCategoryFor(code).gate, AuditGate::kObject);
  for (uint32_t code : {0u, 6u, 9u, 4294967295u}) {
    EXPECT_EQ(AuditCategoryFor(code).text, "n/a") << code;
    EXPECT_EQ(AuditCategoryFor(code).gate, AuditGate::kOther) << code;
  }
}

}  // namespace
}  // namespace talmor
