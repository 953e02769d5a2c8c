#include "ui/review/delete_candidate_undo_shortcut.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QWidget>

#include "ui/support/ui_test_application.h"

namespace lorvex::ui {
namespace {

TEST(DeleteCandidateUndoShortcut, CtrlZAloneByLogicalKey) {
  const struct {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool matches;
  } cases[] = {
      {"Ctrl+Z", Qt::Key_Z, Qt::ControlModifier, true},
      {"Ctrl+Z on the keypad flag", Qt::Key_Z, Qt::ControlModifier | Qt::KeypadModifier, true},
      {"Ctrl+Shift+Z", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, false},
      {"Ctrl+Alt+Z", Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier, false},
      {"Meta+Ctrl+Z", Qt::Key_Z, Qt::ControlModifier | Qt::MetaModifier, false},
      {"plain Z", Qt::Key_Z, Qt::NoModifier, false},
      {"Shift+Z", Qt::Key_Z, Qt::ShiftModifier, false},
      {"Ctrl+Y", Qt::Key_Y, Qt::ControlModifier, false},
      {"Ctrl+W (Z's place on AZERTY)", Qt::Key_W, Qt::ControlModifier, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isUndoShortcut(c.key, c.modifiers), c.matches);
  }
}

TEST(DeleteCandidateUndoShortcut, TextInputIsTheFocusWidgetOrAnAncestorThatEditsText) {
  testing::uiTestApplication();
  QWidget window;
  auto* layout = new QHBoxLayout(&window);
  auto* line = new QLineEdit;
  auto* text = new QTextEdit;
  auto* plain = new QPlainTextEdit;
  auto* spin = new QSpinBox;
  auto* button = new QPushButton("b");
  for (QWidget* widget :
       {static_cast<QWidget*>(line), static_cast<QWidget*>(text), static_cast<QWidget*>(plain),
        static_cast<QWidget*>(spin), static_cast<QWidget*>(button)}) {
    layout->addWidget(widget);
  }
  auto* spinEditor = spin->findChild<QLineEdit*>();
  ASSERT_NE(spinEditor, nullptr);

  EXPECT_FALSE(isTextInputActive(nullptr));
  EXPECT_FALSE(isTextInputActive(&window));
  EXPECT_FALSE(isTextInputActive(button));
  EXPECT_TRUE(isTextInputActive(line));
  EXPECT_TRUE(isTextInputActive(text->viewport()));  // the viewport lies inside the text edit
  EXPECT_TRUE(isTextInputActive(plain));
  EXPECT_TRUE(isTextInputActive(spin));
  EXPECT_TRUE(isTextInputActive(spinEditor));
}

}  // namespace
}  // namespace lorvex::ui
