#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

// The library's resources as data: dialog templates, the viewer's menu and the product icons.
// Every user-interface backend renders from these; there is no other description of a dialog.
// Style bits keep the platform's values so that a native backend can pass them on unchanged.

namespace talmor {

// Window styles.
inline constexpr uint32_t kWsPopup = 0x80000000u;
inline constexpr uint32_t kWsVisible = 0x10000000u;
inline constexpr uint32_t kWsDisabled = 0x08000000u;
inline constexpr uint32_t kWsCaption = 0x00C00000u;
inline constexpr uint32_t kWsBorder = 0x00800000u;
inline constexpr uint32_t kWsVScroll = 0x00200000u;
inline constexpr uint32_t kWsHScroll = 0x00100000u;
inline constexpr uint32_t kWsSysMenu = 0x00080000u;
inline constexpr uint32_t kWsThickFrame = 0x00040000u;
inline constexpr uint32_t kWsGroup = 0x00020000u;
inline constexpr uint32_t kWsTabStop = 0x00010000u;
// Dialog styles.
inline constexpr uint32_t kDsSetFont = 0x40u;
inline constexpr uint32_t kDsModalFrame = 0x80u;
// Button styles.
inline constexpr uint32_t kBsPushButton = 0x0u;
inline constexpr uint32_t kBsDefPushButton = 0x1u;
inline constexpr uint32_t kBsAutoCheckBox = 0x3u;
inline constexpr uint32_t kBsGroupBox = 0x7u;
inline constexpr uint32_t kBsAutoRadioButton = 0x9u;
// Edit styles.
inline constexpr uint32_t kEsMultiLine = 0x4u;
inline constexpr uint32_t kEsPassword = 0x20u;
inline constexpr uint32_t kEsAutoVScroll = 0x40u;
inline constexpr uint32_t kEsAutoHScroll = 0x80u;
inline constexpr uint32_t kEsReadOnly = 0x800u;
inline constexpr uint32_t kEsWantReturn = 0x1000u;
// List box styles.
inline constexpr uint32_t kLbsNotify = 0x1u;
inline constexpr uint32_t kLbsSort = 0x2u;
inline constexpr uint32_t kLbsUseTabStops = 0x80u;
inline constexpr uint32_t kLbsNoIntegralHeight = 0x100u;
inline constexpr uint32_t kLbsExtendedSel = 0x800u;
// Combo box styles.
inline constexpr uint32_t kCbsDropDownList = 0x3u;
inline constexpr uint32_t kCbsSort = 0x100u;
// Static styles.
inline constexpr uint32_t kSsLeft = 0x0u;
inline constexpr uint32_t kSsIcon = 0x3u;

enum class ControlKind {
  kEdit,
  kStatic,
  kPushButton,
  kCheckBox,
  kRadioButton,
  kGroupBox,
  kIcon,
  kListBox,
  kComboBox,
};

// The word for a kind in transcripts: edit, static, button, checkbox, radio, groupbox, icon,
// listbox, combobox.
const char* ControlKindName(ControlKind kind);

// A rectangle in dialog units (x, y, width, height).
struct DialogRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

struct ControlTemplate {
  int id = kIdStatic;
  ControlKind kind = ControlKind::kStatic;
  DialogRect rect;
  std::string text;
  uint32_t style = 0;  // window style bits plus the kind's own style bits
  int icon = 0;        // icon resource shown by an icon control, else 0
};

struct DialogTemplate {
  int id = 0;
  std::string caption;
  int cx = 0;  // size in dialog units
  int cy = 0;
  std::string font_name;
  int font_size = 0;
  uint32_t style = 0;
  int menu = 0;  // menu resource, 0 for none
  std::vector<ControlTemplate> controls;

  // The control with this id, or null (also null for kIdStatic, which many controls share).
  const ControlTemplate* FindControl(int control_id) const;
};

struct MenuItemTemplate {
  int id = 0;  // 0 for a separator
  std::string text;
  bool separator = false;
  bool checked = false;
};

struct MenuPopupTemplate {
  std::string text;
  std::vector<MenuItemTemplate> items;
};

struct MenuTemplate {
  int id = 0;
  std::vector<MenuPopupTemplate> popups;

  // The command item with this id, or null.
  const MenuItemTemplate* FindItem(int item_id) const;
};

// A small image: rows of palette indexes, one character a pixel ('.' is transparent).
struct IconResource {
  int id = 0;
  int width = 0;
  int height = 0;
  std::vector<std::string> rows;
  std::vector<uint32_t> palette;  // 0xAARRGGBB for '0', '1', ... in the rows

  // The pixel at (x, y) as 0xAARRGGBB; transparent (0) outside the image.
  uint32_t Pixel(int x, int y) const;
};

// Look-ups by resource id; null when the module has no such resource.
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenuTemplate(int id);
const IconResource* FindIconResource(int id);

// Every dialog template, in id order.
const std::vector<DialogTemplate>& AllDialogTemplates();

}  // namespace talmor
