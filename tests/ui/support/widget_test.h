// The base of widget tests: the offscreen QApplication exists before the first test of a suite,
// and widgets are found by objectName.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QString>
#include <QWidget>

#include "ui/common/wrapped_text_label.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::ui::testing {

class WidgetTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() { uiTestApplication(); }
};

// The descendant of `root` (or `root` itself) with that objectName and type, nullptr when none.
template <class T = QWidget>
T* findByName(QObject& root, const QString& objectName) {
  if (root.objectName() == objectName) {
    if (auto* self = qobject_cast<T*>(&root)) return self;
  }
  return root.findChild<T*>(objectName);
}

// The text of the label named `objectName` below `root` (a QLabel or a wrapped text label), "<none>"
// when there is none.
inline QString labelText(QObject& root, const QString& objectName) {
  if (auto* label = findByName<QLabel>(root, objectName)) return label->text();
  if (auto* label = findByName<WrappedTextLabel>(root, objectName)) return label->text();
  return QStringLiteral("<none>");
}

}  // namespace lorvex::ui::testing
