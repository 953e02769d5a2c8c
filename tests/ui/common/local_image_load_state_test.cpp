#include "ui/common/local_image_load_state.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "store/event_loop.h"
#include "ui/common/scripted_decodes.h"

namespace lorvex::ui {
namespace {

using testing::runEventsUntil;

QImage imageOf(int side, QColor colour) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

LocalImageDisplayState pendingState(std::uint64_t generation, const char* path,
                                    std::optional<std::string> preview) {
  LocalImageDisplayState state;
  state.pendingGeneration = generation;
  state.pendingPath = path;
  state.pendingPreviewPath = std::move(preview);
  return state;
}

TEST(LocalImageLoadStateTest, OnlyTheGenerationThatOwnsThePendingStateChangesIt) {
  const QImage image = imageOf(4, Qt::green);
  enum class Change { clearPending, showPreview, finish, finishEmpty, fail };
  const struct {
    Change change;
    std::uint64_t generation;
    bool changes;
  } cases[] = {
      {Change::clearPending, 2, true}, {Change::clearPending, 1, false}, {Change::showPreview, 2, true},
      {Change::showPreview, 1, false}, {Change::finish, 2, true},        {Change::finish, 1, false},
      {Change::finishEmpty, 2, true},  {Change::fail, 2, true},          {Change::fail, 1, false},
  };
  for (const auto& c : cases) {
    // Generation 1 loaded /a.png; the file changed (same path, new key) and generation 2 loads it.
    LocalImageDisplayState state = pendingState(2, "/a.png", "/t.jpg");
    const LocalImageDisplayState before = state;
    bool changed = false;
    switch (c.change) {
      case Change::clearPending:
        changed = clearPendingLoad(state, c.generation);
        break;
      case Change::showPreview:
        changed = showPendingPreview(state, c.generation, image);
        break;
      case Change::finish:
        changed = finishLoad(state, c.generation, image);
        break;
      case Change::finishEmpty:
        changed = finishLoad(state, c.generation, QImage());
        break;
      case Change::fail:
        changed = failLoad(state, c.generation);
        break;
    }
    EXPECT_EQ(changed, c.changes) << static_cast<int>(c.change) << "/" << c.generation;
    if (!c.changes) {
      EXPECT_EQ(state.pendingPath, before.pendingPath);
      EXPECT_EQ(state.pendingPreviewPath, before.pendingPreviewPath);
      EXPECT_TRUE(state.image.isNull());
    }
  }

  // A failure of the newer load stays visible whatever the older one does afterwards.
  LocalImageDisplayState state = pendingState(2, "/a.png", std::nullopt);
  ASSERT_TRUE(failLoad(state, 2));
  EXPECT_FALSE(clearPendingLoad(state, 1));
  EXPECT_FALSE(finishLoad(state, 1, image));
  EXPECT_EQ(state.failedPath, "/a.png");
  EXPECT_TRUE(state.image.isNull());
}

TEST(LocalImageLoadStateTest, FailingAfterAPreviewKeepsThePreview) {
  const QImage preview = imageOf(4, Qt::blue);
  LocalImageDisplayState state = pendingState(1, "/a.png", "/t.jpg");
  ASSERT_TRUE(showPendingPreview(state, 1, preview));
  EXPECT_FALSE(showPendingPreview(state, 1, QImage()));  // no preview: nothing changes
  ASSERT_TRUE(finishLoad(state, 1, QImage()));
  EXPECT_EQ(state.displayedPath, "/t.jpg");
  EXPECT_EQ(state.failedPath, "/a.png");
  EXPECT_FALSE(state.pendingPath);
  EXPECT_FALSE(state.isDisplayingPendingPreview);
  EXPECT_EQ(state.image, preview);
}

TEST(LocalImageLoadStateTest, ChoiceAndAccessibilityFollowTheRequestAndTheCache) {
  LocalImageMemoryCache cache(10, 1'000'000);
  const QImage full = imageOf(4, Qt::green), preview = imageOf(2, Qt::blue), old = imageOf(3, Qt::red);
  const auto request =
      makeLocalImageLoadRequest("/d/a.png", "/t.jpg", std::nullopt, std::nullopt, std::nullopt);
  LocalImageDisplayState showingOld;
  showingOld.image = old;
  showingOld.displayedPath = "/d/other.png";
  LocalImageDisplayState failed;
  failed.failedPath = "/d/a.png";
  LocalImageDisplayState showingPreview;
  showingPreview.image = preview;
  showingPreview.displayedPath = "/t.jpg";

  const AppLocalization keys([](std::string_view key, const FormatArguments&) { return std::string(key); });
  const struct {
    const char* name;
    LocalImageDisplayState state;
    bool fullCached, previewCached, preserves;
    QImage expectedImage;
    LocalImagePlaceholder placeholder;
    const char* accessibilityValue;
  } cases[] = {
      {"nothing yet",
       {},
       false,
       false,
       false,
       QImage(),
       LocalImagePlaceholder::photo,
       "image.accessibility.loading"},
      {"full cached", {}, true, true, false, full, LocalImagePlaceholder::none, "image.accessibility.loaded"},
      {"preview cached",
       {},
       false,
       true,
       false,
       preview,
       LocalImagePlaceholder::none,
       "image.accessibility.loading"},
      {"preview shown", showingPreview, false, false, false, preview, LocalImagePlaceholder::none,
       "image.accessibility.loading"},
      {"other image kept", showingOld, false, false, true, old, LocalImagePlaceholder::none,
       "image.accessibility.loading"},
      {"other image dropped", showingOld, false, false, false, QImage(), LocalImagePlaceholder::photo,
       "image.accessibility.loading"},
      {"failed", failed, false, false, false, QImage(), LocalImagePlaceholder::warning,
       "image.accessibility.failed"},
  };
  for (const auto& c : cases) {
    LocalImageMemoryCache cache(10, 1'000'000);
    if (c.fullCached) cache.insert(*request.imageCacheKey, full);
    if (c.previewCached) cache.insert(*request.previewCacheKey, preview);
    const auto choice = chooseLocalImage(request, c.state, cache, c.preserves);
    EXPECT_EQ(choice.image, c.expectedImage) << c.name;
    EXPECT_EQ(choice.placeholder, c.placeholder) << c.name;
    const auto text = localImageAccessibilityText(
        request.path, localImageAccessibilityState(request, c.state, cache), keys);
    EXPECT_EQ(text.label, "a.png") << c.name;
    EXPECT_EQ(text.value, c.accessibilityValue) << c.name;
  }

  const LocalImageLoadRequest noPath;
  EXPECT_EQ(chooseLocalImage(noPath, {}, cache, false).placeholder, LocalImagePlaceholder::warning);
  const auto empty =
      localImageAccessibilityText(std::nullopt, localImageAccessibilityState(noPath, {}, cache), keys);
  EXPECT_EQ(empty.label, "image.accessibility.label");
  EXPECT_EQ(empty.value, "image.accessibility.empty");
}

TEST(LocalImageLoadStateTest, ANewVersionOfTheSameFileKeepsItsStateWhenTheOlderLoadEnds) {
  testing::application();
  testing::ScriptedDecodes decodes;
  decodes.hold();
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(1);  // the older decode runs first, the newer one waits for it
  LocalImageLoader loader(cache, limiter, decodes.function());
  int changes = 0;
  LocalImageLoadState view(loader, false, [&changes] { ++changes; });
  const std::string oldKey =
                        "/d/a.png\x1F"
                        "1\x1F"
                        "1.0",
                    newKey =
                        "/d/a.png\x1F"
                        "2\x1F"
                        "2.0";

  view.setRequest(makeLocalImageLoadRequest("/d/a.png", std::nullopt, oldKey, std::nullopt, 320));
  decodes.waitForCalls(1);
  view.setRequest(makeLocalImageLoadRequest("/d/a.png", std::nullopt, newKey, std::nullopt, 320));
  const int changesBefore = changes;
  view.setRequest(view.request());  // the same request again starts nothing
  EXPECT_EQ(changes, changesBefore);

  decodes.answer("/d/a.png", {imageOf(4, Qt::red), std::nullopt});  // the older version decodes
  // The older result reaches the loader, which then hands the permit to the newer decode.
  ASSERT_TRUE(runEventsUntil([&] { return decodes.calls().size() == 2; }));
  EXPECT_TRUE(cache.contains(oldKey + "\x1FmaxPixelSize=320"));
  EXPECT_EQ(view.displayState().pendingPath, "/d/a.png");  // still the newer request's
  EXPECT_TRUE(view.displayState().image.isNull());
  EXPECT_EQ(view.accessibilityState(), LocalImageAccessibilityState::loading);

  decodes.answer("/d/a.png", {QImage(), "Unable to open file"});  // the newer version fails
  ASSERT_TRUE(runEventsUntil([&] { return loader.decodesInFlightForTest() == 0; }));
  EXPECT_EQ(view.displayState().failedPath, "/d/a.png");
  EXPECT_FALSE(view.displayState().pendingPath);
  EXPECT_EQ(view.accessibilityState(), LocalImageAccessibilityState::failed);
  EXPECT_EQ(view.choice().placeholder, LocalImagePlaceholder::warning);
}

TEST(LocalImageLoadStateTest, APreviewShowsWhileTheFullImageLoadsAndACachedImageShowsAtOnce) {
  testing::application();
  testing::ScriptedDecodes decodes;
  decodes.hold();
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(2);
  LocalImageLoader loader(cache, limiter, decodes.function());
  LocalImageLoadState view(loader, false, nullptr);
  const QImage preview = imageOf(2, Qt::blue), full = imageOf(8, Qt::green);

  view.setRequest(
      makeLocalImageLoadRequest("/d/a.png", "/t/a.jpg", std::nullopt, std::nullopt, std::nullopt));
  decodes.answer("/t/a.jpg", {preview, std::nullopt});
  ASSERT_TRUE(runEventsUntil([&] { return view.displayState().isDisplayingPendingPreview; }));
  EXPECT_EQ(view.choice().image, preview);
  EXPECT_EQ(view.accessibilityState(), LocalImageAccessibilityState::loading);
  decodes.answer("/d/a.png", {full, std::nullopt});
  ASSERT_TRUE(runEventsUntil([&] { return !view.displayState().pendingPath; }));
  EXPECT_EQ(view.choice().image, full);
  EXPECT_EQ(view.displayState().displayedPath, "/d/a.png");
  EXPECT_EQ(view.accessibilityState(), LocalImageAccessibilityState::loaded);

  LocalImageLoadState second(loader, false, nullptr);
  second.setRequest(view.request());
  EXPECT_EQ(second.displayState().displayedPath, "/d/a.png");  // from the cache, before any event
  EXPECT_FALSE(second.displayState().pendingPath);
  EXPECT_EQ(loader.decodesInFlightForTest(), 0u);
}

TEST(LocalImageLoadStateTest, CancellingClearsOnlyItsOwnPendingState) {
  testing::application();
  testing::ScriptedDecodes decodes;
  decodes.hold();
  LocalImageMemoryCache cache(10, 1'000'000);
  LocalImageDecodeLimiter limiter(1);
  LocalImageLoader loader(cache, limiter, decodes.function());
  LocalImageLoadState view(loader, true, nullptr);
  view.setRequest(makeLocalImageLoadRequest("/d/a.png", std::nullopt, std::nullopt, std::nullopt, 320));
  decodes.waitForCalls(1);
  view.cancel();
  EXPECT_FALSE(view.displayState().pendingPath);
  EXPECT_FALSE(view.displayState().failedPath);
  decodes.answer("/d/a.png", {imageOf(4, Qt::green), std::nullopt});
  ASSERT_TRUE(runEventsUntil([&] { return loader.decodesInFlightForTest() == 0; }));
  EXPECT_TRUE(view.displayState().image.isNull());  // the cancelled load never reaches the state
  EXPECT_EQ(view.accessibilityState(), LocalImageAccessibilityState::loaded);  // but the cache holds it
}

}  // namespace
}  // namespace lorvex::ui
