// The resource tables' own rules: what the dialogs and the Windows resource script rely on,
// not the texts and rectangles themselves.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "resources/dialog_template.h"

namespace talmor {
namespace {

TEST(DialogTemplatesTest, IdsAreUniqueAndFoundAndBrandedPairsDifferOnlyInTheProductWord) {
  std::set<int> template_ids;
  for (const DialogTemplate& t : AllDialogTemplates()) {
    EXPECT_TRUE(template_ids.insert(t.id).second) << t.id;
    EXPECT_EQ(FindDialogTemplate(t.id), &t);
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls) {
      EXPECT_TRUE(c.id == kIdStatic || (ids.insert(c.id).second && t.FindControl(c.id) == &c))
          << t.id << "/" << c.id;
    }
  }
  EXPECT_EQ(FindDialogTemplate(*template_ids.rbegin() + 1), nullptr);
  const std::regex product("Quorvane");
  for (auto [main_id, alt_id] : {std::pair{kIddLogon, kIddLogonAlternative},
                                 std::pair{kIddAccountPolicy, kIddAccountPolicyAlternative}}) {
    const DialogTemplate *main = FindDialogTemplate(main_id), *alt = FindDialogTemplate(alt_id);
    ASSERT_TRUE(main && alt && main->controls.size() == alt->controls.size());
    EXPECT_EQ(std::regex_replace(main->caption, product, "Sarvento"), alt->caption);
    for (size_t i = 0; i < main->controls.size(); ++i) {
      const ControlTemplate &m = main->controls[i], &a = alt->controls[i];
      EXPECT_TRUE(m.id == a.id && m.style == a.style) << main_id << "/" << i;
      EXPECT_EQ(std::regex_replace(m.text, product, "Sarvento"), a.text) << m.id;
      EXPECT_TRUE(m.kind != ControlKind::kIcon || m.icon != a.icon) << m.id;
    }
  }
  const MenuTemplate* menu = FindMenuTemplate(kIdrAuditLogMenu);
  ASSERT_NE(menu, nullptr);
  for (const auto& popup : menu->popups) {
    for (const auto& item : popup.items) EXPECT_TRUE(item.separator || menu->FindItem(item.id) == &item);
  }
  for (int id : {kIdiProductMain, kIdiProductAlternative}) {
    const IconResource* icon = FindIconResource(id);
    ASSERT_EQ(icon->rows.size(), static_cast<size_t>(icon->height));
    for (const std::string& row : icon->rows) EXPECT_EQ(row.size(), size_t(icon->width));
  }
}

}  // namespace
}  // namespace talmor
