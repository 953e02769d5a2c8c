#include "ui/detail/detail_fonts.h"

#include "ui/common/ui_roles.h"

namespace lorvex::ui {

const QFont& detailSectionTitleFont() {
  static const QFont font = systemFont(16, QFont::DemiBold);
  return font;
}

const QFont& detailGroupTitleFont() {
  static const QFont font = systemFont(13, QFont::DemiBold);
  return font;
}

}  // namespace lorvex::ui
