// The resource tables' own rules: what the dialogs and the Windows resource script rely on,
// not the texts and rectangles themselves.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "resources/dialog_template.h"

namespace talmor {
namespace {

// The product word of a text in the main branding, replaced by the alternative one.
std::string Rebranded(std::string text) {
  for (size_t at; (at = text.find("Quorvane")) != std::string::npos;) {
    text.replace(at, 8, "Sarvento");
  }
  return text;
}

TEST(DialogTemplatesTest, IdsAreUniqueAndFoundAndBrandedPairsDifferOnlyInTheProductWord) {
  std::set<int> template_ids;
  for (const DialogTemplate& t : AllDialogTemplates()) {
    SCOPED_TRACE(t.id);
    EXPECT_TRUE(template_ids.insert(t.id).second);
    EXPECT_EQ(FindDialogTemplate(t.id), &t);
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls) {
      if (c.id == kIdStatic) continue;
      EXPECT_TRUE(ids.insert(c.id).second) << "control " << c.id;
      EXPECT_EQ(t.FindControl(c.id), &c);
    }
  }
  EXPECT_EQ(FindDialogTemplate(*template_ids.begin() - 1), nullptr);
  EXPECT_EQ(FindDialogTemplate(*template_ids.rbegin() + 1), nullptr);

  for (auto [main_id, alt_id] : {std::pair{kIddLogon, kIddLogonAlternative},
                                 std::pair{kIddAccountPolicy, kIddAccountPolicyAlternative}}) {
    const DialogTemplate* main = FindDialogTemplate(main_id);
    const DialogTemplate* alt = FindDialogTemplate(alt_id);
    ASSERT_TRUE(main && alt);
    EXPECT_EQ(Rebranded(main->caption), alt->caption);
    ASSERT_EQ(main->controls.size(), alt->controls.size());
    int rebranded = 0;
    for (size_t i = 0; i < main->controls.size(); ++i) {
      const ControlTemplate &m = main->controls[i], &a = alt->controls[i];
      EXPECT_EQ(m.id, a.id);
      EXPECT_EQ(m.style, a.style);
      EXPECT_EQ(Rebranded(m.text), a.text) << m.id;
      rebranded += m.text != a.text;
      if (m.kind == ControlKind::kIcon) {
        EXPECT_NE(m.icon, a.icon);
      }
    }
    EXPECT_GT(rebranded + (main->caption != alt->caption), 0) << main_id;
  }
}

TEST(MenuAndIconsTest, MenuItemsAreFoundAndIconsAreWholeAndDistinct) {
  const MenuTemplate* menu = FindMenuTemplate(kIdrAuditLogMenu);
  ASSERT_NE(menu, nullptr);
  for (const auto& popup : menu->popups) {
    for (const auto& item : popup.items) {
      if (!item.separator) {
        EXPECT_EQ(menu->FindItem(item.id), &item) << item.text;
      }
    }
  }
  EXPECT_EQ(menu->FindItem(0), nullptr);
  for (int id : {kIdiProductMain, kIdiProductAlternative}) {
    const IconResource* icon = FindIconResource(id);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->rows.size(), static_cast<size_t>(icon->height));
    for (const std::string& row : icon->rows) EXPECT_EQ(row.size(), size_t(icon->width));
    EXPECT_EQ(icon->Pixel(-1, 3), 0u);
    EXPECT_EQ(icon->Pixel(icon->width, 3), 0u);
  }
  EXPECT_NE(FindIconResource(kIdiProductMain)->rows, FindIconResource(kIdiProductAlternative)->rows);
}

}  // namespace
}  // namespace talmor
