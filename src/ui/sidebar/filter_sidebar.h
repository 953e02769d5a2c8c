// The sidebar column of the main window, a scrolling column of sections over the Trash toolbar: the
// library section (what the library is doing, the registered folders and their actions, the
// warnings that need the user), the filter section (saved tags with the tag popover, the model
// filter with the model popover, the aspects and the two review-mark toggles) and the error line.
// The dialogs it opens over the window (the unregister and sync confirmations, the scan-failure
// sheet and the Trash review sheet) are kept by SidebarDialogs.
//
// Each section takes only the models it reads and follows their signals itself; the sidebar composes
// them, keeps the requests the library section makes and the dialogs confirm, and shows the error
// line. Everything shown comes from the store's models and the plain presentations; every change
// goes to those models.
//
// Thread safety: the GUI thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <QWidget>
#include <functional>
#include <string>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"
#include "ui/sidebar/filter_sidebar_requests.h"
#include "ui/sidebar/sidebar_factories.h"

class QDialog;
class QMessageBox;
class QScrollArea;

namespace lorvex::ui {

// What the sidebar's sections, their popovers and the Trash pieces it hosts read and change.
struct FilterSidebarModels {
  LibraryModel& library;
  ResultsModel& results;
  FiltersModel& filters;
  ImageLibraryPresentationState& presentation;
  TrashModel& trash;
  SuggestionsModel& suggestions;
  TagConceptsModel& concepts;
  StoreProjections& projections;
  StoreContext& context;
};

class FilterSection;
class FilterTagAdditionPanel;
class LibrarySection;
class ModelSelectionPanel;
class ScanFailureDiagnosticsSheet;
class SelectableWrappedText;
class SidebarDialogs;

class FilterSidebar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinimumWidth = 250;
  static constexpr int kIdealWidth = 280;

  FilterSidebar(FilterSidebarModels models, ViewResourceDisplay resourceDisplay,
                std::function<void()> showFolderImporter,
                std::function<void(const std::string& path)> reauthorizeFolder,
                FilterSidebarFactories factories, const AppLocalization& localizer = AppLocalization::live(),
                QWidget* parent = nullptr);
  ~FilterSidebar() override;

  QSize sizeHint() const override;

  // Applies the store's state now instead of on the next turn (benchmarks, scenes).
  void applyStoreState();

  FilterSidebarRequests& requests() { return requests_; }
  // What is open now; null when closed.
  QMessageBox* unregisterDialog() const;
  QMessageBox* syncDialog() const;
  ScanFailureDiagnosticsSheet* scanFailureSheet() const;
  QDialog* trashReviewSheet() const;
  FilterTagAdditionPanel* tagPopover() const;
  ModelSelectionPanel* modelPopover() const;
  QScrollArea* scrollAreaForTest() const { return scrollArea_; }

 private:
  // Starts `work` on the library model as a flow of the context.
  void startLibraryTask(std::function<QCoro::Task<void>(LibraryModel&)> work);
  void updateError();

  LibraryModel& library_;
  TrashModel& trash_;
  StoreContext& context_;
  ViewResourceDisplay resourceDisplay_;
  const AppLocalization& localizer_;
  FilterSidebarRequests requests_;
  TurnEndCall errorSoon_{this, [this] { updateError(); }};

  QScrollArea* scrollArea_ = nullptr;
  LibrarySection* librarySection_ = nullptr;
  FilterSection* filterSection_ = nullptr;
  SelectableWrappedText* error_ = nullptr;
  SidebarDialogs* dialogs_ = nullptr;
};

}  // namespace lorvex::ui
