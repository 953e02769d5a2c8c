#include "ui/detail/metadata_tag_flow_layout.h"

#include <QWidget>
#include <cmath>

namespace lorvex::ui {

MetadataTagFlowLayout::MetadataTagFlowLayout(QWidget* parent, double horizontalSpacing,
                                             double verticalSpacing)
    : QLayout(parent), horizontalSpacing_(horizontalSpacing), verticalSpacing_(verticalSpacing) {
  setContentsMargins(0, 0, 0, 0);
}

MetadataTagFlowLayout::~MetadataTagFlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void MetadataTagFlowLayout::addItem(QLayoutItem* item) {
  items_.push_back(item);
}

int MetadataTagFlowLayout::count() const {
  return static_cast<int>(items_.size());
}

QLayoutItem* MetadataTagFlowLayout::itemAt(int index) const {
  return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

QLayoutItem* MetadataTagFlowLayout::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = items_[static_cast<std::size_t>(index)];
  items_.erase(items_.begin() + index);
  return item;
}

Qt::Orientations MetadataTagFlowLayout::expandingDirections() const {
  return Qt::Horizontal;
}

bool MetadataTagFlowLayout::hasHeightForWidth() const {
  return true;
}

std::vector<FlowSize> MetadataTagFlowLayout::itemSizes() const {
  std::vector<FlowSize> sizes;
  sizes.reserve(items_.size());
  for (const QLayoutItem* item : shownItems()) {
    const QSize hint = item->sizeHint();
    sizes.push_back({static_cast<double>(hint.width()), static_cast<double>(hint.height())});
  }
  return sizes;
}

// A hidden chip takes no cell: the plan only sees what is shown.
std::vector<QLayoutItem*> MetadataTagFlowLayout::shownItems() const {
  std::vector<QLayoutItem*> shown;
  shown.reserve(items_.size());
  for (QLayoutItem* item : items_) {
    if (!item->isEmpty()) shown.push_back(item);
  }
  return shown;
}

MetadataTagFlowLayoutPlan MetadataTagFlowLayout::plan(std::optional<double> width) const {
  return makePlan(itemSizes(), width, horizontalSpacing_, verticalSpacing_);
}

int MetadataTagFlowLayout::heightForWidth(int width) const {
  const QMargins margins = contentsMargins();
  const double inner = width - margins.left() - margins.right();
  return static_cast<int>(std::ceil(plan(inner).size.height)) + margins.top() + margins.bottom();
}

QSize MetadataTagFlowLayout::sizeHint() const {
  const QMargins margins = contentsMargins();
  const FlowSize size = plan(std::nullopt).size;
  return QSize(static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height))) +
         QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize MetadataTagFlowLayout::minimumSize() const {
  // Any width works (chips shrink to the row); the height at that width comes from heightForWidth.
  const QMargins margins = contentsMargins();
  return QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void MetadataTagFlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QRect inner = rect.marginsRemoved(contentsMargins());
  const MetadataTagFlowLayoutPlan placed = plan(static_cast<double>(inner.width()));
  const std::vector<QLayoutItem*> shown = shownItems();
  for (const auto& cell : placed.cells) {
    QLayoutItem* item = shown[static_cast<std::size_t>(cell.index)];
    item->setGeometry(QRect(inner.x() + static_cast<int>(std::floor(cell.frame.x)),
                            inner.y() + static_cast<int>(std::floor(cell.frame.y)),
                            static_cast<int>(std::floor(cell.frame.width)),
                            static_cast<int>(std::floor(cell.frame.height))));
  }
}

}  // namespace lorvex::ui
