#include "ui/sidebar/sidebar_widget_helpers.h"

#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

SelectableWrappedText* makeSidebarCaptionLine(const char* name, ColorRole color, QWidget* parent) {
  auto* line = new SelectableWrappedText(parent);
  line->setObjectName(name);
  line->setFont(roleFont(FontRole::caption));
  setForegroundColor(*line, roleColor(color));
  return line;
}

}  // namespace lorvex::ui
