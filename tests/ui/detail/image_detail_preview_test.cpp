// The inspector's preview: what a drag carries (the service's payload asked for when the drag
// begins; nothing without one, as before the library is prepared) and the context menu that acts
// on the shown record alone even while several grid tiles are selected.
#include "ui/detail/image_detail_preview.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "detail_widget_fixture.h"
#include "ui/common/image_drag.h"
#include "ui/detail/image_detail_panel.h"

namespace lorvex::ui {
namespace {

using testing::novelAIRecord;

class ImageDetailPreviewTest : public testing::DetailWidgetTest {};

TEST_F(ImageDetailPreviewTest, ADragCarriesThePayloadFileOrNothing) {
  makeStore({novelAIRecord("a b.png")});
  const ImageRecord record = *store->resultWindow().records().front();
  EXPECT_EQ(imageDetailDragPayload(*store, record), std::nullopt) << "no payload, no drag";

  harness.service->setAnswer("imageDragPayload", [](const lorvex::testing::ServiceCall&) {
    return std::any(std::optional<ImageDragPayload>(ImageDragPayload{"/library/a b.png"}));
  });
  const auto data = makeImageDragMimeData(imageDetailDragPayload(*store, record));
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(data->urls()[0], QUrl::fromLocalFile("/library/a b.png"));
  EXPECT_EQ(data->urls()[0].toString(), "file:///library/a b.png");
}

}  // namespace
}  // namespace lorvex::ui
