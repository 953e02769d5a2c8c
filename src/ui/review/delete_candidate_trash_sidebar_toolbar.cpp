#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>
#include <chrono>

#include "store/context/store_context.h"
#include "store/library/library_model.h"
#include "store/trash/trash_model.h"
#include "ui/common/header_action_button.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/review/trash_review_candidate_grid.h"

namespace lorvex::ui {

namespace {

constexpr std::chrono::milliseconds kFontWarmUpDelay{1500};

}  // namespace

bool canPresentDeleteCandidateTrashReview(const StoreContext& context, const LibraryModel& library) {
  return !context.needsLiveServicePreparation() && !library.isPreparingLibrary();
}

void presentDeleteCandidateTrashReview(TrashModel& trash) {
  TrashModel* target = &trash;
  trash.context().startDetached([target] { return target->presentDeleteCandidateTrashReview(); });
}

DeleteCandidateTrashSidebarToolbar::DeleteCandidateTrashSidebarToolbar(const StoreContext& context,
                                                                       const LibraryModel& library,
                                                                       std::function<void()> presentReview,
                                                                       QWidget* parent,
                                                                       const AppLocalization* localization)
    : QWidget(parent), context_(&context), library_(&library), presentReview_(std::move(presentReview)) {
  setObjectName("deleteCandidateReview.toolbar");
  const AppLocalization& localizer = localization != nullptr ? *localization : AppLocalization::live();
  const QString title = qtText(localizer.lookup(AppLocalizationKey::deleteCandidateReviewToolbarAction));

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 8, 12, 8);
  row->addStretch(1);
  button_ = new HeaderActionButton(title, this);
  button_->setObjectName("deleteCandidateReview.toolbarAction");
  button_->setSymbol("trash");
  button_->setColorRole(HeaderActionButtonColorRole::normal);
  setPlainToolTip(*button_, title);
  button_->setAccessibleName(title);
  row->addWidget(button_);
  connect(button_, &HeaderActionButton::clicked, this, [this] {
    // The flags are read again at the press: the button's state may lag one event turn behind.
    if (canPresent() && presentReview_) presentReview_();
  });

  connect(&context, &StoreContext::needsLiveServicePreparationChanged, this,
          &DeleteCandidateTrashSidebarToolbar::refresh);
  connect(&library, &LibraryModel::isPreparingLibraryChanged, this,
          &DeleteCandidateTrashSidebarToolbar::refresh);
  refresh();
  // The review's fonts load a while after launch, not on the first press of this button.
  QTimer::singleShot(kFontWarmUpDelay, this, [] { warmTrashReviewFonts(); });
}

void DeleteCandidateTrashSidebarToolbar::refresh() {
  button_->setEnabled(canPresent());
}

bool DeleteCandidateTrashSidebarToolbar::canPresent() const {
  return context_ && library_ && canPresentDeleteCandidateTrashReview(*context_, *library_);
}

QWidget* makeDeleteCandidateTrashSidebarToolbar(const StoreContext& context, const LibraryModel& library,
                                                std::function<void()> presentReview, QWidget* parent) {
  return new DeleteCandidateTrashSidebarToolbar(context, library, std::move(presentReview), parent);
}

void DeleteCandidateTrashSidebarToolbar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  painter.setPen(roleColor(ColorRole::separator, palette()));
  painter.drawLine(0, 0, width(), 0);
}

}  // namespace lorvex::ui
