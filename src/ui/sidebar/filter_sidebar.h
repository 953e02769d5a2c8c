// The sidebar column of the main window: the library section (what the library is doing, the
// registered folders and their actions, the warnings that need the user), the filter section
// (saved tags with the tag popover, the model filter with the model popover, the aspects and the
// two review-mark toggles), the error line, and below the scrolling content the Trash toolbar.
//
// Everything it shows comes from the store's models and the plain presentations; every change goes
// to those models. Its widgets are kept and updated, not rebuilt: their signals schedule one update
// on the next event-loop turn, and saved-tag rows are reused by tag. Unregistering and syncing go through
// confirmation dialogs (QMessageBox, window-modal, opened with open()); the scan-failure sheet and
// the Trash review sheet are window-modal dialogs too. The two popovers follow the presentation's flags,
// and the keyboard focus goes back to the control that opened one once it has gone.
//
// Thread safety: the GUI thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"
#include "ui/sidebar/filter_sidebar_requests.h"
#include "ui/sidebar/popover_focus_return.h"
#include "ui/sidebar/sidebar_factories.h"

class QCheckBox;
class QDialog;
class QLabel;
class QMessageBox;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace lorvex::ui {

// What the sidebar, its popovers and the Trash pieces it hosts read and change.
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

struct FilterPopoverModels;
class FilterRowButton;
class FilterTagAdditionPanel;
class LibrarySectionHeader;
class LibrarySummaryRow;
class ModelSelectionPanel;
class RegisteredFolderRow;
class ScanFailureDiagnosticsSheet;
class SelectableWrappedText;
class WrappingLinkButton;

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
  QScrollArea* scrollArea() const { return scrollArea_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void buildLibrarySection(QVBoxLayout& layout);
  void buildFilterSection(QVBoxLayout& layout);
  void connectStore();
  void connectPresentation();
  void scheduleUpdate();
  void updateLibrarySection();
  void updateSavedTags();
  void updateFilters();
  void updateError();
  void updateRecoveryNotice();
  void updateDialogs();
  void updateScanFailureSheet();
  void updateTrashReviewSheet();
  void tagPopoverFlagChanged();
  void modelPopoverFlagChanged();
  enum class PopoverKind { tag, model };
  template <typename Panel>
  void followPopoverFlag(bool presented, PopoverKind kind, QPointer<Panel>& slot,
                         const std::function<Panel*()>& make);
  void focusAfterYield(PopoverFocusReturn& machine, QWidget* control, bool isTag);
  PopoverFlags tagFlags() const;
  PopoverFlags modelFlags() const;
  // Starts `work` as a flow of the models' context.
  void startStoreTask(std::function<QCoro::Task<void>(const FilterSidebarModels&)> work);
  FilterPopoverModels popoverModels() const;
  void clearModelFilter();
  void showModelRowMenu(QWidget* source, const QPoint& position);

  FilterSidebarModels models_;
  ViewResourceDisplay resourceDisplay_;
  std::function<void()> showFolderImporter_;
  std::function<void(const std::string&)> reauthorizeFolder_;
  FilterSidebarFactories factories_;
  const AppLocalization& localizer_;
  FilterSidebarRequests requests_;
  PopoverFocusReturn tagFocus_;
  PopoverFocusReturn modelFocus_;
  bool isUpdateQueued_ = false;  // cleared by applyStoreState, which may run before updateSoon_
  TurnEndCall updateSoon_{this, [this] {
                            if (isUpdateQueued_) applyStoreState();
                          }};
  bool lastTagPresented_ = false;
  bool lastModelPresented_ = false;

  QScrollArea* scrollArea_ = nullptr;
  LibrarySectionHeader* libraryHeader_ = nullptr;
  QWidget* libraryBody_ = nullptr;
  LibrarySummaryRow* summaryRow_ = nullptr;
  QPushButton* addFolder_ = nullptr;
  QVBoxLayout* folderRowsLayout_ = nullptr;
  std::map<std::string, RegisteredFolderRow*> folderRows_;
  std::vector<std::string> folderRowOrder_;
  QPushButton* allowAccess_ = nullptr;
  std::optional<std::string> repairPath_;
  WrappingLinkButton* failedFiles_ = nullptr;

  QToolButton* addTag_ = nullptr;
  QLabel* tagsEmptyHint_ = nullptr;
  QVBoxLayout* tagRowsLayout_ = nullptr;
  std::map<std::string, FilterRowButton*> tagRows_;
  std::vector<std::string> tagRowOrder_;
  QPushButton* tagMore_ = nullptr;
  FilterRowButton* modelSelect_ = nullptr;
  QToolButton* modelClear_ = nullptr;
  std::vector<FilterRowButton*> aspectRows_;
  QCheckBox* favoritesOnly_ = nullptr;
  QCheckBox* deleteCandidatesOnly_ = nullptr;
  SelectableWrappedText* error_ = nullptr;
  SelectableWrappedText* recoveryNotice_ = nullptr;

  QPointer<ImageLibraryPresentationState> connectedPresentation_;
  QPointer<QMessageBox> unregisterDialog_;
  QPointer<QMessageBox> syncDialog_;
  QPointer<ScanFailureDiagnosticsSheet> scanFailureSheet_;
  QPointer<QDialog> trashReviewSheet_;
  QPointer<FilterTagAdditionPanel> tagPopover_;
  QPointer<ModelSelectionPanel> modelPopover_;
};

}  // namespace lorvex::ui
