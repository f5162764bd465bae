#pragma once

// Identifiers of the library's resources: dialog templates, the viewer's menu and its commands,
// the product icons, and the control ids of every dialog. Dialogs name their controls through
// these constants; the templates in dialog_templates.cc use the same values.

namespace talmor {

// Control ids shared by every dialog.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdStatic = -1;  // a control without an id (labels, group boxes, icons)

// Dialog templates.
inline constexpr int kIddLogon = 130;
inline constexpr int kIddAuditPolicy = 131;
inline constexpr int kIddEventDetail = 132;
inline constexpr int kIddGroupProperties = 133;
inline constexpr int kIddUserProperties = 134;
inline constexpr int kIddAccountPolicy = 135;
inline constexpr int kIddGroupRightsPolicy = 136;
inline constexpr int kIddAuditLogViewer = 137;
inline constexpr int kIddMembership = 138;
inline constexpr int kIddLogonAlternative = 139;
inline constexpr int kIddAccountPolicyAlternative = 140;
inline constexpr int kIddChangePassword = 141;

// Menu of the audit log viewer and its commands.
inline constexpr int kIdrAuditLogMenu = 131;
inline constexpr int kIdmRefresh = 32771;
inline constexpr int kIdmClearAllEvents = 32772;
inline constexpr int kIdmDetail = 32773;
inline constexpr int kIdmNewestFirst = 32774;
inline constexpr int kIdmOldestFirst = 32775;
inline constexpr int kIdmExit = kIdOk;

// Product icons.
inline constexpr int kIdiProductMain = 128;
inline constexpr int kIdiProductAlternative = 129;

namespace logon_ids {
inline constexpr int kUserName = 1000;
inline constexpr int kPassword = 1001;
}  // namespace logon_ids

namespace audit_policy_ids {
inline constexpr int kMaxEntries = 1001;
inline constexpr int kEnable = 1002;
inline constexpr int kLogon = 1003;
inline constexpr int kPolicy = 1004;
inline constexpr int kObject = 1005;
inline constexpr int kOther = 1006;
inline constexpr int kOverwrite = 1007;
}  // namespace audit_policy_ids

namespace event_detail_ids {
inline constexpr int kDate = 1002;
inline constexpr int kTime = 1003;
inline constexpr int kSource = 1004;
inline constexpr int kUser = 1005;
inline constexpr int kDescription = 1006;
}  // namespace event_detail_ids

namespace audit_log_viewer_ids {
inline constexpr int kList = 1000;
inline constexpr int kDateHeading = 1001;
}  // namespace audit_log_viewer_ids

namespace user_properties_ids {
inline constexpr int kPassword = 1001;
inline constexpr int kDescription = 1002;
inline constexpr int kConfirmPassword = 1003;
inline constexpr int kRightsLabel = 1004;
inline constexpr int kUserName = 1005;
inline constexpr int kFullName = 1006;
inline constexpr int kRights = 1007;
inline constexpr int kCannotChangePassword = 1008;
inline constexpr int kAccountDisabled = 1009;
inline constexpr int kUnlock = 1010;
}  // namespace user_properties_ids

namespace membership_ids {
inline constexpr int kHeading = 1015;
inline constexpr int kMembers = 1016;
inline constexpr int kNonMembers = 1017;
inline constexpr int kAdd = 1018;
inline constexpr int kRemove = 1019;
}  // namespace membership_ids

namespace group_properties_ids {
inline constexpr int kName = 1001;
inline constexpr int kDescription = 1002;
inline constexpr int kMembers = 1003;
inline constexpr int kAssign = 1004;
inline constexpr int kRightsLabel = 1005;
inline constexpr int kRights = 1006;
}  // namespace group_properties_ids

namespace group_rights_policy_ids {
inline constexpr int kAssign = 1004;
inline constexpr int kGrantList = 1013;
inline constexpr int kRight = 1014;
}  // namespace group_rights_policy_ids

namespace account_policy_ids {
inline constexpr int kDisableSecurity = 1003;
inline constexpr int kIndividualSettings = 1004;
inline constexpr int kPermitBlank = 1010;
inline constexpr int kAtLeast = 1011;
inline constexpr int kMinChars = 1012;
}  // namespace account_policy_ids

namespace change_password_ids {
inline constexpr int kOldPassword = 1001;
inline constexpr int kNewPassword = 1002;
inline constexpr int kConfirmPassword = 1003;
}  // namespace change_password_ids

}  // namespace talmor
