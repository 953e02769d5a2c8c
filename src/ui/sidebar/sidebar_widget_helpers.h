// Small widgets and row bookkeeping the sidebar's sections and its popovers share.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QFrame>
#include <QVBoxLayout>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace lorvex::ui {

enum class ColorRole;
class SelectableWrappedText;

// The room between the items of the sidebar's column, the sections' own items included, so the
// column reads as one list.
inline constexpr int kSidebarSectionSpacing = 8;

// A thin horizontal rule in the palette's mid colour.
inline QFrame* makeDivider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setStyleSheet("color: palette(mid);");
  return line;
}

// A line of caption text a person may select, named `name`, wrapped anywhere a long path or file
// name needs it rather than widening the column.
SelectableWrappedText* makeSidebarCaptionLine(const char* name, ColorRole color, QWidget* parent);

// Moves `widgets` into `layout` in order, touching the layout only when the order changed.
template <typename Widget>
void placeInOrder(QVBoxLayout& layout, std::vector<std::string>& shownOrder,
                  const std::vector<std::string>& order, const std::map<std::string, Widget*>& widgets) {
  if (shownOrder == order) return;
  for (const auto& [key, widget] : widgets) layout.removeWidget(widget);
  for (const std::string& key : order) layout.addWidget(widgets.at(key));
  shownOrder = order;
}

// Deletes the rows whose key is no longer listed.
template <typename Widget>
void removeRowsNotIn(QVBoxLayout& layout, std::map<std::string, Widget*>& rows,
                     const std::vector<std::string>& keys) {
  const std::unordered_set<std::string> listed(keys.begin(), keys.end());
  for (auto it = rows.begin(); it != rows.end();) {
    if (listed.count(it->first) > 0) {
      ++it;
      continue;
    }
    layout.removeWidget(it->second);
    delete it->second;
    it = rows.erase(it);
  }
}

}  // namespace lorvex::ui
