// ResultsGridModel: the results grid's list model. One row per record of the results model's
// window, in window order. It keeps its own copy of the records and follows the window's begin/end
// signals, so the view always sees row counts that match the changes it is told about (the
// window's own list may already be final when a removal is reported).
//
// It also keeps its own copy of the effective selection (the selected paths, or the focused path
// alone) and, when the selection changes, repaints only the rows whose membership changed. A
// selection of many records (select all over a large window) is not copied: the rows then read the
// results' selection and the whole grid repaints once, which costs less than copying the set.
//
// Thread safety: the store's thread (the GUI thread) only.
#pragma once

#include <QAbstractListModel>
#include <optional>
#include <string>
#include <vector>

#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/common/image_tile_presentation.h"

namespace lorvex {
class ResultsModel;
}

namespace lorvex::ui {

class ResultsGridModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    // bool: the record is in the effective selection.
    SelectedRole = Qt::UserRole + 1,
    // QString: the tile's automation identifier (resultTileAccessibilityIdentifier).
    IdentifierRole,
    // QString: the record's path.
    PathRole,
  };
  // Qt::DisplayRole and Qt::AccessibleTextRole give the file name; Qt::AccessibleDescriptionRole
  // the selection, favourite and delete-candidate state.

  // Selections larger than this are read from the results model instead of being copied.
  static constexpr std::size_t kLargeSelection = 2048;

  ResultsGridModel(ResultsModel& results, AppLocalization localizer, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  // The row's record; null outside the rows.
  const RecordRef& recordAt(int row) const;
  // The row of a loaded path, or nothing.
  std::optional<int> rowOf(std::string_view path) const;
  bool isSelected(int row) const;
  const std::vector<RecordRef>& records() const { return records_; }

 private:
  void followWindow();
  void syncSelection();
  bool inEffectiveSelection(const std::string& path) const;
  void repaintRows(std::vector<int> rows);

  ResultsModel& results_;
  AppLocalization localizer_;
  std::vector<RecordRef> records_;
  // The effective selection as last painted; unused while `selectionIsLarge_`.
  PathSet selected_;
  bool selectionIsLarge_ = false;
};

}  // namespace lorvex::ui
