// The inspector's wrapping chip layout: a QLayout over makePlan. Its height depends on its width
// (height-for-width); its size hint is the plan without a width (one row); setGeometry places each
// item at its cell, offering it exactly the cell's size, so a chip wider than the row is shrunk to
// the row and elides its own text.
//
// Thread safety: GUI thread only.
#pragma once

#include <QLayout>
#include <vector>

#include "ui/detail/metadata_tag_flow_layout_plan.h"

namespace lorvex::ui {

class MetadataTagFlowLayout : public QLayout {
 public:
  explicit MetadataTagFlowLayout(QWidget* parent = nullptr,
                                 double horizontalSpacing = kMetadataTagFlowSpacing,
                                 double verticalSpacing = kMetadataTagFlowSpacing);
  ~MetadataTagFlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;

  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

  // The plan for a width inside the margins (absent: unbounded); what setGeometry places.
  MetadataTagFlowLayoutPlan plan(std::optional<double> width) const;

 private:
  std::vector<FlowSize> itemSizes() const;
  std::vector<QLayoutItem*> shownItems() const;

  std::vector<QLayoutItem*> items_;
  double horizontalSpacing_;
  double verticalSpacing_;
};

}  // namespace lorvex::ui
