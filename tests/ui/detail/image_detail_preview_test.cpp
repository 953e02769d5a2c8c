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
  const ImageRecord record = *store->results().resultWindow().records().front();
  EXPECT_EQ(imageDetailDragPayload(store->context(), record), std::nullopt) << "no payload, no drag";

  harness.service->setAnswer("imageDragPayload", [](const lorvex::testing::ServiceCall&) {
    return std::any(std::optional<ImageDragPayload>(ImageDragPayload{"/library/a b.png"}));
  });
  const auto data = makeImageDragMimeData(imageDetailDragPayload(store->context(), record));
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(data->urls()[0], QUrl::fromLocalFile("/library/a b.png"));
  EXPECT_EQ(data->urls()[0].toString(), "file:///library/a b.png");
}

TEST_F(ImageDetailPreviewTest, TheMenuActsOnTheShownRecordOnly) {
  makeStore(
      {novelAIRecord("a.png"), novelAIRecord("b.png", 1'699'999'999), novelAIRecord("c.png", 1'699'999'998)});
  host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  store->results().selectAllResults();
  focus("/library/b.png");
  ASSERT_EQ(store->results().selection().effectiveSelectedPaths().size(), 3u);

  auto* preview = find<ImageDetailPreview>("detail.preview");
  QContextMenuEvent event(QContextMenuEvent::Mouse, preview->rect().center(),
                          preview->mapToGlobal(preview->rect().center()));
  QCoreApplication::sendEvent(preview, &event);
  auto* menu = preview->findChild<QMenu*>("detail.preview.menu");
  ASSERT_NE(menu, nullptr);
  QAction* favorite = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text() == "review.favorite.add") favorite = action;
  }
  ASSERT_NE(favorite, nullptr) << "the single-record title, not the bulk one";
  favorite->trigger();
  menu->close();
  settle();
  for (const RecordRef& record : store->results().resultWindow().records()) {
    EXPECT_EQ(record->reviewState.favorite, record->file.path == "/library/b.png") << record->file.path;
  }
}

}  // namespace
}  // namespace lorvex::ui
