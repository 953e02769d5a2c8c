#include "journey_screens.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "app/main_window.h"
#include "journey_steps.h"

namespace lorvex::screens {

namespace {

using journeys::allJourneys;
using journeys::Driver;
using journeys::JourneyApp;
using journeys::JourneyDefinition;

// How many windows a window is opened over: a dialog of a sheet lies over the sheet.
int windowDepth(const QWidget* window) {
  int depth = 0;
  for (const QWidget* owner = window->parentWidget(); owner != nullptr; owner = owner->parentWidget()) {
    if (owner->isWindow()) ++depth;
  }
  return depth;
}

// The screen as a person sees it: the main window, then every other shown window over it (sheets
// and the slideshow, a dialog over the window it belongs to, then popups), each at its place.
QImage captureScreen(QWidget& main) {
  std::vector<QWidget*> windows;
  std::vector<QWidget*> popups;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top == &main || !top->isVisible() || top->windowType() == Qt::ToolTip || top->size().isEmpty())
      continue;
    (top->windowType() == Qt::Popup ? popups : windows).push_back(top);
  }
  std::stable_sort(windows.begin(), windows.end(),
                   [](const QWidget* a, const QWidget* b) { return windowDepth(a) < windowDepth(b); });
  windows.insert(windows.begin(), &main);
  windows.insert(windows.end(), popups.begin(), popups.end());
  QRect canvas;
  for (QWidget* window : windows) canvas |= window->geometry();
  QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(64, 64, 64));
  QPainter painter(&image);
  for (QWidget* window : windows)
    painter.drawPixmap(window->geometry().topLeft() - canvas.topLeft(), window->grab());
  return image;
}

class ScreensReporter final : public journeys::JourneyReporter {
 public:
  ScreensReporter(JourneyApp& app, JourneyRun run) : app_(app), run_(std::move(run)) {}

  void setWriting(bool writing) { writing_ = writing; }
  bool allWritten() const { return allWritten_; }
  int failures() const { return failures_; }

  void reached(const std::string& journey, const std::string& step) override {
    if (!writing_) return;
    const QImage image = captureScreen(app_.window());
    const std::filesystem::path file =
        run_.out / ("journey." + journey + "." + step + "." + run_.language + ".png");
    if (image.isNull() || !image.save(QString::fromStdString(file.string()), "PNG")) {
      std::fprintf(stderr, "lorvex-screens: cannot write %s\n", file.c_str());
      allWritten_ = false;
      return;
    }
    std::printf("%s (%dx%d)\n", file.c_str(), image.width(), image.height());
    std::fflush(stdout);
  }
  void failed(const std::string& message, const std::source_location& where) override {
    ++failures_;
    std::fprintf(stderr, "check failed (%s:%u): %s\n", where.file_name(), where.line(), message.c_str());
  }

 private:
  JourneyApp& app_;
  JourneyRun run_;
  bool writing_ = false;
  bool allWritten_ = true;
  int failures_ = 0;
};

}  // namespace

bool isJourneyName(const std::string& name) {
  if (name == "all") return true;
  for (const JourneyDefinition& journey : allJourneys()) {
    if (journey.name == name) return true;
  }
  return false;
}

int runJourneys(const JourneyRun& run) {
  journeys::prepareJourneyProcess(run.language);
  JourneyApp app("journey");
  if (!app.launch(run.size)) {
    std::fprintf(stderr, "lorvex-screens: the application's launch did not end\n");
    return 1;
  }
  if (!run.size) app.window().resize(app.minimumWindowSize());
  ScreensReporter reporter(app, run);
  Driver driver(app, reporter);
  for (const JourneyDefinition& journey : allJourneys()) {
    const bool chosen = run.journey == "all" || run.journey == journey.name;
    reporter.setWriting(chosen);
    driver.beginJourney(journey.name);
    journey.run(driver);
    if (chosen && run.journey != "all") break;
  }
  app.quit();
  if (reporter.failures() > 0)
    std::fprintf(stderr, "lorvex-screens: %d checks failed\n", reporter.failures());
  return reporter.allWritten() && reporter.failures() == 0 ? 0 : 1;
}

}  // namespace lorvex::screens
