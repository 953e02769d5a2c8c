// The images the slideshow shows now, on black, each placed at its frame of the adaptive grid and
// laid out again when the strip is resized or the records change. Each cell keeps its image view
// from one step to the next, so the previous image stays on screen until the next one is decoded
// (decoding and scaling run off the GUI thread: slideshow_image_decoding.h). Each image is decoded
// at the pixel size of its frame (never enlarged) and shown fitted in it.
//
// Dragging an image offers the file the library's drag payload names.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "model/image_drag_payload.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/slideshow/slideshow_adaptive_grid_layout.h"

namespace lorvex::ui {

class LocalImageLoader;
class LocalImageView;

class SlideshowImageStrip : public QWidget {
  Q_OBJECT

 public:
  using DragPayload = std::function<std::optional<ImageDragPayload>(const ImageRecord& record)>;

  SlideshowImageStrip(LocalImageLoader& loader, const AppLocalization& localization,
                      QWidget* parent = nullptr);
  ~SlideshowImageStrip() override;

  // The records shown now, in order; an unchanged list changes nothing.
  void setRecords(std::vector<RecordRef> records);
  const std::vector<RecordRef>& records() const { return records_; }
  const SlideshowAdaptiveGridLayout& layout() const { return layout_; }

  // The image views, one per cell of the layout, in cell order; views of cells not shown are
  // hidden and not listed.
  std::vector<LocalImageView*> imageViews() const;

  // What a drag of the record offers; nothing drags nothing.
  DragPayload dragPayload;
  // Called for a press anywhere on the strip.
  std::function<void()> onPressed;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void relayout();
  void displayStateChanged(std::size_t slot);
  std::optional<int> cellAt(QPoint position) const;

  LocalImageLoader& loader_;
  const AppLocalization& localization_;
  std::vector<RecordRef> records_;
  SlideshowAdaptiveGridLayout layout_;
  std::vector<LocalImageView*> views_;  // by cell position; grows as needed
  std::vector<QRect> targets_;          // where each view goes once its image is ready
  std::optional<QPoint> pressPosition_;
  std::optional<int> pressedCell_;
};

}  // namespace lorvex::ui
