// The centre column of the main window: the results header, the grid of result tiles with the
// load-more row under it, and over the grid either the searching indicator or the empty-results
// panel. It is built with the store and the workspace's actions (folder picker, renewed folder
// access, shortcut help, the preview of a file) and told when the preview overlay is shown.
//
// The load-more row shows while more records exist or a page loads; the overlay choice and the
// empty panel's presentation are rebuilt from the store's signals once per turn of the event loop.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <string>

#include <QWidget>

#include "ui/common/app_localization.h"
#include "ui/common/local_image_loader.h"
#include "ui/results/empty_results_presentation.h"
#include "ui/results/once_per_turn.h"

namespace lorvex {
class ImageLibraryStore;
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
  ResultsGridView(ImageLibraryStore& store, ResultsGridViewActions actions,
                  AppLocalization localizer = AppLocalization::live(),
                  LocalImageLoader& loader = LocalImageLoader::shared(), QWidget* parent = nullptr);
  ~ResultsGridView() override;

  void setQuickLookPresented(bool presented);
  ResultsGridListView& grid() { return *grid_; }
  ResultsHeader& header() { return *header_; }
  ResultsOverlay overlay() const { return overlay_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void rebuild();
  void placeOverlays();

  ImageLibraryStore& store_;
  ResultsGridViewActions actions_;
  AppLocalization localizer_;
  ResultsHeader* header_ = nullptr;
  ResultsGridListView* grid_ = nullptr;
  LoadMoreResultsIndicator* loadMore_ = nullptr;
  SearchProgressIndicator* searching_ = nullptr;
  EmptyResultsOverlay* empty_ = nullptr;
  ResultsOverlay overlay_ = ResultsOverlay::none;
  OncePerTurn rebuildSoon_{this, [this] { rebuild(); }};
};

}  // namespace lorvex::ui
