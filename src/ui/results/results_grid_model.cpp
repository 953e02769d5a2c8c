#include "ui/results/results_grid_model.h"

#include <algorithm>
#include <utility>

#include "model/text/paths.h"
#include "store/compaction.h"
#include "store/context/store_context.h"
#include "store/record_ref.h"
#include "store/results/results_model.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {

ResultsGridModel::ResultsGridModel(ResultsModel& results, AppLocalization localizer, QObject* parent)
    : QAbstractListModel(parent), results_(results), localizer_(std::move(localizer)) {
  records_ = results_.resultWindow().records();
  followWindow();
  ResultSelection& selection = results_.selection();
  connect(&selection, &ResultSelection::primaryPathChanged, this, &ResultsGridModel::syncSelection);
  connect(&selection, &ResultSelection::selectedPathsChanged, this, &ResultsGridModel::syncSelection);
  syncSelection();
}

void ResultsGridModel::followWindow() {
  SearchResultWindow& window = results_.resultWindow();
  connect(&window, &SearchResultWindow::recordsAboutToBeReset, this, [this] { beginResetModel(); });
  connect(&window, &SearchResultWindow::recordsReset, this, [this] {
    // The copy may hold the last references to records the window has let go (a reload that
    // found the same records keeps its fresh copies and tells no one): a pool thread frees them.
    std::vector<RecordRef> previous = std::exchange(records_, results_.resultWindow().records());
    releaseRecordsOn(results_.context().utilityPool(), std::move(previous));
    endResetModel();
  });
  connect(&window, &SearchResultWindow::recordsAboutToBeInserted, this,
          [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
  connect(&window, &SearchResultWindow::recordsInserted, this, [this](int first, int last) {
    const auto& records = results_.resultWindow().records();
    records_.insert(records_.begin() + first, records.begin() + first, records.begin() + last + 1);
    endInsertRows();
  });
  connect(&window, &SearchResultWindow::recordsAboutToBeRemoved, this,
          [this](int first, int last) { beginRemoveRows(QModelIndex(), first, last); });
  connect(&window, &SearchResultWindow::recordsRemoved, this, [this](int first, int last) {
    records_.erase(records_.begin() + first, records_.begin() + last + 1);
    endRemoveRows();
  });
  // Many scattered removals: one pass over the copy, shown to the views as a reset (a view told
  // of hundreds of removals one by one would relayout each time).
  connect(&window, &SearchResultWindow::recordsAboutToBeRemovedAt, this,
          [this](const std::vector<int>&) { beginResetModel(); });
  connect(&window, &SearchResultWindow::recordsRemovedAt, this, [this](const std::vector<int>& positions) {
    removePositions(records_, positions);
    endResetModel();
  });
  connect(&window, &SearchResultWindow::recordsUpdated, this, [this](int first, int last) {
    const auto& records = results_.resultWindow().records();
    std::copy(records.begin() + first, records.begin() + last + 1, records_.begin() + first);
    Q_EMIT dataChanged(index(first), index(last));
  });
}

int ResultsGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

QModelIndex ResultsGridModel::index(int row, int column, const QModelIndex& parent) const {
  // The list view asks for every row's index each time it lays the rows out (on every appended
  // page): the base class's check costs two virtual calls per row.
  if (parent.isValid() || column != 0 || row < 0 || row >= static_cast<int>(records_.size())) return {};
  return createIndex(row, 0);
}

const RecordRef& ResultsGridModel::recordAt(int row) const {
  static const RecordRef none;
  if (row < 0 || row >= static_cast<int>(records_.size())) return none;
  return records_[static_cast<std::size_t>(row)];
}

std::optional<int> ResultsGridModel::rowOf(std::string_view path) const {
  // The copy equals the window's records between operations, so the window's index serves it;
  // the path is checked against the copy all the same.
  const auto position = results_.resultWindow().index(path);
  if (!position || *position >= static_cast<int>(records_.size())) return std::nullopt;
  if (records_[static_cast<std::size_t>(*position)]->file.path != path) return std::nullopt;
  return position;
}

bool ResultsGridModel::inEffectiveSelection(const std::string& path) const {
  if (!selectionIsLarge_) return selected_.count(path) != 0;
  const ResultSelection& selection = results_.selection();
  if (!selection.selectedPaths().empty()) return selection.selectedPaths().count(path) != 0;
  return selection.primaryPath() == path;
}

bool ResultsGridModel::isSelected(int row) const {
  const RecordRef& record = recordAt(row);
  return record != nullptr && inEffectiveSelection(record->file.path);
}

void ResultsGridModel::syncSelection() {
  const ResultSelection& selection = results_.selection();
  PathSet focusAlone;
  const PathSet* effective = &selection.selectedPaths();
  if (effective->empty()) {
    if (selection.primaryPath()) focusAlone.insert(*selection.primaryPath());
    effective = &focusAlone;
  }
  const bool large = effective->size() > kLargeSelection;
  if (large || selectionIsLarge_) {
    selected_.clear();
    selectionIsLarge_ = large;
    if (!large) selected_ = *effective;
    if (!records_.empty()) Q_EMIT dataChanged(index(0), index(rowCount() - 1), {SelectedRole});
    return;
  }
  std::vector<int> changed;
  for (const std::string_view path : selected_) {
    if (effective->count(path) == 0) {
      if (const auto row = rowOf(path)) changed.push_back(*row);
    }
  }
  for (const std::string_view path : *effective) {
    if (selected_.count(path) == 0) {
      if (const auto row = rowOf(path)) changed.push_back(*row);
    }
  }
  selected_ = *effective;
  repaintRows(std::move(changed));
}

void ResultsGridModel::repaintRows(std::vector<int> rows) {
  if (rows.empty()) return;
  std::sort(rows.begin(), rows.end());
  std::size_t start = 0;
  for (std::size_t i = 1; i <= rows.size(); ++i) {
    if (i == rows.size() || rows[i] != rows[i - 1] + 1) {
      Q_EMIT dataChanged(index(rows[start]), index(rows[i - 1]), {SelectedRole});
      start = i;
    }
  }
}

QVariant ResultsGridModel::data(const QModelIndex& index, int role) const {
  const RecordRef& record = recordAt(index.row());
  if (!index.isValid() || record == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return QString::fromStdString(std::string(text::lastPathComponent(record->file.path)));
    case Qt::AccessibleDescriptionRole:
      return QString::fromStdString(
          imageTileAccessibleValue(record->reviewState, inEffectiveSelection(record->file.path), localizer_));
    case SelectedRole:
      return inEffectiveSelection(record->file.path);
    case IdentifierRole:
      return QString::fromStdString(resultTileAccessibilityIdentifier(record->file.path));
    case PathRole:
      return QString::fromStdString(record->file.path);
    default:
      return {};
  }
}

QHash<int, QByteArray> ResultsGridModel::roleNames() const {
  QHash<int, QByteArray> names = QAbstractListModel::roleNames();
  names[SelectedRole] = "isSelected";
  names[IdentifierRole] = "identifier";
  names[PathRole] = "path";
  return names;
}

}  // namespace lorvex::ui
