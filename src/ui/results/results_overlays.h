// What the results area lays over the grid: the searching indicator while a first page is
// searched (also over loaded results), else, with no results, the empty-results panel that says
// why and offers the one action that helps. Both only show presentation values; the action goes
// back to the host through the callbacks.
//
// Names: "results.searching"; "results.empty" with its button "results.empty.chooseFolder" (the
// same name for each of its three actions).
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "ui/common/app_localization.h"
#include "ui/results/empty_results_presentation.h"

class QLabel;
class QPushButton;

namespace lorvex::ui {

class BusyIndicator;
class WrappedTextLabel;

class SearchProgressIndicator : public QWidget {
  Q_OBJECT

 public:
  explicit SearchProgressIndicator(const AppLocalization& localizer, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

struct EmptyResultsActions {
  std::function<void()> chooseFolder;
  std::function<void(const std::string& path)> allowAccess;
  std::function<void()> resetFilters;
};

class EmptyResultsOverlay : public QWidget {
  Q_OBJECT

 public:
  EmptyResultsOverlay(EmptyResultsActions actions, QWidget* parent = nullptr);

  void setPresentation(const EmptyResultsPresentation& presentation);
  const EmptyResultsPresentation& presentation() const { return presentation_; }

 private:
  void runAction();

  EmptyResultsActions actions_;
  EmptyResultsPresentation presentation_;
  BusyIndicator* busy_ = nullptr;
  QLabel* symbol_ = nullptr;
  WrappedTextLabel* title_ = nullptr;
  WrappedTextLabel* description_ = nullptr;
  WrappedTextLabel* secondary_ = nullptr;
  QPushButton* button_ = nullptr;
};

}  // namespace lorvex::ui
