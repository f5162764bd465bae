#include <gtest/gtest.h>

#include <set>

#include "resources/dialog_template.h"

namespace talmor {
namespace {

TEST(DialogTemplatesTest, EveryTemplateIsThereWithItsCaptionAndSize) {
  struct Expected {
    int id;
    const char* caption;
    int cx, cy;
    size_t controls;
  };
  const Expected expected[] = {
      {130, "Quorvane Login", 254, 58, 8},       {131, "Audit Policy", 209, 149, 12},
      {132, "Event Detail", 226, 188, 11},       {133, "Group Properties", 265, 199, 11},
      {134, "User Properties", 211, 218, 17},    {135, "Account Policy", 199, 98, 9},
      {136, "Group Rights Policy", 250, 127, 7}, {137, "Audit Log Viewer", 327, 204, 5},
      {138, "Group Membership", 286, 133, 9},    {139, "Sarvento Login", 254, 58, 8},
      {140, "Account Policy", 199, 98, 9},
  };
  ASSERT_EQ(AllDialogTemplates().size(), std::size(expected));
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    const DialogTemplate* t = FindDialogTemplate(e.id);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->caption, e.caption);
    EXPECT_EQ(t->cx, e.cx);
    EXPECT_EQ(t->cy, e.cy);
    EXPECT_EQ(t->font_name, "MS Sans Serif");
    EXPECT_EQ(t->font_size, 8);
    EXPECT_EQ(t->controls.size(), e.controls);
    std::set<int> ids;
    for (const ControlTemplate& c : t->controls) {
      if (c.id != kIdStatic) {
        EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
      }
    }
  }
  EXPECT_EQ(FindDialogTemplate(129), nullptr);
  EXPECT_EQ(FindDialogTemplate(141), nullptr);
}

TEST(DialogTemplatesTest, BrandingsDifferOnlyInTheProductWord) {
  const DialogTemplate* main_policy = FindDialogTemplate(kIddAccountPolicy);
  const DialogTemplate* alt_policy = FindDialogTemplate(kIddAccountPolicyAlternative);
  ASSERT_TRUE(main_policy && alt_policy);
  EXPECT_EQ(main_policy->FindControl(1004)->text,
            "&Maintain individual user settings within Quorvane");
  EXPECT_EQ(alt_policy->FindControl(1004)->text,
            "&Maintain individual user settings within Sarvento");
  EXPECT_EQ(main_policy->FindControl(1003)->text, "&Disable Quorvane Security");
  EXPECT_EQ(alt_policy->FindControl(1003)->text, "&Disable Sarvento Security");
  int differing = 0;
  for (size_t i = 0; i < main_policy->controls.size(); ++i) {
    differing += main_policy->controls[i].text != alt_policy->controls[i].text;
  }
  EXPECT_EQ(differing, 2);

  const DialogTemplate* logon = FindDialogTemplate(kIddLogon);
  const DialogTemplate* alt_logon = FindDialogTemplate(kIddLogonAlternative);
  auto icon_of = [](const DialogTemplate* t) {
    for (const ControlTemplate& c : t->controls) {
      if (c.kind == ControlKind::kIcon) return c.icon;
    }
    return 0;
  };
  EXPECT_EQ(icon_of(logon), kIdiProductMain);
  EXPECT_EQ(icon_of(alt_logon), kIdiProductAlternative);
  EXPECT_TRUE(logon->FindControl(logon_ids::kPassword)->style & kEsPassword);
}

TEST(DialogTemplatesTest, ControlsCarryTheirKindsRectanglesAndStyles) {
  const DialogTemplate* m = FindDialogTemplate(kIddMembership);
  const ControlTemplate* members = m->FindControl(membership_ids::kMembers);
  ASSERT_NE(members, nullptr);
  EXPECT_EQ(members->kind, ControlKind::kListBox);
  EXPECT_EQ(members->rect.x, 5);
  EXPECT_EQ(members->rect.y, 50);
  EXPECT_EQ(members->rect.cx, 110);
  EXPECT_EQ(members->rect.cy, 75);
  EXPECT_TRUE(members->style & kLbsSort);
  EXPECT_TRUE(members->style & kLbsExtendedSel);
  EXPECT_EQ(m->FindControl(membership_ids::kAdd)->text, "<- &Add");
  EXPECT_EQ(m->FindControl(membership_ids::kRemove)->text, "&Remove ->");

  const DialogTemplate* rights = FindDialogTemplate(kIddGroupRightsPolicy);
  const ControlTemplate* combo = rights->FindControl(group_rights_policy_ids::kRight);
  EXPECT_EQ(combo->kind, ControlKind::kComboBox);
  EXPECT_EQ(combo->rect.cy, 95);
  EXPECT_EQ(rights->FindControl(kIdCancel)->style & kWsVisible, 0u);
  EXPECT_EQ(rights->FindControl(kIdOk)->text, "Close");
  EXPECT_EQ(rights->FindControl(kIdOk)->style & 0xF, kBsDefPushButton);

  const DialogTemplate* viewer = FindDialogTemplate(kIddAuditLogViewer);
  EXPECT_EQ(viewer->menu, kIdrAuditLogMenu);
  EXPECT_TRUE(viewer->style & kWsThickFrame);
  const ControlTemplate* list = viewer->FindControl(audit_log_viewer_ids::kList);
  EXPECT_TRUE(list->style & kLbsUseTabStops);
  EXPECT_FALSE(list->style & kLbsSort);
  EXPECT_TRUE(list->style & kWsHScroll);

  const DialogTemplate* detail = FindDialogTemplate(kIddEventDetail);
  const ControlTemplate* description = detail->FindControl(event_detail_ids::kDescription);
  EXPECT_TRUE(description->style & kEsMultiLine);
  EXPECT_TRUE(description->style & kEsReadOnly);

  const DialogTemplate* user = FindDialogTemplate(kIddUserProperties);
  EXPECT_EQ(user->FindControl(user_properties_ids::kConfirmPassword)->rect.y, 75);
  EXPECT_EQ(user->FindControl(user_properties_ids::kRightsLabel)->text,
            "Currently Assigned &Rights:");
}

TEST(MenuAndIconsTest, ViewerMenuAndProductIcons) {
  const MenuTemplate* menu = FindMenuTemplate(kIdrAuditLogMenu);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->popups.size(), 2u);
  EXPECT_EQ(menu->popups[0].text, "&Log");
  EXPECT_EQ(menu->popups[1].text, "&View");
  ASSERT_EQ(menu->popups[0].items.size(), 3u);
  EXPECT_TRUE(menu->popups[0].items[1].separator);
  ASSERT_EQ(menu->popups[1].items.size(), 6u);
  EXPECT_EQ(menu->FindItem(kIdmClearAllEvents)->text, "&Clear All Events");
  EXPECT_EQ(menu->FindItem(kIdmExit)->text, "E&xit");
  EXPECT_EQ(menu->FindItem(kIdmNewestFirst)->text, "&Newest First");
  EXPECT_EQ(menu->FindItem(kIdmOldestFirst)->text, "&Oldest First");
  EXPECT_EQ(menu->FindItem(kIdmDetail)->text, "&Detail...");
  EXPECT_EQ(menu->FindItem(kIdmRefresh)->text, "&Refresh");
  EXPECT_EQ(menu->FindItem(0), nullptr);
  EXPECT_EQ(FindMenuTemplate(130), nullptr);

  for (int id : {kIdiProductMain, kIdiProductAlternative}) {
    const IconResource* icon = FindIconResource(id);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->rows.size(), static_cast<size_t>(icon->height));
    for (const std::string& row : icon->rows)
      EXPECT_EQ(row.size(), static_cast<size_t>(icon->width));
    EXPECT_EQ(icon->Pixel(0, 0), 0u);  // transparent corner
    EXPECT_NE(icon->Pixel(8, 2), 0u);
    EXPECT_EQ(icon->Pixel(-1, 3), 0u);
    EXPECT_EQ(icon->Pixel(16, 3), 0u);
  }
  EXPECT_NE(FindIconResource(128)->rows, FindIconResource(129)->rows);
  EXPECT_EQ(FindIconResource(130), nullptr);
}

}  // namespace
}  // namespace talmor
