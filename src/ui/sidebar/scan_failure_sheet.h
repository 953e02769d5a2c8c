// The scan-failure sheet: a window-modal dialog (680 wide, at least 460 high) listing every file a
// scan could not index, with its message and guidance, what started the scan and over which
// folders, and four recoveries: copy the plain-text report, reveal a failed file (not for missing
// files), grant access to the root whose permission failed, and sync the folders again. The list
// may hold thousands of rows: a list view with a painting delegate.
//
// Re-authorise and rescan only call back: their owner closes the sheet first and then opens the
// picker or asks for the sync. Copy and reveal leave it open; Close and Escape close it.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <functional>

#include "ui/sidebar/scan_failure_diagnostics_presentation.h"

class QLabel;
class QListView;
class QPushButton;

namespace lorvex::ui {

class SelectableWrappedText;
class WrappedTextLabel;

class ScanFailureListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ScanFailureListModel(QObject* parent = nullptr);
  void setRows(std::vector<ScanFailureRecoveryRow> rows);
  const ScanFailureRecoveryRow& rowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::vector<ScanFailureRecoveryRow> rows_;
};

class ScanFailureDiagnosticsSheet : public QDialog {
  Q_OBJECT

 public:
  ScanFailureDiagnosticsSheet(QWidget* parent, std::function<void()> requestReauthorization,
                              std::function<void()> requestRescan);
  // Shows this presentation (absent: an empty sheet, no scan to describe).
  void setPresentation(const std::optional<ScanFailureDiagnosticsPresentation>& presentation);
  const std::optional<ScanFailureDiagnosticsPresentation>& presentation() const { return presentation_; }
  QListView* failureList() const { return list_; }
  // The items of a row's context menu: reveal, for rows that are not missing files.
  bool offersReveal(int row) const;

 private:
  void showRowMenu(const QPoint& position);

  std::optional<ScanFailureDiagnosticsPresentation> presentation_;
  ScanFailureListModel* model_;
  QListView* list_;
  QLabel* title_;
  WrappedTextLabel* summary_;
  WrappedTextLabel* context_;
  SelectableWrappedText* roots_;
  WrappedTextLabel* guidance_;
  QPushButton* close_;
  QPushButton* copy_;
  QPushButton* reauthorize_;
  QPushButton* rescan_;
  QWidget* content_;
};

}  // namespace lorvex::ui
