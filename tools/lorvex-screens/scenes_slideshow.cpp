// The slideshow at one, two, four and six images at a time over a library of landscape and
// portrait images, with its floating bar shown (as it is for two seconds after any activity), and
// with the delete-candidate banner after a marking made in it.
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>
#include <string>
#include <vector>

#include "model/image_record.h"
#include "scene_registry.h"
#include "ui/review/delete_candidate_feedback_overlay.h"
#include "ui/slideshow/slideshow_image_decoding.h"
#include "ui/slideshow/slideshow_view.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"

namespace lorvex::screens {
namespace {

constexpr QSize kSceneSize(1280, 800);

// A generator-sized image of its own colour with its number, landscape or portrait.
std::string writeSampleImage(const std::filesystem::path& folder, int number, bool portrait) {
  const QSize size = portrait ? QSize(832, 1216) : QSize(1216, 832);
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, size.width(), size.height());
  const int hue = (number * 47) % 360;
  gradient.setColorAt(0, QColor::fromHsv(hue, 120, 230));
  gradient.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 110));
  painter.fillRect(image.rect(), gradient);
  painter.setPen(QColor(255, 255, 255, 220));
  QFont font;
  font.setPixelSize(size.height() / 4);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(image.rect(), Qt::AlignCenter, QString::number(number + 1));
  painter.end();
  const std::string path = (folder / ("image-" + std::to_string(number + 1) + ".png")).string();
  QImageWriter writer(QString::fromStdString(path), "png");
  writer.write(image);
  return path;
}

// Landscape and portrait in a pattern that gives every count a mix.
std::vector<ImageRecord> sampleLibrary(const std::filesystem::path& folder) {
  const bool portraits[] = {false, true, false, false, true, true, false, true, false, false, true, false};
  std::vector<ImageRecord> records;
  for (int i = 0; i < 12; ++i) {
    ImageRecord record;
    record.file.path = writeSampleImage(folder, i, portraits[i]);
    record.file.fileSize = static_cast<std::int64_t>(std::filesystem::file_size(record.file.path));
    record.file.modificationDate = 1'700'000'000.0 - i;
    record.metadata.width = portraits[i] ? 832 : 1216;
    record.metadata.height = portraits[i] ? 1216 : 832;
    if (i == 4) record.reviewState.favorite = true;
    records.push_back(record);
  }
  return records;
}

// The slideshow from the `first` record with `count` images at a time, playing or paused; with
// `marks`, the focused image is then marked as a delete candidate from the slideshow.
std::function<std::unique_ptr<QWidget>(SceneContext&)> slideshow(int count, int first, bool playing,
                                                                 bool marks = false) {
  return [count, first, playing, marks](SceneContext& context) -> std::unique_ptr<QWidget> {
    ImageLibraryStore* store = context.makeFakeStoreWithResults(sampleLibrary(context.scratch));
    if (store == nullptr) return nullptr;
    store->results().selection().selectSingle(
        store->results().resultWindow().records().at(static_cast<std::size_t>(first))->file.path);
    store->presentation().setSlideshowVisibleCount(count);
    store->results().startSlideshow();
    store->presentation().setIsSlideshowPlaying(playing);
    auto view = std::make_unique<ui::SlideshowView>(
        ui::testing::slideshowModels(*store), [] {}, ui::makeDeleteCandidateFeedbackOverlay,
        &context.localization);
    if (marks) store->review().toggleFocusedRecordDeleteCandidate();
    return view;
  };
}

// The slideshow's images come through its own loader, which the general settling does not wait for.
QWidget* waitForImages(SceneContext& context, QWidget&) {
  ui::testing::drainUiEvents(ui::slideshowImageLoader());
  context.settle();
  return nullptr;
}

Scene slideshowScene(std::string name, int count, int first, bool playing, bool marks = false) {
  return {.name = std::move(name),
          .source = SceneSource::fakeService,
          .size = kSceneSize,
          .build = slideshow(count, first, playing, marks),
          .afterShow = waitForImages,
          // The banner's dismissal waits on the scene's clock, which never moves.
          .storeStaysBusy = marks};
}

const bool registered = registerScene(slideshowScene("slideshow.one", 1, 4, false)) &&
                        registerScene(slideshowScene("slideshow.two", 2, 0, true)) &&
                        registerScene(slideshowScene("slideshow.four", 4, 2, true)) &&
                        registerScene(slideshowScene("slideshow.six", 6, 0, true)) &&
                        registerScene(slideshowScene("slideshow.banner", 1, 2, false, true));

}  // namespace
}  // namespace lorvex::screens
