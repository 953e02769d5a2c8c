#include "journey.h"

#include <QtTest/qtestspontaneevent.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QWindow>

#include "app/main_window.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/slideshow/slideshow_image_decoding.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::journeys {

namespace {

constexpr std::chrono::seconds kControlLimit{10};

std::string text(const QString& value) {
  return value.toStdString();
}

std::string sizeText(const QSize& size) {
  return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

// The text a button shows: "&&" is an ampersand, a single "&" marks the mnemonic.
QString shownButtonText(const QString& raw) {
  QString shown = raw;
  shown.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  shown.remove(QLatin1Char('&'));
  shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return shown;
}

// Whether the text of a label or a button shows whole; what is missing otherwise.
std::optional<std::string> cutText(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return std::nullopt;
    const QRect contents = label->contentsRect();
    if (label->wordWrap()) {
      const int needed = label->heightForWidth(label->width());
      if (needed > label->height()) {
        return "its wrapped text needs " + std::to_string(needed) + " px of height and has " +
               std::to_string(label->height());
      }
      return std::nullopt;
    }
    const QSize needed = label->sizeHint();
    if (needed.width() > label->width() || needed.height() > label->height()) {
      return "its text needs " + sizeText(needed) + " and has " + sizeText(label->size()) + " (contents " +
             sizeText(contents.size()) + ")";
    }
    return std::nullopt;
  }
  if (const auto* label = qobject_cast<const ui::WrappedTextLabel*>(&control)) {
    const int needed = label->heightForWidth(label->width());
    if (needed > label->height()) {
      return "its wrapped text needs " + std::to_string(needed) + " px of height and has " +
             std::to_string(label->height());
    }
    return std::nullopt;
  }
  const auto* button = qobject_cast<const QAbstractButton*>(&control);
  if (button == nullptr || button->text().isEmpty()) return std::nullopt;
  const QString shown = shownButtonText(button->text());
  const int textWidth = button->fontMetrics().horizontalAdvance(shown);
  const int iconWidth = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
  if (const auto* push = qobject_cast<const QPushButton*>(button)) {
    QStyleOptionButton option;
    option.initFrom(push);
    option.text = push->text();
    option.icon = push->icon();
    option.iconSize = push->iconSize();
    const QRect contents = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
    if (textWidth + iconWidth > contents.width()) {
      return "its text needs " + std::to_string(textWidth + iconWidth) + " px and has " +
             std::to_string(contents.width());
    }
    return std::nullopt;
  }
  if (const auto* box = qobject_cast<const QCheckBox*>(button)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    if (textWidth > contents.width()) {
      return "its text needs " + std::to_string(textWidth) + " px and has " +
             std::to_string(contents.width());
    }
    return std::nullopt;
  }
  // Tool buttons and the program's own buttons size themselves to their text.
  const QSize needed = button->sizeHint();
  if (needed.width() > button->width() || needed.height() > button->height()) {
    return "it needs " + sizeText(needed) + " and has " + sizeText(button->size());
  }
  return std::nullopt;
}

// Where a person clicks a control: a check box on its box and text (the rest of its row does
// nothing), anything else in its middle.
QPoint clickPoint(const QWidget& control) {
  if (const auto* box = qobject_cast<const QCheckBox*>(&control)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box).center();
  }
  return control.rect().center();
}

// What lies under the point of `top` (in its coordinates) for the pointer.
QWidget* widgetUnderPointer(QWidget* top, const QPoint& point) {
  QWidget* hit = top->childAt(point);
  return hit != nullptr ? hit : top;
}

std::string modifiersText(Qt::KeyboardModifiers modifiers) {
  std::string text;
  if (modifiers & Qt::ControlModifier) text += "Ctrl+";
  if (modifiers & Qt::AltModifier) text += "Alt+";
  if (modifiers & Qt::ShiftModifier) text += "Shift+";
  return text;
}

// The window that takes the keyboard now: an open popup, then a modal dialog, then the focused one.
// Qt can still name a window that has just hidden (the slideshow, a closed menu) as the focus window
// until the next activation arrives; a window manager would already have given the keys to a shown
// window, so a hidden one is passed over for the active window.
QWindow* keyboardWindow(QWidget& fallback) {
  if (QWidget* popup = QApplication::activePopupWidget()) return popup->windowHandle();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal->windowHandle();
  if (QWindow* focused = QGuiApplication::focusWindow(); focused != nullptr && focused->isVisible())
    return focused;
  if (QWidget* active = QApplication::activeWindow(); active != nullptr && active->isVisible())
    return active->windowHandle();
  return fallback.windowHandle();
}

}  // namespace

Driver::Driver(JourneyApp& app, JourneyReporter& reporter) : app_(app), reporter_(reporter) {}

void Driver::beginJourney(const std::string& name) {
  journey_ = name;
}

void Driver::step(const std::string& name) {
  settle();
  reporter_.reached(journey_, name);
}

std::string Driver::inputName(const std::string& what, const QWidget* target) {
  // The nearest widget the program named: a grid's viewport (Qt names it) is the grid's.
  const QWidget* named = target;
  while (named != nullptr &&
         (named->objectName().isEmpty() || named->objectName().startsWith(QLatin1String("qt_")))) {
    named = named->parentWidget();
  }
  return what + " " + nameOf(named != nullptr ? named : target);
}

std::string Driver::nameOf(const QObject* object) {
  if (object == nullptr) return "nothing";
  if (!object->objectName().isEmpty()) return text(object->objectName());
  return object->metaObject()->className();
}

// ---- Finding ----

QWidget* Driver::shown(const QString& name, QWidget* within) const {
  const auto search = [&name](QWidget& root) -> QWidget* {
    if (root.objectName() == name && root.isVisible()) return &root;
    for (QWidget* found : root.findChildren<QWidget*>(name)) {
      if (found->isVisible()) return found;
    }
    return nullptr;
  };
  if (within != nullptr) return search(*within);
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    if (QWidget* found = search(*top)) return found;
  }
  return nullptr;
}

QWidget* Driver::control(const QString& name, Look look, Where where) {
  QWidget* found = nullptr;
  if (!ui::testing::runEventsUntil([&] { return (found = shown(name, look.within)) != nullptr; },
                                   patient(kControlLimit))) {
    reporter_.failed(journey_ + ": no control \"" + text(name) + "\" shows", where);
    return nullptr;
  }
  scrollIntoView(found);
  seen(found, look, where);
  return found;
}

void Driver::scrollIntoView(QWidget* control) {
  for (QWidget* around = control->parentWidget(); around != nullptr && !control->isWindow();
       around = around->parentWidget()) {
    auto* area = qobject_cast<QAbstractScrollArea*>(around);
    if (area == nullptr) continue;
    QWidget* viewport = area->viewport();
    for (int turn = 0; turn < 40; ++turn) {
      const QRect shownArea = viewport->rect();
      const QRect placed(control->mapTo(viewport, QPoint(0, 0)), control->size());
      if (shownArea.contains(placed) || !viewport->isAncestorOf(control)) break;
      // Down (and right, for a row that scrolls sideways) when it lies further on.
      const bool further = placed.bottom() > shownArea.bottom() || placed.right() > shownArea.right();
      const int before = area->verticalScrollBar()->value() + area->horizontalScrollBar()->value();
      wheel(viewport, QPoint(0, further ? -120 : 120));
      if (area->verticalScrollBar()->value() + area->horizontalScrollBar()->value() == before) break;
    }
    if (area->isWindow()) break;
  }
}

// ---- Checking ----

std::vector<std::string> Driver::unseen(const QWidget* control, TextFit fit) const {
  std::vector<std::string> problems;
  if (control == nullptr) return {"there is no such control"};
  if (!control->isVisible()) return {"it is not shown"};
  if (control->width() <= 0 || control->height() <= 0) {
    problems.push_back("it is " + sizeText(control->size()) + " px");
    return problems;
  }
  QWidget* top = control->window();
  const QRect inWindow(control->mapTo(top, QPoint(0, 0)), control->size());
  if (!top->rect().contains(inWindow)) {
    problems.push_back("it reaches outside its window (" + std::to_string(inWindow.x()) + "," +
                       std::to_string(inWindow.y()) + " " + sizeText(inWindow.size()) + " in " +
                       sizeText(top->size()) + ")");
  }
  for (const QWidget* around = control->isWindow() ? nullptr : control->parentWidget();
       around != nullptr && around != top; around = around->parentWidget()) {
    const QRect inAround(control->mapTo(around, QPoint(0, 0)), control->size());
    if (!around->rect().contains(inAround)) {
      problems.push_back("it lies outside the visible area of " + nameOf(around) + " (" +
                         std::to_string(inAround.x()) + "," + std::to_string(inAround.y()) + " " +
                         sizeText(inAround.size()) + " in " + sizeText(around->size()) + ")");
      break;
    }
  }
  const QPoint centre = control->mapTo(top, control->rect().center());
  QWidget* hit = widgetUnderPointer(top, centre);
  if (hit != control && !control->isAncestorOf(hit)) problems.push_back("it is covered by " + nameOf(hit));
  if (fit == TextFit::whole) {
    if (const auto cut = cutText(*control)) problems.push_back("its text is cut: " + *cut);
  }
  return problems;
}

bool Driver::seen(const QWidget* control, Look look, Where where) {
  const std::vector<std::string> problems = unseen(control, look.fit);
  for (const std::string& problem : problems) {
    reporter_.failed(journey_ + ": " + nameOf(control) + ": " + problem, where);
  }
  return problems.empty();
}

bool Driver::check(bool condition, const std::string& message, Where where) {
  if (!condition) reporter_.failed(journey_ + ": " + message, where);
  return condition;
}

bool Driver::waitUntil(const std::function<bool()>& done, const std::string& what,
                       std::chrono::milliseconds limit, Where where) {
  limit = patient(limit);
  if (ui::testing::runEventsUntil(done, limit)) return true;
  reporter_.failed(journey_ + ": waited " + std::to_string(limit.count()) + " ms for " + what, where);
  return false;
}

void Driver::settle() {
  QApplication::processEvents(QEventLoop::AllEvents, 20);
  // The slideshow decodes on a loader of its own: what follows its opening or a step is the
  // slideshow with its pictures.
  ui::testing::drainUiEvents(ui::slideshowImageLoader(), std::chrono::milliseconds(750));
  ui::testing::drainUiEvents(std::chrono::milliseconds(750));
  if (!app_.isRunning()) return;
  // An undo restores its records on a pool and a search finds its first page there, each shown in
  // a later turn: what follows Ctrl+Z is the window with the records back, what follows a filter
  // change the window with its result.
  const auto waiting = [this] {
    const StoreTask<void>& restore = app_.store().review().deleteCandidateRestoreTask();
    return (restore && !restore.isFinished()) || app_.store().results().isLoading();
  };
  if (!waiting()) return;
  ui::testing::runEventsUntil([&] { return !waiting(); }, patient(std::chrono::seconds(10)));
  ui::testing::drainUiEvents(std::chrono::milliseconds(750));
}

// ---- Acting ----

void Driver::click(QWidget* control, Qt::KeyboardModifiers modifiers, std::optional<QPoint> at,
                   Qt::MouseButton button, Where where) {
  if (control == nullptr) {
    reporter_.failed(journey_ + ": nothing to click", where);
    return;
  }
  QWidget* top = control->window();
  const QPoint point = control->mapTo(top, at.value_or(clickPoint(*control)));
  QWidget* hit = widgetUnderPointer(top, point);
  if (hit != control && !control->isAncestorOf(hit)) {
    reporter_.failed(journey_ + ": a click on " + nameOf(control) + " lands on " + nameOf(hit), where);
  }
  reporter_.acting(inputName(modifiersText(modifiers) + "click", control));
  QTest::mouseClick(top->windowHandle(), button, modifiers, point);
  settle();
  reporter_.acted();
}

void Driver::doubleClick(QWidget* control, std::optional<QPoint> at, Where where) {
  if (control == nullptr) {
    reporter_.failed(journey_ + ": nothing to double-click", where);
    return;
  }
  QWidget* top = control->window();
  const QPoint point = control->mapTo(top, at.value_or(control->rect().center()));
  reporter_.acting(inputName("double-click", control));
  QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, point);
  settle();
  reporter_.acted();
}

void Driver::clickMenuEntry(QWidget* button, int entry, std::optional<QPoint> at, Qt::MouseButton mouseButton,
                            Where where) {
  bool clicked = false;
  QTimer look;
  look.setInterval(10);
  QObject::connect(&look, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    // Clicked once the window system has given it the keys: offscreen, an activation that arrives
    // after its menu has gone leaves no window active.
    if (menu == nullptr || !menu->isVisible() || QGuiApplication::focusWindow() != menu->windowHandle())
      return;
    look.stop();
    int index = 0;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || index++ != entry) continue;
      if (action->isEnabled()) {
        QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          menu->actionGeometry(action).center());
        clicked = true;
      }
      break;
    }
    if (!clicked) menu->close();
  });
  look.start();
  click(button, Qt::NoModifier, at, mouseButton, where);
  // A menu that pops up without a loop of its own is looked for now.
  if (look.isActive()) {
    ui::testing::runEventsUntil([&] { return !look.isActive(); }, patient(kControlLimit));
    settle();
  }
  look.stop();
  if (!clicked) {
    reporter_.failed(journey_ + ": " + nameOf(button) + "'s menu has no entry " + std::to_string(entry) +
                         " to click, or it is disabled",
                     where);
  }
}

void Driver::press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QWindow* window = keyboardWindow(app_.window());
  const QWidget* focus = QApplication::focusWidget();
  reporter_.acting(inputName("key " + QKeySequence(key | modifiers).toString().toStdString() + " to",
                             focus != nullptr ? focus : QApplication::activePopupWidget()));
  QTest::keyClick(window, key, modifiers);
  settle();
  reporter_.acted();
}

void Driver::type(const QString& typed, Where where) {
  QWidget* field = QApplication::focusWidget();
  if (field == nullptr) {
    reporter_.failed(journey_ + ": no field has the keyboard to type \"" + text(typed) + "\" into", where);
    return;
  }
  reporter_.acting(inputName("type into", field));
  QTest::keyClicks(field, typed);
  settle();
  reporter_.acted();
}

void Driver::wheel(QWidget* control, QPoint angleDelta, Qt::KeyboardModifiers modifiers, Where where) {
  if (control == nullptr) {
    reporter_.failed(journey_ + ": nothing to turn the wheel over", where);
    return;
  }
  QWidget* top = control->window();
  const QPoint point = control->mapTo(top, control->rect().center());
  QWidget* target = widgetUnderPointer(top, point);
  const QPointF local = target->mapFrom(top, point);
  QWheelEvent event(local, target->mapToGlobal(local), QPoint(), angleDelta, Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
  // As the window delivers it: unaccepted, it goes on to the parents.
  QSpontaneKeyEvent::setSpontaneous(&event);
  reporter_.acting(inputName("wheel over", control));
  QApplication::instance()->notify(target, &event);
  settle();
  reporter_.acted();
}

}  // namespace lorvex::journeys
