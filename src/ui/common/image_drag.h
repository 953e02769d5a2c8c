// Dragging an image out of the views (a tile, the preview, the detail panel): the drag carries the
// image file itself as a file URL, so a file manager, a browser or an image editor receives the
// original file. Without a payload (the library does not offer that file) nothing is dragged.
//
// Thread safety: GUI thread only.
#pragma once

#include <QMimeData>
#include <QPixmap>
#include <memory>
#include <optional>

#include "model/image_drag_payload.h"

class QWidget;

namespace lorvex::ui {

// One file URL (text/uri-list, plus the path as text for text-only targets); null without a payload.
std::unique_ptr<QMimeData> makeImageDragMimeData(const std::optional<ImageDragPayload>& payload);

// Runs a copy drag of the payload's file from `source` (blocks in the drag's own event loop, as
// QDrag does), with `preview` under the pointer when given. False, and no drag, without a payload.
bool startImageDrag(QWidget& source, const std::optional<ImageDragPayload>& payload,
                    const QPixmap& preview = {});

}  // namespace lorvex::ui
