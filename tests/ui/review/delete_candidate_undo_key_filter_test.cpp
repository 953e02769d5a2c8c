#include "ui/review/delete_candidate_undo_key_filter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "ui/support/ui_test_application.h"

namespace lorvex::ui {
namespace {

// A focusable widget that records the key presses it receives and lets them propagate.
class KeyRecorder : public QWidget {
 public:
  explicit KeyRecorder(QWidget* parent = nullptr) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
  std::vector<int> keys;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    keys.push_back(event->key());
    event->ignore();
  }
};

struct Window {
  QWidget window;
  KeyRecorder* outer = new KeyRecorder(&window);
  KeyRecorder* inner = new KeyRecorder(outer);
  QLineEdit* line = new QLineEdit(&window);
  QSpinBox* spin = new QSpinBox(&window);
  Window() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(outer);
    layout->addWidget(line);
    layout->addWidget(spin);
    window.show();
  }
};

// Sends a press to the window's focus widget (where the platform delivers it); true when consumed.
bool press(QWidget* receiver, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
  QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(receiver, &event);
  return event.isAccepted();
}

TEST(DeleteCandidateUndoKeyFilter, CtrlZAloneUndoesOnceAndIsConsumedOnlyWhenAnUndoRan) {
  testing::uiTestApplication();
  const struct {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool undoes;
  } cases[] = {
      {"Ctrl+Z", Qt::Key_Z, Qt::ControlModifier, "\x1a", true},
      {"Ctrl+Z with Caps Lock (the logical key stays Z)", Qt::Key_Z, Qt::ControlModifier, "Z", true},
      {"Ctrl+Shift+Z", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "Z", false},
      {"Ctrl+Alt+Z", Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier, "z", false},
      {"Meta+Ctrl+Z", Qt::Key_Z, Qt::ControlModifier | Qt::MetaModifier, "z", false},
      {"plain Z", Qt::Key_Z, Qt::NoModifier, "z", false},
  };
  for (const bool undoAvailable : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.name << (undoAvailable ? "" : ", nothing to undo"));
      Window w;
      w.inner->setFocus();
      int undoCalls = 0;
      auto* filter = new DeleteCandidateUndoKeyFilter(&w.window);
      filter->setOnUndo([&] {
        ++undoCalls;
        return undoAvailable;
      });
      const bool consumed = press(w.inner, c.key, c.modifiers, c.text);
      EXPECT_EQ(undoCalls, c.undoes ? 1 : 0);  // asked once even while the press propagates
      EXPECT_EQ(consumed, c.undoes && undoAvailable);
      // A consumed press reaches no widget; any other reaches the focus widget and its parent.
      const std::size_t expectedDeliveries = (c.undoes && undoAvailable) ? 0 : 1;
      EXPECT_EQ(w.inner->keys.size(), expectedDeliveries);
      EXPECT_EQ(w.outer->keys.size(), expectedDeliveries);
    }
  }
}

TEST(DeleteCandidateUndoKeyFilter, StandsAsideForTextInputOtherWindowsAndWhileDisabled) {
  testing::uiTestApplication();
  Window w;
  Window other;
  other.inner->setFocus();
  int undoCalls = 0;
  auto* filter = new DeleteCandidateUndoKeyFilter(&w.window);
  filter->setOnUndo([&] {
    ++undoCalls;
    return true;
  });

  w.line->setFocus();
  press(w.line, Qt::Key_Z, Qt::ControlModifier, "\x1a");
  auto* spinEditor = w.spin->findChild<QLineEdit*>();
  ASSERT_NE(spinEditor, nullptr);
  w.spin->setFocus();
  press(w.window.focusWidget(), Qt::Key_Z, Qt::ControlModifier, "\x1a");
  press(spinEditor, Qt::Key_Z, Qt::ControlModifier, "\x1a");
  EXPECT_EQ(undoCalls, 0);

  EXPECT_FALSE(press(other.inner, Qt::Key_Z, Qt::ControlModifier, "\x1a"));
  EXPECT_EQ(other.inner->keys.size(), 1u);
  EXPECT_EQ(undoCalls, 0);

  w.inner->setFocus();
  filter->setEnabled(false);
  EXPECT_FALSE(press(w.inner, Qt::Key_Z, Qt::ControlModifier, "\x1a"));
  EXPECT_EQ(undoCalls, 0);
  filter->setEnabled(true);
  EXPECT_TRUE(press(w.inner, Qt::Key_Z, Qt::ControlModifier, "\x1a"));
  EXPECT_EQ(undoCalls, 1);
}

TEST(DeleteCandidateUndoKeyFilter, GoesWithItsWindow) {
  testing::uiTestApplication();
  auto w = std::make_unique<Window>();
  QPointer<DeleteCandidateUndoKeyFilter> filter = new DeleteCandidateUndoKeyFilter(&w->window);
  int undoCalls = 0;
  filter->setOnUndo([&] {
    ++undoCalls;
    return true;
  });
  w.reset();
  EXPECT_TRUE(filter.isNull());
  Window after;
  after.inner->setFocus();
  EXPECT_FALSE(press(after.inner, Qt::Key_Z, Qt::ControlModifier, "\x1a"));
  EXPECT_EQ(undoCalls, 0);
}

}  // namespace
}  // namespace lorvex::ui
