// The centre column of the main window: the results header, the grid of result tiles with the
// load-more row under it, and over the grid either the searching indicator or the empty-results
// panel. It is built with the feature models it reads and the workspace's actions (folder picker,
// renewed folder access, shortcut help, the preview of a file) and told when the preview overlay is
// shown.
//
// The load-more row shows while more records exist or a page loads, as the last row of the grid's
// scrolled content; the overlay choice and the empty panel's presentation are rebuilt from the
// models' signals once per turn of the event loop. The overlays do not scroll, so the column is
// never shorter than the header and the overlay shown, with a margin around it: a window made as
// small as it goes still shows the empty panel and its button whole.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "store/async/turn_end_call.h"
#include "ui/common/app_localization.h"
#include "ui/common/local_image_loader.h"
#include "ui/results/empty_results_presentation.h"
#include "ui/results/results_grid_list_models.h"

namespace lorvex {
class FiltersModel;
}

namespace lorvex::ui {

class EmptyResultsOverlay;
class LoadMoreResultsIndicator;
class ResultsGridListView;
class ResultsHeader;
class SearchProgressIndicator;

struct ResultsGridViewActions {
  std::function<void()> showFolderImporter;
  std::function<void(const std::string& path)> reauthorizeFolder;
  std::function<void()> showShortcutHelp;
  std::function<void(const std::string& fileURL)> showQuickLook;
};

class ResultsGridView : public QWidget {
  Q_OBJECT

 public:
  // `models` are the grid's; the header, the empty panel and the overlay choice read them and the
  // filters.
  ResultsGridView(ResultsGridListModels models, FiltersModel& filters, ResultsGridViewActions actions,
                  AppLocalization localizer = AppLocalization::live(),
                  LocalImageLoader& loader = LocalImageLoader::shared(), QWidget* parent = nullptr);
  ~ResultsGridView() override;

  void setQuickLookPresented(bool presented);
  // Gives the grid the keyboard and the ownership of its keys (after an action elsewhere in the
  // window that is about the grid, such as the feedback banner's).
  void requestKeyboardFocus();
  ResultsGridListView& grid() { return *grid_; }
  ResultsHeader& header() { return *header_; }
  ResultsOverlay overlay() const { return overlay_; }
  QSize minimumSizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static constexpr int kOverlayMargin = 24;

  void rebuild();
  void placeOverlays();
  int overlayWidth(int gridWidth) const;

  ResultsGridListModels models_;
  FiltersModel& filters_;
  ResultsGridViewActions actions_;
  AppLocalization localizer_;
  ResultsHeader* header_ = nullptr;
  ResultsGridListView* grid_ = nullptr;
  LoadMoreResultsIndicator* loadMore_ = nullptr;
  SearchProgressIndicator* searching_ = nullptr;
  EmptyResultsOverlay* empty_ = nullptr;
  ResultsOverlay overlay_ = ResultsOverlay::none;
  TurnEndCall rebuildSoon_{this, [this] { rebuild(); }};
};

}  // namespace lorvex::ui
