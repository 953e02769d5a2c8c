// Small widgets the sidebar and its popovers share.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QFrame>

namespace lorvex::ui {

// A thin horizontal rule in the palette's mid colour.
inline QFrame* makeDivider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setStyleSheet("color: palette(mid);");
  return line;
}

}  // namespace lorvex::ui
