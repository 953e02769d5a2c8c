#include "ui/common/load_more_results_indicator.h"

#include <QHBoxLayout>

#include "ui/common/app_localization.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/eliding_label.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

LoadMoreResultsIndicator::LoadMoreResultsIndicator(QWidget* parent, const AppLocalization* localization)
    : QWidget(parent), localization_(localization != nullptr ? *localization : AppLocalization::live()) {
  setObjectName(QStringLiteral("results.loadMore"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, kVerticalPadding, 0, kVerticalPadding);
  row->setSpacing(kSpacing);
  row->addStretch(1);
  busy_ = new BusyIndicator(BusyIndicator::Size::small, this);
  busy_->setObjectName(QStringLiteral("results.loadMore.progress"));
  row->addWidget(busy_, 0, Qt::AlignVCenter);
  label_ = new ElidingLabel(QString(), this);
  label_->setObjectName(QStringLiteral("results.loadMore.text"));
  label_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*label_, roleColor(ColorRole::secondary, palette()));
  row->addWidget(label_, 0, Qt::AlignVCenter);
  row->addStretch(1);
  // The same height with and without the indicator, so the grid above does not jump when a page
  // starts or stops loading.
  setMinimumHeight(busy_->sizeHint().height() + 2 * kVerticalPadding);
  apply();
}

void LoadMoreResultsIndicator::setLoading(bool loading) {
  if (loading == loading_) return;
  loading_ = loading;
  apply();
}

QString LoadMoreResultsIndicator::text() const {
  return label_->text();
}

void LoadMoreResultsIndicator::apply() {
  busy_->setVisible(loading_);
  label_->setText(qtText(localization_.lookup(loading_ ? "result.loadingMore" : "result.loadMore")));
  // One element for assistive technology: the row reads as its text.
  setAccessibleName(label_->text());
}

}  // namespace lorvex::ui
