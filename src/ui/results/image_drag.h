// The drag of an image file, shared by the grid's tiles and the preview: what it carries is the
// file URL the library service offers for the record (the service decides which records may be
// dragged out at all); no payload, no drag.
//
// Thread safety: GUI thread only.
#pragma once

#include <memory>

#include <QMimeData>

class QWidget;

namespace lorvex {
class ImageLibraryServicing;
struct ImageRecord;
}  // namespace lorvex

namespace lorvex::ui {

// Asks the service once; null when it offers no payload.
std::unique_ptr<QMimeData> makeImageDragMimeData(ImageLibraryServicing& service, const ImageRecord& record);

// Runs the drag from `source` (a copy: the file stays where it is).
void startImageDrag(QWidget& source, std::unique_ptr<QMimeData> data);

}  // namespace lorvex::ui
