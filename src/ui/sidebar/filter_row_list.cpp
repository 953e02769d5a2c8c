#include "ui/sidebar/filter_row_list.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include "ui/common/copy_tag_menu_button.h"
#include "ui/common/plain_text.h"

namespace lorvex::ui {

FilterRowListModel::FilterRowListModel(QObject* parent) : QAbstractListModel(parent) {}

void FilterRowListModel::reset(int count, PresentationAt presentationAt) {
  beginResetModel();
  count_ = count;
  presentationAt_ = std::move(presentationAt);
  endResetModel();
}

void FilterRowListModel::refreshAll() {
  if (count_ > 0) Q_EMIT dataChanged(index(0), index(count_ - 1));
}

FilterRowPresentation FilterRowListModel::presentationAt(int row) const {
  if (row < 0 || row >= count_ || !presentationAt_) return {};
  return presentationAt_(row);
}

int FilterRowListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count_;
}

QVariant FilterRowListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return qtText(presentationAt(index.row()).text);
    case Qt::AccessibleTextRole:
      return qtText(presentationAt(index.row()).accessibleName);
    default:
      return {};
  }
}

FilterRowDelegate::FilterRowDelegate(FilterRowMetrics metrics, QObject* parent)
    : QStyledItemDelegate(parent), metrics_(metrics) {}

void FilterRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = qobject_cast<const FilterRowListModel*>(index.model());
  if (!model) return;
  paintFilterRow(
      *painter, option.rect, model->presentationAt(index.row()), metrics_, option.font, option.palette,
      {bool(option.state & QStyle::State_MouseOver), bool(option.state & QStyle::State_HasFocus), false});
}

QSize FilterRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const auto* model = qobject_cast<const FilterRowListModel*>(index.model());
  if (!model) return {};
  return filterRowSizeHint(model->presentationAt(index.row()), metrics_, option.font);
}

FilterRowListView::FilterRowListView(FilterRowListModel& model, std::function<void(int row)> onActivate,
                                     QWidget* parent)
    : QListView(parent), model_(model) {
  setModel(&model);
  setItemDelegate(new FilterRowDelegate(FilterRowMetrics::popover(), this));
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFrameShape(QFrame::NoFrame);
  setMouseTracking(true);
  setSpacing(2);
  connect(this, &QListView::clicked, this, [onActivate = std::move(onActivate)](const QModelIndex& index) {
    if (index.isValid()) onActivate(index.row());
  });
}

void FilterRowListView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex index = indexAt(event->pos());
  if (!index.isValid()) return;
  const FilterRowPresentation row = model_.presentationAt(index.row());
  if (row.copyText.empty()) return;
  QMenu menu(this);
  CopyTagMenuButton::addTo(menu, row.copyText);
  menu.exec(event->globalPos());
}

}  // namespace lorvex::ui
