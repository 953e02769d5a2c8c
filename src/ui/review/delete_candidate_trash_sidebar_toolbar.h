// The entry to the delete-candidate review: a full-width bar the filter sidebar pins below its
// scrolling content, with one button that opens the review. It shows no counts; the button is
// disabled until the library's live service is prepared and while the library is being prepared.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "store/feature_models.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

class HeaderActionButton;

class DeleteCandidateTrashSidebarToolbar : public QWidget {
  Q_OBJECT

 public:
  DeleteCandidateTrashSidebarToolbar(const StoreContext& context, const LibraryModel& library,
                                     std::function<void()> presentReview, QWidget* parent = nullptr,
                                     const AppLocalization* localization = nullptr);

  // The button follows the two readiness flags (the context's and the library's).
  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The context and the library are still there and allow opening the review.
  bool canPresent() const;

  QPointer<const StoreContext> context_;
  QPointer<const LibraryModel> library_;
  std::function<void()> presentReview_;
  HeaderActionButton* button_ = nullptr;
};

// Whether the review may be opened: the live service is in place and no preparation runs.
bool canPresentDeleteCandidateTrashReview(const StoreContext& context, const LibraryModel& library);

// The sidebar's `presentReview`: opens the review and loads its candidates, as a flow of the
// model's context.
void presentDeleteCandidateTrashReview(TrashModel& trash);

// The sidebar's factory for the bar it pins below its scrolling content.
QWidget* makeDeleteCandidateTrashSidebarToolbar(const StoreContext& context, const LibraryModel& library,
                                                std::function<void()> presentReview, QWidget* parent);

}  // namespace lorvex::ui
