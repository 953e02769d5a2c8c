// The sidebar's library section: the collapsible header with its "manage sources" menu, the summary
// line, the add-folder button of an empty library, one row per registered folder, the button that
// gives a folder its access back, the failed-file warning, and under them the notice of a library
// rebuilt after a failure. Its folder actions go to the sidebar's requests, which confirm them in a
// dialog before the library model runs them. Its buttons take no keyboard focus from a click, so the
// results grid keeps every one of its keys; Tab reaches them.
//
// Its widgets are kept and updated, not rebuilt: the models' signals schedule one update on the next
// event-loop turn, and folder rows are reused by path.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

class QPushButton;
class QVBoxLayout;

namespace lorvex::ui {

class FilterSidebarRequests;
class LibrarySectionHeader;
class LibrarySummaryRow;
class RegisteredFolderRow;
class SelectableWrappedText;
class WrappingLinkButton;

class LibrarySection : public QWidget {
  Q_OBJECT

 public:
  // Reads `library`, whether `results` is loading and the section's expanded flag in `presentation`
  // (which the header's toggle flips); the models and `requests` outlive the section.
  LibrarySection(LibraryModel& library, const ResultsModel& results,
                 ImageLibraryPresentationState& presentation, FilterSidebarRequests& requests,
                 ViewResourceDisplay resourceDisplay, std::function<void()> showFolderImporter,
                 std::function<void(const std::string& path)> reauthorizeFolder,
                 const AppLocalization& localizer, QWidget* parent);
  ~LibrarySection() override;

  // Applies the models' state now instead of on the next turn.
  void applyStoreState();

 private:
  void updateRecoveryNotice();

  LibraryModel& library_;
  const ResultsModel& results_;
  ImageLibraryPresentationState& presentation_;
  FilterSidebarRequests& requests_;
  ViewResourceDisplay resourceDisplay_;
  std::function<void()> showFolderImporter_;
  std::function<void(const std::string&)> reauthorizeFolder_;
  const AppLocalization& localizer_;
  TurnEndCall updateSoon_{this, [this] { applyStoreState(); }};

  LibrarySectionHeader* header_ = nullptr;
  QWidget* body_ = nullptr;
  LibrarySummaryRow* summaryRow_ = nullptr;
  QPushButton* addFolder_ = nullptr;
  QVBoxLayout* folderRowsLayout_ = nullptr;
  std::map<std::string, RegisteredFolderRow*> folderRows_;
  std::vector<std::string> folderRowOrder_;
  QPushButton* allowAccess_ = nullptr;
  std::optional<std::string> repairPath_;
  WrappingLinkButton* failedFiles_ = nullptr;
  SelectableWrappedText* recoveryNotice_ = nullptr;
};

}  // namespace lorvex::ui
