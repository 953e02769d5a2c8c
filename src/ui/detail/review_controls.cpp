#include "ui/detail/review_controls.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "ui/common/key_taking_control.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/image_detail_panel_rules.h"

namespace lorvex::ui {

ReviewControls::ReviewControls(const ResultsModel& results, ReviewModel& review,
                               const StoreProjections& projections, const AppLocalization* localization,
                               QWidget* parent)
    : QWidget(parent),
      results_(results),
      review_(review),
      projections_(projections),
      localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.review");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  auto* row = new QHBoxLayout();
  row->setContentsMargins(0, 0, 0, 0);
  column->addLayout(row);

  favorite_ = new QPushButton(this);
  favorite_->setObjectName("detail.review.favorite");
  deleteCandidate_ = new QPushButton(this);
  deleteCandidate_->setObjectName("detail.review.deleteCandidate");
  row->addWidget(favorite_);
  row->addWidget(deleteCandidate_);
  row->addStretch(1);

  connect(favorite_, &QPushButton::clicked, this, [this] { review_.toggleFocusedRecordFavorite(); });
  connect(deleteCandidate_, &QPushButton::clicked, this,
          [this] { review_.toggleFocusedRecordDeleteCandidate(); });

  // A click on either leaves the keyboard where it was: the grid keeps its keys, these letters among
  // them. Tab reaches them.
  for (QPushButton* button : {favorite_, deleteCandidate_}) button->setFocusPolicy(Qt::TabFocus);

  // Window-wide, so the letters work wherever the focus is in the window; a line edit that has
  // the focus claims plain letters first (it accepts the shortcut override), so typing is safe,
  // and a control with keys of its own that has the focus keeps them all (key_taking_control.h).
  favoriteShortcut_ = new QShortcut(QKeySequence(Qt::Key_F), this);
  deleteCandidateShortcut_ = new QShortcut(QKeySequence(Qt::Key_D), this);
  for (QShortcut* shortcut : {favoriteShortcut_, deleteCandidateShortcut_}) {
    shortcut->setContext(Qt::WindowShortcut);
    shortcut->setAutoRepeat(false);
  }
  const auto clickUnlessAControlHasTheKeys = [](QPushButton* button) {
    return [button] {
      if (!isKeyTakingControl(QApplication::focusWidget())) button->click();
    };
  };
  connect(favoriteShortcut_, &QShortcut::activated, favorite_, clickUnlessAControlHasTheKeys(favorite_));
  connect(deleteCandidateShortcut_, &QShortcut::activated, deleteCandidate_,
          clickUnlessAControlHasTheKeys(deleteCandidate_));

  refresh();
}

void ReviewControls::refresh() {
  const RecordRef record = results_.selectedRecord();
  const ReviewControlsPresentation presentation =
      makeReviewControlsPresentation(record.get(), projections_.canReviewFocusedRecord());
  // The inspector refreshes on every change of the store's derived values, mostly with the same
  // record. Each setter repaints its button and lays the inspector out again, level by level:
  // only what changed is set.
  const QRgb iconColor = roleColor(ColorRole::primary).rgba();
  const auto apply = [this, iconColor](QPushButton& button, const ReviewButtonPresentation& value) {
    const QString title = qtText(localization_.lookup(value.title));
    const QString text = mnemonicSafe(title);
    if (button.text() != text) button.setText(text);
    if (button.accessibleName() != title) button.setAccessibleName(title);
    const QString symbol = QString::fromStdString(value.symbol);
    // The icon is tinted with the palette's colour of the moment: a new colour makes it again.
    if (button.property("symbol").toString() != symbol ||
        button.property("symbolColor").toUInt() != iconColor) {
      button.setIcon(symbolIcon(value.symbol));
      button.setProperty("symbol", symbol);
      button.setProperty("symbolColor", iconColor);
    }
  };
  apply(*favorite_, presentation.favorite);
  apply(*deleteCandidate_, presentation.deleteCandidate);
  setEnabled(presentation.isEnabled);
  updateShortcutStates();
}

void ReviewControls::updateShortcutStates() {
  // A shortcut of a hidden widget still fires in Qt when its context is the window: gate it on
  // being shown as well.
  const bool active = isEnabled() && isVisible();
  favoriteShortcut_->setEnabled(active);
  deleteCandidateShortcut_->setEnabled(active);
}

void ReviewControls::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  updateShortcutStates();
}

void ReviewControls::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  updateShortcutStates();
}

}  // namespace lorvex::ui
