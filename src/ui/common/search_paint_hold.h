// A window's repaints wait a moment for a search that has just started.
//
// A filter change starts a search and shows its state at once: the header reads "Searching…", the
// grid its indicator, and a new chip bar moves the grid. Most searches end within a frame or two,
// and the window is then painted again for the result: two full paints for one change, the first
// on screen for a frame or so. While a search that started less than the hold's time ago runs, the
// window's repaints are held; Qt keeps collecting what changed, and it is painted once, when the
// search ends, when that time has passed (the searching state then shows as it always does), or
// as soon as input comes (what a person types or clicks is not kept from the screen).
//
// Thread safety: GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

class QWidget;

namespace lorvex::ui {

// Long enough for a search of the library's first page to end on a busy machine, short enough
// that the change is still felt as immediate.
inline constexpr std::chrono::milliseconds kSearchPaintHold{50};

class SearchPaintHold : public QObject {
  Q_OBJECT

 public:
  // Holds the repaints of `window` (a top-level widget).
  SearchPaintHold(QWidget& window, std::chrono::milliseconds hold, QObject* parent = nullptr);
  ~SearchPaintHold() override;

  // Whether a repaint of the window is waiting.
  bool isHolding() const { return holding_; }

  // A search has started (true) or ended (false). Only a start begins a hold; a search that is
  // still running when another replaces it keeps the first one's time.
  void setSearchRunning(bool running);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void release();

  QPointer<QWidget> window_;
  QTimer deadline_;
  bool running_ = false;
  bool open_ = false;  // repaints are held until the deadline, the search's end or input
  bool holding_ = false;
};

}  // namespace lorvex::ui
