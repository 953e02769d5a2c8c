// The dialogs the sidebar opens over the window: the unregister and sync confirmations
// (QMessageBox) and the scan-failure sheet, which follow the sidebar's requests, and the Trash review
// sheet, which follows the presentation's review flag. Each is window-modal, opened with open(), and
// parented to the sidebar; it is made when its request or flag appears and closed when that goes,
// and finishing it in any way clears the request (or dismisses the review).
//
// Thread safety: the GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include "store/async/turn_end_call.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"
#include "ui/sidebar/sidebar_factories.h"

class QDialog;
class QMessageBox;
class QWidget;

namespace lorvex::ui {

class FilterSidebarRequests;
class ScanFailureDiagnosticsSheet;

// What the dialogs read and change.
struct SidebarDialogModels {
  const LibraryModel& library;  // the last scan the failure sheet describes
  TrashModel& trash;
  ResultsModel& results;
  const ImageLibraryPresentationState& presentation;
  const StoreProjections& projections;
};

class SidebarDialogs : public QObject {
  Q_OBJECT

 public:
  // `host` (the sidebar) parents the dialogs and this object; the models and `requests` outlive it.
  SidebarDialogs(SidebarDialogModels models, FilterSidebarRequests& requests,
                 decltype(FilterSidebarFactories::trashReviewSheet) makeTrashReviewSheet,
                 ViewResourceDisplay resourceDisplay, const AppLocalization& localizer, QWidget& host);
  ~SidebarDialogs() override;

  // Opens, rewords or closes the confirmations and the scan-failure sheet as the requests now ask;
  // the requests call it after each change.
  void followRequests();
  // Shows the last scan in the open scan-failure sheet now instead of on the next turn.
  void updateScanFailureSheet();

  // What is open now; null when closed.
  QMessageBox* unregisterDialog() const;
  QMessageBox* syncDialog() const;
  ScanFailureDiagnosticsSheet* scanFailureSheet() const;
  QDialog* trashReviewSheet() const;

 private:
  void followTrashReviewFlag();

  SidebarDialogModels models_;
  FilterSidebarRequests& requests_;
  decltype(FilterSidebarFactories::trashReviewSheet) makeTrashReviewSheet_;
  ViewResourceDisplay resourceDisplay_;
  const AppLocalization& localizer_;
  QWidget& host_;
  TurnEndCall scanFailureSheetSoon_{this, [this] { updateScanFailureSheet(); }};

  QPointer<QMessageBox> unregisterDialog_;
  QPointer<QMessageBox> syncDialog_;
  QPointer<ScanFailureDiagnosticsSheet> scanFailureSheet_;
  QPointer<QDialog> trashReviewSheet_;
};

}  // namespace lorvex::ui
