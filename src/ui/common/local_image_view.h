// The widget that shows an image file from disk: the tiles' big brother in the preview, the detail
// panel and the slideshow. It applies a LocalImageLoadState: the request built from its fields
// loads while the widget is shown (hiding it cancels the load, showing it again restarts it), and
// every paint draws what the state chooses: the image scaled to fit or fill, else the photo symbol
// while loading or the warning symbol after a failure (or without a path). Accessibility gets the
// file name as the name and the load state as the description.
//
// The image is drawn from a copy scaled smoothly to its size on screen. A small image is scaled in
// the paint; a large one on the scaler's thread, so that neither the first paint of a full-size
// image nor each step of a resize waits for it: meanwhile the view draws the previous scale of the
// same image stretched to the new size, or, before there is one, the image sampled at that size
// (nearest pixel, a cost that follows the view's size, not the image's).
//
// Thread safety: GUI thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "ui/common/app_localization.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_load_state.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_scaler.h"

namespace lorvex::ui {

class LocalImageView : public QWidget {
  Q_OBJECT

 public:
  enum class ContentMode { fit, fill };

  // `localization` (kept by reference) defaults to the live one.
  explicit LocalImageView(QWidget* parent = nullptr, bool preservesCurrentImageWhileLoading = false,
                          LocalImageLoader& loader = LocalImageLoader::shared(),
                          const AppLocalization* localization = nullptr,
                          LocalImageScaler& scaler = LocalImageScaler::shared());
  ~LocalImageView() override;

  // The view's fields, normalised by makeLocalImageLoadRequest. A changed request starts loading
  // at once when the widget is visible, else when it is shown.
  void setSource(std::optional<std::string> path, std::optional<std::string> previewPath = {},
                 std::optional<std::string> imageCacheKey = {},
                 std::optional<std::string> previewCacheKey = {}, std::optional<int> imageMaxPixelSize = {});
  void setContentMode(ContentMode mode);            // default fit
  void setBackgroundColor(const QColor& color);     // default transparent
  void setImageAlignment(Qt::Alignment alignment);  // default centred
  // Called with the displayed path when the widget is shown and whenever that path changes.
  void setOnDisplayedPathChange(std::function<void(const std::optional<std::string>&)> callback);

  // The request of the current fields (what loads, or will load once shown).
  const LocalImageLoadRequest& request() const { return request_; }
  const LocalImageLoadState& loadState() const { return state_; }
  LocalImageAccessibilityState accessibilityState() const;
  std::optional<std::string> displayedPath() const { return state_.displayState().displayedPath; }
  // The image drawn now; null while a placeholder (or nothing) is drawn.
  QImage displayedImage() const;
  // Whether the last paint drew the image from a smooth scale made for exactly its size on screen
  // (false while that scale is still being made).
  bool paintedAtScaleForTest() const { return paintedAtScale_; }
  LocalImagePlaceholder placeholder() const;

  QSize sizeHint() const override;

 Q_SIGNALS:
  // After every change of what the view shows or tells accessibility.
  void displayStateChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void stateChanged();
  void updateAccessibility();
  // Asks the scaler for `image` at `deviceSize`, unless a scale of it is already on its way.
  void requestScale(const QImage& image, QSize deviceSize, qreal ratio);
  void cancelScale();

  const AppLocalization& localization_;
  LocalImageLoadState state_;
  LocalImageLoadRequest request_;
  ContentMode contentMode_ = ContentMode::fit;
  QColor backgroundColor_ = Qt::transparent;
  Qt::Alignment alignment_ = Qt::AlignCenter;
  std::function<void(const std::optional<std::string>&)> onDisplayedPathChange_;
  std::optional<std::string> reportedDisplayedPath_;
  bool hasReportedDisplayedPath_ = false;
  LocalImageScaler& scaler_;
  // The last scale of the image drawn, so a repaint does not rescale a full-size image.
  QPixmap scaled_;
  qint64 scaledSourceKey_ = 0;
  QSize scaledDeviceSize_;
  // The scale on its way, if any: of which image, at what size.
  LocalImageScaler::Ticket scaleTicket_ = 0;
  qint64 scalingSourceKey_ = 0;
  bool paintedAtScale_ = false;
};

// Where an image of `imageSize` is drawn in `bounds`: scaled to fit inside (fit) or to cover
// (fill, the overflow clipped by the caller), keeping its proportions, and placed by `alignment`.
// Empty for an empty image or bounds.
QRectF localImageTargetRect(QSizeF imageSize, QRectF bounds, LocalImageView::ContentMode mode,
                            Qt::Alignment alignment);

}  // namespace lorvex::ui
