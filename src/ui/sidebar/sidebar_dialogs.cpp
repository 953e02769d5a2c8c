#include "ui/sidebar/sidebar_dialogs.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/trash/trash_model.h"
#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"
#include "ui/sidebar/filter_sidebar_requests.h"
#include "ui/sidebar/scan_failure_sheet.h"

namespace lorvex::ui {
namespace {

// A confirmation's box: plain text, no icon, its two buttons named "confirm" and "cancel", Escape
// on cancel, and Return on confirm only where the texts make it the default.
QPushButton* prepareConfirmation(QMessageBox& box, const ConfirmationDialogTexts& texts) {
  box.setWindowModality(Qt::WindowModal);
  box.setIcon(QMessageBox::NoIcon);
  box.setTextFormat(Qt::PlainText);
  // The title as the text: a window manager may not show a dialog's title.
  box.setWindowTitle(qtText(texts.title));
  keepMessageBoxReadable(box);
  box.setText(qtText(texts.title));
  box.setInformativeText(qtText(texts.message));
  QPushButton* confirm =
      box.addButton(mnemonicSafe(qtText(texts.confirmTitle)),
                    texts.isConfirmDestructive ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
  confirm->setObjectName("confirm");
  QPushButton* cancel = box.addButton(mnemonicSafe(qtText(texts.cancelTitle)), QMessageBox::RejectRole);
  cancel->setObjectName("cancel");
  box.setEscapeButton(cancel);
  box.setDefaultButton(texts.isConfirmDefault ? confirm : cancel);
  return confirm;
}

}  // namespace

SidebarDialogs::SidebarDialogs(SidebarDialogModels models, FilterSidebarRequests& requests,
                               decltype(FilterSidebarFactories::trashReviewSheet) makeTrashReviewSheet,
                               ViewResourceDisplay resourceDisplay, const AppLocalization& localizer,
                               QWidget& host)
    : QObject(&host),
      models_(models),
      requests_(requests),
      makeTrashReviewSheet_(std::move(makeTrashReviewSheet)),
      resourceDisplay_(std::move(resourceDisplay)),
      localizer_(localizer),
      host_(host) {
  for (const auto signal :
       {&LibraryModel::lastScanSummaryChanged, &LibraryModel::lastScanDiagnosticContextChanged}) {
    connect(&models_.library, signal, this, [this] { scanFailureSheetSoon_.schedule(); });
  }
  connect(&models_.presentation, &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
          this, &SidebarDialogs::followTrashReviewFlag);
}

SidebarDialogs::~SidebarDialogs() {
  for (const QObject* model :
       std::initializer_list<const QObject*>{&models_.library, &models_.presentation}) {
    disconnect(model, nullptr, this, nullptr);
  }
}

QMessageBox* SidebarDialogs::unregisterDialog() const {
  return unregisterDialog_;
}
QMessageBox* SidebarDialogs::syncDialog() const {
  return syncDialog_;
}
ScanFailureDiagnosticsSheet* SidebarDialogs::scanFailureSheet() const {
  return scanFailureSheet_;
}
QDialog* SidebarDialogs::trashReviewSheet() const {
  return trashReviewSheet_;
}

void SidebarDialogs::followRequests() {
  const auto& path = requests_.unregisterConfirmationPath();
  if (path && !unregisterDialog_) {
    auto* box = new QMessageBox(&host_);
    box->setObjectName("sidebar.unregisterDialog");
    QPushButton* confirm = prepareConfirmation(*box, unregisterConfirmationTexts(localizer_));
    connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
      if (button == confirm) requests_.confirmUnregister();
    });
    connect(box, &QMessageBox::finished, this, [this, box] {
      requests_.dismissUnregister();
      box->deleteLater();
    });
    unregisterDialog_ = box;
    box->open();
  } else if (!path && unregisterDialog_) {
    QMessageBox* box = unregisterDialog_;
    unregisterDialog_ = nullptr;
    if (box->isVisible()) box->close();
  }

  const auto& sync = requests_.pendingRegisteredFolderSync();
  if (sync && syncDialog_) {
    // A new request replaced the pending one: the wording follows it.
    const auto texts = syncConfirmationTexts(*sync, localizer_);
    syncDialog_->setText(qtText(texts.title));
    syncDialog_->setInformativeText(qtText(texts.message));
    if (auto* confirm = syncDialog_->findChild<QPushButton*>("confirm"))
      confirm->setText(mnemonicSafe(qtText(texts.confirmTitle)));
  } else if (sync && !syncDialog_) {
    auto* box = new QMessageBox(&host_);
    box->setObjectName("sidebar.syncDialog");
    QPushButton* confirm = prepareConfirmation(*box, syncConfirmationTexts(*sync, localizer_));
    connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
      if (button == confirm) requests_.confirmPendingSync();
    });
    connect(box, &QMessageBox::finished, this, [this, box] {
      if (syncDialog_ == box) requests_.dismissSync();
      box->deleteLater();
    });
    syncDialog_ = box;
    box->open();
  } else if (!sync && syncDialog_) {
    QMessageBox* box = syncDialog_;
    syncDialog_ = nullptr;
    if (box->isVisible()) box->close();
  }

  if (requests_.isScanFailureDiagnosticsPresented() && !scanFailureSheet_) {
    auto* sheet = new ScanFailureDiagnosticsSheet(
        &host_,
        [this] {
          const auto* p = scanFailureSheet_ ? &scanFailureSheet_->presentation() : nullptr;
          requests_.requestReauthorizationFromScanFailure(p && *p ? (*p)->reauthorizationRootPath
                                                                  : std::nullopt);
        },
        [this] { requests_.requestRescanFromScanFailure(); });
    connect(sheet, &QDialog::finished, this, [this, sheet] {
      if (scanFailureSheet_ == sheet) requests_.dismissScanFailureDiagnostics();
      sheet->deleteLater();
    });
    scanFailureSheet_ = sheet;
    updateScanFailureSheet();
    sheet->open();
  } else if (!requests_.isScanFailureDiagnosticsPresented() && scanFailureSheet_) {
    ScanFailureDiagnosticsSheet* sheet = scanFailureSheet_;
    scanFailureSheet_ = nullptr;
    if (sheet->isVisible()) sheet->close();
  }
}

void SidebarDialogs::updateScanFailureSheet() {
  if (!scanFailureSheet_) return;
  const auto& summary = models_.library.lastScanSummary();
  scanFailureSheet_->setPresentation(
      summary ? std::optional(ScanFailureDiagnosticsPresentation::make(
                    *summary, models_.library.lastScanDiagnosticContext(), localizer_, resourceDisplay_))
              : std::nullopt);
}

void SidebarDialogs::followTrashReviewFlag() {
  const bool presented = models_.presentation.isDeleteCandidateTrashReviewPresented();
  if (presented && !trashReviewSheet_ && makeTrashReviewSheet_) {
    QDialog* sheet = makeTrashReviewSheet_(models_.trash, models_.results, models_.presentation,
                                           models_.projections, resourceDisplay_, &host_);
    if (!sheet) return;
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [this, sheet] {
      // Closed by the user while the review is still presented: dismissed once, here.
      if (trashReviewSheet_ == sheet) {
        trashReviewSheet_ = nullptr;
        if (models_.presentation.isDeleteCandidateTrashReviewPresented())
          models_.trash.dismissDeleteCandidateTrashReview();
      }
      sheet->deleteLater();
    });
    trashReviewSheet_ = sheet;
    sheet->open();
  } else if (!presented && trashReviewSheet_) {
    QDialog* sheet = trashReviewSheet_;
    trashReviewSheet_ = nullptr;
    if (sheet->isVisible()) sheet->close();
  }
}

}  // namespace lorvex::ui
