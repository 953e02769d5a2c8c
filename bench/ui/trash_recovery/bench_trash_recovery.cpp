// bench_trash_recovery [--failures N]...
//
// The Trash review's failure-recovery list on the offscreen platform, after a move in which every
// file failed alike (a volume that refuses the Trash): N failures (default: 500, 2,000 and 5,000,
// one run each). The summary's Details button is clicked, the recovery sheet shows and paints, and
// its list is then scrolled to the end a page at a time. Prints the longest time the GUI thread
// spent on one event (aim: under 50 ms at 5,000 failures), what that event was, and the GUI
// thread's busy time from the click until the sheet had painted.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/common/app_localization.h"
#include "ui/review/trash_summary_presentation.h"
#include "ui/review/trash_summary_view.h"
#include "ui/support/ui_test_application.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times every outermost event the GUI thread handles (the events handled inside another's handling
// are part of it).
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  struct Window {
    Clock::duration busy{};
    Clock::duration longest{};
    std::string longestEvent;
  };

  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_ > 0) {
      ++depth_;
      const bool handled = QApplication::notify(receiver, event);
      --depth_;
      return handled;
    }
    ++depth_;
    const auto begin = Clock::now();
    const int type = event->type();
    const std::string name = receiver != nullptr ? receiver->objectName().toStdString() : std::string();
    const char* className = receiver != nullptr ? receiver->metaObject()->className() : "";
    const bool handled = QApplication::notify(receiver, event);
    const Clock::duration spent = Clock::now() - begin;
    --depth_;
    window_.busy += spent;
    if (spent > window_.longest) {
      window_.longest = spent;
      window_.longestEvent = "event " + std::to_string(type) + " to " + className + " " + name;
    }
    return handled;
  }

  void open() { window_ = Window{}; }
  const Window& window() const { return window_; }

 private:
  int depth_ = 0;
  Window window_;
};

double milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

lorvex::ImageTrashSummary refusedSummary(int failures) {
  lorvex::ImageTrashSummary summary;
  summary.requestedCount = failures;
  for (int i = 0; i < failures; ++i) {
    const std::string path = "/home/bench/Pictures/external volume/folder " + std::to_string(i / 100) +
                             "/generated image " + std::to_string(i) + ".png";
    summary.failures.push_back({path, "Operation not permitted: the volume has no Trash",
                                lorvex::ImageTrashFailureReason::underlyingError,
                                lorvex::ErrorNotice{lorvex::ErrorNoticeKind::trashMoveFailed, {}}});
  }
  return summary;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--failures") == 0) {
      counts.push_back(std::max(1, std::atoi(argv[i + 1])));
    } else {
      std::fprintf(stderr, "usage: bench_trash_recovery [--failures N]...\n");
      return 2;
    }
  }
  if (counts.empty()) counts = {500, 2000, 5000};
  static int appArgc = 1;
  static char appName[] = "bench_trash_recovery";
  static char* appArgv[] = {appName, nullptr};
  auto* application = new TimedApplication(appArgc, appArgv);
  lorvex::ui::testing::uiTestApplication();
  const lorvex::ui::AppLocalization& localizer = lorvex::ui::AppLocalization::live();

  std::printf("failure-recovery list, offscreen (GUI thread, wall time)\n");
  bool allWithinAim = true;
  for (const int count : counts) {
    QWidget host;
    host.resize(1040, 760);
    auto* summary = new lorvex::ui::TrashSummaryView([] {}, &host);
    summary->resize(1040, 200);
    const lorvex::ImageTrashSummary outcome = refusedSummary(count);
    summary->setSummary(lorvex::ui::TrashSummaryPresentation{outcome, localizer, {}},
                        lorvex::ui::TrashFailureRecoveryPresentation{outcome, localizer, {}}, true);
    host.show();
    lorvex::ui::testing::drainUiEvents();

    auto* details = summary->findChild<QPushButton*>("deleteCandidateReview.recovery.details");
    application->open();
    QTest::mouseClick(details, Qt::LeftButton);
    lorvex::ui::testing::drainUiEvents();
    const TimedApplication::Window opening = application->window();
    lorvex::ui::TrashFailureRecoverySheet* sheet = summary->recoverySheetForTest();
    auto* list = sheet != nullptr
                     ? sheet->findChild<QAbstractScrollArea*>("deleteCandidateReview.recovery.failures")
                     : nullptr;
    if (list == nullptr) {
      std::fprintf(stderr, "the recovery sheet did not open\n");
      return 1;
    }
    // Scrolled to the end a page at a time, each page a turn of the event loop of its own.
    application->open();
    QScrollBar* bar = list->verticalScrollBar();
    int pages = 0;
    while (bar->value() < bar->maximum() && pages < 100'000) {
      QTimer::singleShot(0, bar, [bar] { bar->setValue(bar->value() + bar->pageStep()); });
      lorvex::ui::testing::drainUiEvents();
      ++pages;
    }
    const TimedApplication::Window scrolling = application->window();
    const double longest = milliseconds(std::max(opening.longest, scrolling.longest));
    allWithinAim = allWithinAim && (count > 5000 || longest < 50.0);
    std::printf("  %5d failures: open %7.1f ms busy, longest event %7.1f ms (%s)\n", count,
                milliseconds(opening.busy), milliseconds(opening.longest), opening.longestEvent.c_str());
    std::printf("                  scroll %d pages: longest event %7.1f ms (%s)\n", pages,
                milliseconds(scrolling.longest), scrolling.longestEvent.c_str());
    sheet->close();
    lorvex::ui::testing::drainUiEvents();
  }
  std::printf("aim: no event over 50 ms up to 5,000 failures: %s\n", allWithinAim ? "met" : "missed");
  return allWithinAim ? 0 : 1;
}
