// The popovers' suggestion lists: a small list model whose rows are drawn by the same painting as
// the sidebar's filter rows (mark, text elided in the middle, kind line, count). Presentations are
// made when a row is drawn or asked for, not when the list fills, so a list of a thousand rows
// fills at once.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <functional>

#include "ui/sidebar/filter_row_painting.h"
#include "ui/sidebar/filter_row_presentation.h"

namespace lorvex::ui {

class FilterRowListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using PresentationAt = std::function<FilterRowPresentation(int row)>;

  explicit FilterRowListModel(QObject* parent = nullptr);
  void reset(int count, PresentationAt presentationAt);
  // The marks changed but not the rows: repaint them.
  void refreshAll();
  FilterRowPresentation presentationAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  int count_ = 0;
  PresentationAt presentationAt_;
};

class FilterRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit FilterRowDelegate(FilterRowMetrics metrics, QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  FilterRowMetrics metrics_;
};

// A list view for those rows: uniform row heights, no edit triggers, a click runs `onActivate`
// with the row, and the context menu offers copy for rows with a copy text.
class FilterRowListView : public QListView {
  Q_OBJECT

 public:
  FilterRowListView(FilterRowListModel& model, std::function<void(int row)> onActivate,
                    QWidget* parent = nullptr);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  FilterRowListModel& model_;
};

}  // namespace lorvex::ui
