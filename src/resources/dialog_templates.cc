#include <algorithm>

#include "resources/dialog_template.h"

namespace talmor {
namespace {

constexpr uint32_t kChild = kWsVisible;
constexpr uint32_t kModalDialog =
    kWsPopup | kWsVisible | kWsCaption | kWsSysMenu | kDsModalFrame | kDsSetFont;
constexpr const char* kFont = "MS Sans Serif";

ControlTemplate Make(int id, ControlKind kind, DialogRect rect, std::string text, uint32_t style) {
  ControlTemplate c;
  c.id = id;
  c.kind = kind;
  c.rect = rect;
  c.text = std::move(text);
  c.style = style | kChild;
  return c;
}

ControlTemplate Label(DialogRect r, std::string text, int id = kIdStatic) {
  return Make(id, ControlKind::kStatic, r, std::move(text), kSsLeft | kWsGroup);
}
ControlTemplate Edit(int id, DialogRect r, uint32_t extra = kEsAutoHScroll) {
  return Make(id, ControlKind::kEdit, r, "", kWsBorder | kWsTabStop | extra);
}
ControlTemplate DefButton(int id, DialogRect r, std::string text) {
  return Make(id, ControlKind::kPushButton, r, std::move(text), kBsDefPushButton | kWsTabStop);
}
ControlTemplate Button(int id, DialogRect r, std::string text, uint32_t extra = 0) {
  return Make(id, ControlKind::kPushButton, r, std::move(text), kBsPushButton | kWsTabStop | extra);
}
ControlTemplate Check(int id, DialogRect r, std::string text) {
  return Make(id, ControlKind::kCheckBox, r, std::move(text), kBsAutoCheckBox | kWsTabStop);
}
ControlTemplate Radio(int id, DialogRect r, std::string text, uint32_t extra = 0) {
  return Make(id, ControlKind::kRadioButton, r, std::move(text), kBsAutoRadioButton | extra);
}
ControlTemplate Group(DialogRect r, std::string text) {
  return Make(kIdStatic, ControlKind::kGroupBox, r, std::move(text), kBsGroupBox);
}
ControlTemplate List(int id, DialogRect r, uint32_t styles) {
  return Make(id, ControlKind::kListBox, r, "", kWsBorder | kWsVScroll | kWsTabStop | styles);
}
ControlTemplate Icon(DialogRect r, int icon) {
  ControlTemplate c = Make(kIdStatic, ControlKind::kIcon, r, "", kSsIcon);
  c.icon = icon;
  return c;
}

DialogTemplate Dialog(int id, std::string caption, int cx, int cy, uint32_t style,
                      std::vector<ControlTemplate> controls) {
  DialogTemplate d;
  d.id = id;
  d.caption = std::move(caption);
  d.cx = cx;
  d.cy = cy;
  d.font_name = kFont;
  d.font_size = 8;
  d.style = style;
  d.controls = std::move(controls);
  return d;
}

DialogTemplate Logon(int id, std::string caption, int icon) {
  return Dialog(id, std::move(caption), 254, 58, kModalDialog,
                {
                    Edit(logon_ids::kUserName, {104, 20, 85, 12}),
                    Edit(logon_ids::kPassword, {104, 35, 85, 12}, kEsPassword | kEsAutoHScroll),
                    DefButton(kIdOk, {201, 5, 47, 12}, "OK"),
                    Button(kIdCancel, {201, 20, 47, 12}, "Cancel"),
                    Icon({5, 5, 20, 20}, icon),
                    Label({39, 5, 150, 15}, "Type a logon name and password to log in."),
                    Label({39, 20, 55, 10}, "Logon Name:"),
                    Label({39, 35, 55, 10}, "Password:"),
                });
}

DialogTemplate AccountPolicy(int id, const std::string& product) {
  namespace a = account_policy_ids;
  return Dialog(
      id, "Account Policy", 199, 98, kModalDialog,
      {
          DefButton(kIdOk, {147, 14, 46, 12}, "OK"),
          Button(kIdCancel, {147, 29, 46, 12}, "Cancel"),
          Group({5, 10, 135, 50}, "Password Restrictions"),
          Radio(a::kPermitBlank, {15, 25, 100, 10}, "Permit &Blank Password",
                kWsGroup | kWsTabStop),
          Radio(a::kAtLeast, {15, 40, 40, 10}, "At &Least"),
          Edit(a::kMinChars, {60, 40, 25, 12}, kEsAutoHScroll | kWsGroup),
          Label({90, 41, 40, 10}, "Characters"),
          Check(a::kIndividualSettings, {5, 65, 180, 10},
                "&Maintain individual user settings within " + product),
          Check(a::kDisableSecurity, {5, 80, 180, 10}, "&Disable " + product + " Security"),
      });
}

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> all;
  constexpr uint32_t kSelectList = kLbsSort | kLbsNotify;

  all.push_back(Logon(kIddLogon, "Quorvane Login", kIdiProductMain));

  {
    namespace a = audit_policy_ids;
    all.push_back(
        Dialog(kIddAuditPolicy, "Audit Policy", 209, 149, kModalDialog,
               {
                   DefButton(kIdOk, {155, 5, 45, 12}, "OK"),
                   Button(kIdCancel, {155, 20, 45, 12}, "Cancel"),
                   Check(a::kEnable, {5, 10, 100, 10}, "&Enable audit trails"),
                   Group({5, 25, 140, 65}, "Auditable events"),
                   Check(a::kLogon, {15, 40, 105, 10}, "&Logon and Logoff"),
                   Check(a::kPolicy, {15, 50, 105, 10}, "&Policy changes"),
                   Check(a::kObject, {15, 60, 105, 10}, "Object &access"),
                   Check(a::kOther, {15, 70, 105, 10}, "&Other event"),
                   Group({5, 95, 140, 50}, "Event log settings"),
                   Label({15, 110, 75, 10}, "&Maximum List Entries:"),
                   Edit(a::kMaxEntries, {95, 110, 45, 12}),
                   Check(a::kOverwrite, {15, 130, 125, 10}, "Overwrite events as &needed"),
               }));
  }
  {
    namespace e = event_detail_ids;
    constexpr uint32_t kReadOnly = kEsReadOnly | kEsAutoHScroll;
    all.push_back(Dialog(kIddEventDetail, "Event Detail", 226, 188, kModalDialog,
                         {
                             DefButton(kIdOk, {172, 6, 47, 12}, "Close"),
                             Label({5, 10, 35, 10}, "Date:"),
                             Edit(e::kDate, {45, 10, 70, 12}, kReadOnly),
                             Label({5, 25, 35, 10}, "Time:"),
                             Edit(e::kTime, {45, 25, 70, 12}, kReadOnly),
                             Label({5, 40, 35, 10}, "Source:"),
                             Edit(e::kSource, {45, 40, 130, 12}, kReadOnly),
                             Label({5, 55, 35, 10}, "User:"),
                             Edit(e::kUser, {45, 55, 130, 12}, kReadOnly),
                             Label({5, 75, 50, 10}, "Description:"),
                             Edit(e::kDescription, {5, 85, 215, 95},
                                  kEsMultiLine | kEsReadOnly | kEsAutoVScroll | kEsAutoHScroll |
                                      kWsVScroll | kWsHScroll),
                         }));
  }
  {
    namespace g = group_properties_ids;
    all.push_back(
        Dialog(kIddGroupProperties, "Group Properties", 265, 199, kModalDialog,
               {
                   Label({5, 10, 55, 10}, "&Group Name:"),
                   Edit(g::kName, {70, 10, 130, 12}),
                   Label({5, 25, 55, 8}, "&Description:"),
                   Edit(g::kDescription, {70, 25, 130, 12}),
                   Label({5, 50, 55, 10}, "&Members:"),
                   List(g::kMembers, {5, 60, 195, 75}, kSelectList),
                   Label({5, 140, 105, 10}, "Currently Assigned &Rights:", g::kRightsLabel),
                   List(g::kRights, {5, 150, 195, 40}, kLbsNotify),
                   DefButton(kIdOk, {210, 10, 50, 12}, "OK"),
                   Button(kIdCancel, {210, 25, 50, 12}, "Cancel"),
                   Button(g::kAssign, {210, 61, 50, 12}, "&Assign.."),
               }));
  }
  {
    namespace u = user_properties_ids;
    constexpr uint32_t kPassword = kEsPassword | kEsAutoHScroll;
    all.push_back(Dialog(
        kIddUserProperties, "User Properties", 211, 218, kModalDialog,
        {
            Label({5, 10, 55, 10}, "&User Name:"),
            Edit(u::kUserName, {70, 10, 130, 12}),
            Label({5, 25, 55, 8}, "&Full Name:"),
            Edit(u::kFullName, {70, 25, 130, 12}),
            Label({5, 40, 55, 8}, "&Description:"),
            Edit(u::kDescription, {70, 40, 130, 12}),
            Label({5, 60, 80, 8}, "&Password:"),
            Edit(u::kPassword, {95, 60, 105, 12}, kPassword),
            Label({5, 76, 80, 8}, "&Confirm Password:"),
            Edit(u::kConfirmPassword, {95, 75, 105, 12}, kPassword),
            Group({5, 95, 195, 45}, "Account Policies"),
            Check(u::kCannotChangePassword, {10, 110, 180, 10}, "U&ser Cannot Change Password"),
            Check(u::kAccountDisabled, {10, 120, 180, 10}, "Account Disa&bled"),
            Label({5, 145, 105, 10}, "Currently Assigned &Rights:", u::kRightsLabel),
            List(u::kRights, {5, 155, 195, 40}, kLbsNotify),
            DefButton(kIdOk, {101, 200, 47, 12}, "OK"),
            Button(kIdCancel, {152, 200, 47, 12}, "Cancel"),
            Button(u::kUnlock, {5, 200, 47, 12}, "Un&lock"),
        }));
  }

  all.push_back(AccountPolicy(kIddAccountPolicy, "Quorvane"));

  {
    namespace r = group_rights_policy_ids;
    ControlTemplate combo = Make(r::kRight, ControlKind::kComboBox, {45, 10, 145, 95}, "",
                                 kCbsDropDownList | kWsVScroll | kWsTabStop);
    all.push_back(Dialog(kIddGroupRightsPolicy, "Group Rights Policy", 250, 127, kModalDialog,
                         {
                             Label({5, 10, 35, 10}, "Righ&t:"),
                             combo,
                             Label({5, 30, 35, 10}, "&Grant To:"),
                             List(r::kGrantList, {5, 40, 185, 80}, kSelectList),
                             Button(r::kAssign, {198, 40, 47, 12}, "&Assign..."),
                             DefButton(kIdOk, {198, 5, 47, 12}, "Close"),
                             Button(kIdCancel, {198, 20, 47, 12}, "Cancel"),
                         }));
    // The Cancel button exists (Escape answers it) but is not shown.
    all.back().controls.back().style &= ~kWsVisible;
  }
  {
    namespace v = audit_log_viewer_ids;
    DialogTemplate viewer =
        Dialog(kIddAuditLogViewer, "Audit Log Viewer", 327, 204,
               kWsPopup | kWsVisible | kWsCaption | kWsSysMenu | kWsThickFrame | kDsSetFont,
               {
                   Label({5, 5, 45, 10}, "Date", v::kDateHeading),
                   Label({60, 5, 45, 10}, "Time"),
                   Label({115, 5, 80, 10}, "Username"),
                   Label({210, 5, 85, 10}, "Source"),
                   List(v::kList, {5, 15, 315, 180},
                        kWsHScroll | kLbsNotify | kLbsUseTabStops | kLbsNoIntegralHeight),
               });
    viewer.menu = kIdrAuditLogMenu;
    all.push_back(std::move(viewer));
  }
  {
    namespace m = membership_ids;
    constexpr uint32_t kChooser = kLbsSort | kLbsExtendedSel | kLbsNotify;
    all.push_back(Dialog(kIddMembership, "Group Membership", 286, 133, kModalDialog,
                         {
                             DefButton(kIdOk, {229, 5, 50, 12}, "OK"),
                             Button(kIdCancel, {229, 20, 50, 12}, "Cancel"),
                             Label({5, 10, 200, 10}, "Members of:", m::kHeading),
                             Label({5, 40, 85, 10}, "&Members"),
                             List(m::kMembers, {5, 50, 110, 75}, kChooser),
                             Label({170, 40, 85, 10}, "&Non Members"),
                             List(m::kNonMembers, {170, 50, 110, 75}, kChooser),
                             Button(m::kAdd, {120, 65, 45, 12}, "<- &Add"),
                             Button(m::kRemove, {120, 80, 45, 12}, "&Remove ->"),
                         }));
  }

  {
    namespace c = change_password_ids;
    constexpr uint32_t kPassword = kEsPassword | kEsAutoHScroll;
    all.push_back(Dialog(kIddChangePassword, "Change Password", 211, 80, kModalDialog,
                         {
                             Label({5, 10, 85, 10}, "&Old Password:"),
                             Edit(c::kOldPassword, {95, 10, 105, 12}, kPassword),
                             Label({5, 25, 85, 10}, "&New Password:"),
                             Edit(c::kNewPassword, {95, 25, 105, 12}, kPassword),
                             Label({5, 40, 85, 10}, "&Confirm New Password:"),
                             Edit(c::kConfirmPassword, {95, 40, 105, 12}, kPassword),
                             DefButton(kIdOk, {101, 60, 47, 12}, "OK"),
                             Button(kIdCancel, {152, 60, 47, 12}, "Cancel"),
                         }));
  }

  all.push_back(Logon(kIddLogonAlternative, "Sarvento Login", kIdiProductAlternative));
  all.push_back(AccountPolicy(kIddAccountPolicyAlternative, "Sarvento"));

  std::sort(all.begin(), all.end(),
            [](const DialogTemplate& a, const DialogTemplate& b) { return a.id < b.id; });
  return all;
}

}  // namespace

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
      return "edit";
    case ControlKind::kStatic:
      return "static";
    case ControlKind::kPushButton:
      return "button";
    case ControlKind::kCheckBox:
      return "checkbox";
    case ControlKind::kRadioButton:
      return "radio";
    case ControlKind::kGroupBox:
      return "groupbox";
    case ControlKind::kIcon:
      return "icon";
    case ControlKind::kListBox:
      return "listbox";
    case ControlKind::kComboBox:
      return "combobox";
  }
  return "unknown";
}

const ControlTemplate* DialogTemplate::FindControl(int control_id) const {
  if (control_id == kIdStatic) return nullptr;
  for (const ControlTemplate& c : controls) {
    if (c.id == control_id) return &c;
  }
  return nullptr;
}

const std::vector<DialogTemplate>& AllDialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

}  // namespace talmor
