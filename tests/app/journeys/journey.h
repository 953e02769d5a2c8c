// What the journeys are written in, so that they read as a person's steps: find a control the way
// automation does (by its identifier, on screen), act on it only through input events delivered to
// its window (clicks and wheel turns where the pointer lands, keys to the focused window, text to
// the focused field), check what a person sees, and wait for the application to catch up.
//
// A check that does not hold goes to the reporter and the journey goes on, so one run shows every
// fault it meets.
//
// "Seen" means: shown, not empty, inside its window and inside the visible area of every widget
// around it (a control scrolled out of its viewport is not seen), not covered where the pointer
// would land on it, and its text whole (unless it elides on purpose).
//
// Thread safety: GUI thread only.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <source_location>
#include <string>

#include "journey_app.h"

namespace lorvex::journeys {

// Whoever runs the journeys: the tests (failures are test failures) or lorvex-screens (a picture
// per step).
class JourneyReporter {
 public:
  virtual ~JourneyReporter() = default;
  // The person now sees the state named `step` of `journey`.
  virtual void reached(const std::string& journey, const std::string& step) = 0;
  virtual void failed(const std::string& message, const std::source_location& where) = 0;
  // An input named `action` ("key Right to results.grid", "click results.filterReset") is about to
  // be delivered; acted() follows once the window has caught up with it. For whoever times the
  // steps (bench/app/bench_journey); nothing by default.
  virtual void acting(const std::string& action) { static_cast<void>(action); }
  virtual void acted() {}
};

// Whether a control's text must show whole, or may be cut on purpose (a chip, a name or a title
// that its control elides to fit its width).
enum class TextFit { whole, mayElide };

// How a control is looked for and at.
struct Look {
  TextFit fit = TextFit::whole;
  QWidget* within = nullptr;  // null: every shown window
};

class Driver {
 public:
  using Where = std::source_location;

  Driver(JourneyApp& app, JourneyReporter& reporter);

  JourneyApp& app() const { return app_; }
  void beginJourney(const std::string& name);
  const std::string& journey() const { return journey_; }
  // The longest any wait for a control or a state lasts from now on (at most the wait's own
  // limit). For a run whose library the journeys' checks were not written for, where a failed
  // wait would only lengthen the run.
  void setPatience(std::chrono::milliseconds patience) { patience_ = patience; }
  // Lets the window catch up, then tells the reporter the person sees `name` now.
  void step(const std::string& name);

  // ---- Finding ----
  // The shown control named `name` in any shown window (or below `look.within`), waited for up
  // to 10 s, scrolled into view as a person scrolls to it, and checked as seen. Null, and
  // reported, when none shows.
  QWidget* control(const QString& name, Look look = {}, Where where = Where::current());
  template <class T>
  T* control(const QString& name, Look look = {}, Where where = Where::current()) {
    return qobject_cast<T*>(control(name, look, where));
  }
  // Now, without waiting or reporting: the shown control named `name`, or null.
  QWidget* shown(const QString& name, QWidget* within = nullptr) const;
  // Turns the wheel over each scroll area around `control` whose viewport does not show it whole
  // (towards it, a few dozen turns at most).
  void scrollIntoView(QWidget* control);

  // ---- Checking ----
  // Every way `control` is not seen as a person would see it (empty when it is).
  std::vector<std::string> unseen(const QWidget* control, TextFit fit = TextFit::whole) const;
  bool seen(const QWidget* control, Look look = {}, Where where = Where::current());
  bool check(bool condition, const std::string& message, Where where = Where::current());
  // Runs the event loop until `done` holds; reports `what` when `limit` passes first.
  bool waitUntil(const std::function<bool()>& done, const std::string& what,
                 std::chrono::milliseconds limit = std::chrono::seconds(30), Where where = Where::current());
  // Lets posted events and image decodes run (briefly: the store may go on working).
  void settle();

  // ---- Acting ----
  // A left click where the pointer lands on `control` (its centre unless `at`, in its coordinates),
  // delivered to its window; reported when something else lies there.
  void click(QWidget* control, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             std::optional<QPoint> at = {}, Qt::MouseButton button = Qt::LeftButton,
             Where where = Where::current());
  void doubleClick(QWidget* control, std::optional<QPoint> at = {}, Where where = Where::current());
  // A click on `button` (at `at`, with `mouseButton`: a tile's context menu), whose menu may run an
  // event loop of its own while it is open, and a click on the menu's entry `entry` (counting
  // actions only, not titles or separators) from inside it.
  void clickMenuEntry(QWidget* button, int entry, std::optional<QPoint> at = {},
                      Qt::MouseButton mouseButton = Qt::LeftButton, Where where = Where::current());
  // A key press and release delivered to the window that has the keyboard (an open popup or modal
  // dialog first).
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Text typed into the focused field.
  void type(const QString& text, Where where = Where::current());
  // A turn of the wheel with the pointer over `control`'s centre, delivered as the window system
  // delivers it (to what lies under the pointer, on to its parents while they ignore it).
  void wheel(QWidget* control, QPoint angleDelta, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             Where where = Where::current());

  // A name for messages: the objectName, else the class.
  static std::string nameOf(const QObject* object);

 private:
  // The name an input is timed under: what it is and what it goes to.
  static std::string inputName(const std::string& what, const QWidget* target);
  std::chrono::milliseconds patient(std::chrono::milliseconds limit) const {
    return std::min(limit, patience_);
  }

  JourneyApp& app_;
  JourneyReporter& reporter_;
  std::string journey_;
  std::chrono::milliseconds patience_ = std::chrono::milliseconds::max();
};

}  // namespace lorvex::journeys
