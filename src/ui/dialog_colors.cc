#include "ui/dialog_colors.h"

namespace talmor {
namespace {
DialogColorScheme g_colors;
}  // namespace

void SetDialogBkColor(Rgb background, Rgb text) { g_colors = DialogColorScheme{background, text}; }

DialogColorScheme DialogColors() { return g_colors; }

}  // namespace talmor
