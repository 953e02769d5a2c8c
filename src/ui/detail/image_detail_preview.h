// The inspector's large preview of the focused image: a LocalImageView decoded to at most
// 1600 px, fitted and centred on the window background, at least 260 px high, its corners rounded
// at 8. Dragging it offers the image file itself (the service's drag payload for the record, asked
// for when the drag begins; no payload, no drag). A right click opens the image context menu for
// this one record, never for the grid's multiple selection.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPoint>
#include <memory>
#include <optional>

#include "model/image_drag_payload.h"
#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/common/image_context_menu_model.h"
#include "ui/common/local_image_view.h"

namespace lorvex {
class StoreContext;
}

namespace lorvex::ui {

class ImageDetailPreview : public LocalImageView {
  Q_OBJECT

 public:
  // `models`: what the context menu reads and changes; the drag asks their context's service.
  ImageDetailPreview(ImageContextMenuModels models, const AppLocalization* localization = nullptr,
                     QWidget* parent = nullptr);

  // The record shown; the load restarts only when its request (paths, keys, size) changes.
  void setRecord(RecordRef record);
  const RecordRef& record() const { return record_; }

  static constexpr int kMinimumHeight = 260;
  static constexpr int kCornerRadius = 8;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  ImageContextMenuModels models_;
  const AppLocalization& localization_;
  RecordRef record_;
  QPoint pressPosition_;
  bool pressed_ = false;
};

// What a drag of `record` offers: the payload of the service in place now (none before the
// library is prepared, or when the service has none for the record).
std::optional<ImageDragPayload> imageDetailDragPayload(const StoreContext& context,
                                                       const ImageRecord& record);

}  // namespace lorvex::ui
