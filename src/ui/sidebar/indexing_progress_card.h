// The card that covers the window while the library is not ready. While it is prepared: a large
// busy indicator, the stage with the running scan's counts, and the line that the library is
// unavailable until then. When it could not be opened: a warning sign (the busy indicator while
// it waits for another process to let go), that it could not be opened, why and where it is. It
// follows the library's preparing and indexing flags, progress and open failure; the content view
// places it and decides when it shows.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QFrame>
#include <optional>

#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"
#include "ui/sidebar/indexing_progress_overlay_presentation.h"
#include "ui/sidebar/library_unavailable_presentation.h"

class QLabel;

namespace lorvex {
class LibraryModel;
}

namespace lorvex::ui {

class BusyIndicator;
class WrappedTextLabel;

class IndexingProgressCard : public QFrame {
  Q_OBJECT

 public:
  IndexingProgressCard(LibraryModel& library, const AppLocalization& localizer = AppLocalization::live(),
                       QWidget* parent = nullptr, ViewResourceDisplay resourceDisplay = {});
  QString message() const;

  // The card's width while it explains an open failure (its texts wrap to it).
  static constexpr int kUnavailableWidth = 460;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void refresh();

  LibraryModel& library_;
  const AppLocalization& localizer_;
  const ViewResourceDisplay resourceDisplay_;
  std::optional<IndexingProgressOverlayPresentation> shown_;
  std::optional<LibraryUnavailablePresentation> shownUnavailable_;
  BusyIndicator* busy_;
  QLabel* symbol_;
  WrappedTextLabel* message_;
  QLabel* unavailable_;
  WrappedTextLabel* reason_;
  WrappedTextLabel* location_;
};

}  // namespace lorvex::ui
