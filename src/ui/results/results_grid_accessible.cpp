#include "ui/results/results_grid_accessible.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QPointer>
#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "ui/results/results_grid_list_view.h"

namespace lorvex::ui {

namespace {

class TileAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TileAccessible(ResultsGridListView* view, std::string path) : view_(view), path_(std::move(path)) {}

  // The tile's row now, or nothing once its record has left (or the grid is gone).
  std::optional<int> row() const {
    if (view_ == nullptr) return std::nullopt;
    return view_->gridModel().rowOf(path_);
  }

  bool isValid() const override { return row().has_value(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    return view_ != nullptr && view_->window() != nullptr ? view_->window()->windowHandle() : nullptr;
  }
  QAccessibleInterface* parent() const override {
    return view_ != nullptr ? QAccessible::queryAccessibleInterface(view_) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }

  QString text(QAccessible::Text type) const override {
    const auto at = row();
    if (!at) return {};
    const QModelIndex index = view_->gridModel().index(*at);
    switch (type) {
      case QAccessible::Name:
        return index.data(Qt::AccessibleTextRole).toString();
      case QAccessible::Description:
        return index.data(Qt::AccessibleDescriptionRole).toString();
      default:
        return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    const auto at = row();
    if (!at) return {};
    const QRect tile = view_->tileRect(*at).toAlignedRect();
    return QRect(view_->viewport()->mapToGlobal(tile.topLeft()), tile.size());
  }
  QAccessible::Role role() const override { return QAccessible::Button; }
  QAccessible::State state() const override {
    QAccessible::State state;
    const auto at = row();
    if (!at) {
      state.invalid = true;
      return state;
    }
    state.selectable = true;
    state.selected = view_->gridModel().isSelected(*at);
    const auto [first, last] = view_->rowsOnScreen();
    if (*at < first || *at > last) state.offscreen = true;
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
  }

  QStringList actionNames() const override { return {pressAction(), showMenuAction()}; }
  void doAction(const QString& name) override {
    // The grid refuses both while its gate is closed.
    const auto at = row();
    if (!at) return;
    if (name == pressAction()) {
      view_->selectTile(*at, QGuiApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                                     Qt::AltModifier | Qt::MetaModifier));
    } else if (name == showMenuAction()) {
      view_->showTileContextMenu(*at);
    }
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  QPointer<ResultsGridListView> view_;
  std::string path_;
};

class ResultsGridAccessible : public QAccessibleWidget {
 public:
  explicit ResultsGridAccessible(ResultsGridListView* view) : QAccessibleWidget(view, QAccessible::List) {}

  ~ResultsGridAccessible() override {
    for (const auto& [path, id] : tiles_) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return grid()->gridModel().rowCount(); }
  QAccessibleInterface* child(int index) const override {
    const RecordRef& record = grid()->gridModel().recordAt(index);
    return record != nullptr ? tileFor(record->file.path) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto* tile = dynamic_cast<const TileAccessible*>(child);
    if (tile == nullptr) return -1;
    return tile->row().value_or(-1);
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const auto row = grid()->tileRowAt(grid()->viewport()->mapFromGlobal(QPoint(x, y)));
    return row ? child(*row) : nullptr;
  }

 private:
  ResultsGridListView* grid() const { return static_cast<ResultsGridListView*>(widget()); }

  // One description per path, kept while its record is loaded: asked for twice, a tile is the
  // same object, as assistive technology expects.
  QAccessibleInterface* tileFor(const std::string& path) const {
    if (const auto found = tiles_.find(path); found != tiles_.end()) {
      if (QAccessibleInterface* tile = QAccessible::accessibleInterface(found->second)) return tile;
      tiles_.erase(found);  // deleted by the accessibility layer: made again below
    }
    if (tiles_.size() >= sweepAt_) {
      // The descriptions of records no longer loaded go; what stays sets the next sweep.
      for (auto entry = tiles_.begin(); entry != tiles_.end();) {
        if (grid()->gridModel().rowOf(entry->first)) {
          ++entry;
        } else {
          QAccessible::deleteAccessibleInterface(entry->second);
          entry = tiles_.erase(entry);
        }
      }
      sweepAt_ = std::max(kFirstSweep, tiles_.size() * 2);
    }
    auto* tile = new TileAccessible(grid(), path);
    tiles_.emplace(path, QAccessible::registerAccessibleInterface(tile));
    return tile;
  }

  static constexpr std::size_t kFirstSweep = 1024;
  mutable std::unordered_map<std::string, QAccessible::Id> tiles_;
  mutable std::size_t sweepAt_ = kFirstSweep;
};

QAccessibleInterface* resultsGridFactory(const QString&, QObject* object) {
  auto* view = qobject_cast<ResultsGridListView*>(object);
  return view != nullptr ? new ResultsGridAccessible(view) : nullptr;
}

}  // namespace

void installResultsGridAccessibility() {
  static std::once_flag installed;
  std::call_once(installed, [] { QAccessible::installFactory(&resultsGridFactory); });
}

}  // namespace lorvex::ui
