// The card that covers the window while the library is prepared: a large busy indicator, the
// stage with the running scan's counts, and the line that the library is unavailable until then.
// It follows the library's preparing and indexing flags and progress; the content view places it
// and decides when it shows.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QFrame>
#include <optional>

#include "ui/common/app_localization.h"
#include "ui/sidebar/indexing_progress_overlay_presentation.h"

class QLabel;

namespace lorvex {
class LibraryModel;
}

namespace lorvex::ui {

class IndexingProgressCard : public QFrame {
  Q_OBJECT

 public:
  IndexingProgressCard(LibraryModel& library, const AppLocalization& localizer = AppLocalization::live(),
                       QWidget* parent = nullptr);
  QString message() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void refresh();

  LibraryModel& library_;
  const AppLocalization& localizer_;
  std::optional<IndexingProgressOverlayPresentation> shown_;
  QLabel* message_;
  QLabel* unavailable_;
};

}  // namespace lorvex::ui
