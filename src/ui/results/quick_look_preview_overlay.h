// The large preview of one image over the whole window: the image fitted on a dark backdrop and
// two floating controls in the top trailing corner (start the slideshow, close). The controls fade
// in (0.16 s) on pointer activity and fade out (0.22 s) after two seconds of rest, timed on the
// context's clock; while the pointer rests on them or one of them has the focus they stay. Hidden
// controls take no clicks.
//
// Keys (an event filter, so that a focused button never takes Space for itself): Left and Right
// step to the previous and next image, Space starts the slideshow when its control has the focus
// and closes the preview otherwise, Escape closes; Up and Down do nothing. The overlay never
// changes the URL or the selection: stepping, the slideshow and closing belong to its creator.
//
// The actions run inside the overlay's own event handling: a creator that removes the overlay
// from `dismiss` does so with deleteLater.
//
// The overlay is opaque: the backdrop is the window under it, darkened, drawn from a picture of it
// taken where the image leaves it uncovered, at the first paint after the overlay is shown or
// resized, and again once the window under it has settled, 0.4 s (on the context's clock) after
// the overlay is shown or shows another file. While the overlay is shown its host counts as opaque
// too, so nothing under it is repainted: neither what changes under it (the grid's focus, the
// inspector) nor what lies under the image when the image changes.
//
// The image's context menu and drag are offered only once the image view shows the previewed file
// and the selection's focused record is that file.
//
// Names: "quickLook.overlay", "quickLook.controls", "quickLook.startSlideshow", "quickLook.close",
// "quickLook.image".
//
// Thread safety: GUI thread only.
#pragma once

#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "model/image_drag_payload.h"
#include "store/feature_models.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/common/local_image_loader.h"

class QGraphicsOpacityEffect;
class QMenu;
class QPropertyAnimation;

namespace lorvex::ui {

class FloatingToolbarButton;
class LocalImageView;
class MouseActivityReader;

struct QuickLookPreviewActions {
  std::function<void()> showPrevious;
  std::function<void()> showNext;
  std::function<void()> startSlideshow;
  std::function<void()> dismiss;
};

enum class QuickLookPreviewControlFocus { startSlideshow, close };

class QuickLookPreviewOverlay : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kFadeInSeconds = 0.16;
  static constexpr double kFadeOutSeconds = 0.22;
  static constexpr std::int64_t kHideDelayNanos = 2'000'000'000;
  static constexpr std::int64_t kBackdropRefreshDelayNanos = 400'000'000;

  // Covers `host` and follows its size. Reads the selection of `results`; the context menu changes
  // the review and the concepts; `context` times the controls and gives the service for drags.
  QuickLookPreviewOverlay(ResultsModel& results, ReviewModel& review, TagConceptsModel& concepts,
                          StoreContext& context, std::string fileURL, QuickLookPreviewActions actions,
                          QWidget* host, AppLocalization localizer = AppLocalization::live(),
                          LocalImageLoader& loader = LocalImageLoader::shared());
  ~QuickLookPreviewOverlay() override;

  void setFileURL(std::string fileURL);
  const std::string& fileURL() const { return fileURL_; }
  // The file the URL names.
  const std::string& path() const { return path_; }

  bool controlsVisible() const { return controlsVisible_; }
  std::optional<QuickLookPreviewControlFocus> focusedControl() const { return focusedControl_; }
  // The selection's focused record when it is the previewed file.
  RecordRef matchingRecord() const;
  // The context menu now shown, if any.
  QMenu* contextMenu() const { return contextMenu_; }
  // What a drag of the image carries; nothing until the image of the URL is on screen, without a
  // matching record, or when the service offers nothing.
  std::unique_ptr<QMimeData> dragData() const;
  void setStartDrag(std::function<void(std::unique_ptr<QMimeData>)> startDrag) {
    startDrag_ = std::move(startDrag);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  std::optional<ImageDragPayload> dragPayload() const;
  bool handleKey(int key);
  bool keepsControlsVisible() const;
  void revealControls();
  void showControlsPinned();
  void hideControlsAfterRest();
  void cancelHide();
  void setControlsVisible(bool visible, double seconds);
  void followFocus();
  void updateImage();
  void placeControls();
  void setHostOpaque(bool opaque);
  QRegion uncoveredRegion() const;
  void renderBackdrop();
  void scheduleBackdropRefresh();

  ResultsModel& results_;
  ReviewModel& review_;
  TagConceptsModel& concepts_;
  StoreContext& context_;
  std::string fileURL_;
  std::string path_;
  QuickLookPreviewActions actions_;
  AppLocalization localizer_;
  QWidget* host_ = nullptr;

  LocalImageView* image_ = nullptr;
  QWidget* controls_ = nullptr;
  FloatingToolbarButton* startSlideshow_ = nullptr;
  FloatingToolbarButton* close_ = nullptr;
  MouseActivityReader* activity_ = nullptr;
  QGraphicsOpacityEffect* controlsOpacity_ = nullptr;
  QPropertyAnimation* fade_ = nullptr;

  bool controlsVisible_ = false;
  bool isPointerOverControls_ = false;
  std::optional<QuickLookPreviewControlFocus> focusedControl_;
  std::optional<std::string> displayedImagePath_;
  std::stop_source hideStop_;
  bool hidePending_ = false;

  struct BackdropPart {
    QRect rect;
    QImage image;
  };
  std::vector<BackdropPart> backdrop_;  // kept for the next time the overlay is shown
  bool backdropStale_ = true;
  std::stop_source backdropRefreshStop_;
  bool hostMadeOpaque_ = false;
  bool hostWasOpaque_ = false;

  QPointer<QMenu> contextMenu_;
  std::optional<QPoint> pressPosition_;
  std::function<void(std::unique_ptr<QMimeData>)> startDrag_;
};

}  // namespace lorvex::ui
