#include "ui/sidebar/suggestion_load_pipeline.h"

#include "model/text/whitespace.h"
#include "store/image_library_store.h"

namespace lorvex::ui {
namespace {

QCoro::Task<void> loadAfterPause(ImageLibraryStore* store,
                                 std::shared_ptr<const SuggestionLoadPipeline::Steps> steps, std::string text,
                                 std::stop_token stop) {
  auto frame = co_await store->scope().enter();
  const bool sleptFully = co_await store->clock().sleep(SuggestionLoadPipeline::kDebounceNanoseconds, stop);
  if (!sleptFully || stop.stop_requested()) co_return;
  co_await steps->load(std::move(text));
}

}  // namespace

SuggestionLoadPipeline::Steps SuggestionLoadPipeline::tagSuggestionSteps(ImageLibraryStore& store) {
  return {[&store] { store.suggestions().beginTagSuggestionLoading(); },
          [&store](std::string text) { return store.suggestions().loadTagSuggestions(std::move(text)); },
          [](std::string_view text) { return !text::normalizedWhitespace(text).has_value(); }};
}

SuggestionLoadPipeline::Steps SuggestionLoadPipeline::modelSuggestionSteps(ImageLibraryStore& store) {
  return {[&store] { store.suggestions().beginModelSuggestionLoading(); },
          [&store](std::string text) { return store.suggestions().loadModelSuggestions(std::move(text)); },
          [](std::string_view text) { return !text::trimmedNonEmpty(text).has_value(); }};
}

SuggestionLoadPipeline::SuggestionLoadPipeline(ImageLibraryStore& store, Steps steps)
    : store_(store), steps_(std::make_shared<const Steps>(std::move(steps))) {}

SuggestionLoadPipeline::~SuggestionLoadPipeline() {
  cancel();
}

void SuggestionLoadPipeline::cancel() {
  running_.request_stop();
  running_ = std::stop_source();
}

void SuggestionLoadPipeline::run(std::string text) {
  cancel();
  steps_->beginLoading();
  auto steps = steps_;
  if (steps->isBlank(text)) {
    store_.startDetached([steps, text = std::move(text)] { return steps->load(text); });
    return;
  }
  ImageLibraryStore* store = &store_;
  std::stop_token stop = running_.get_token();
  store_.startDetached(
      [store, steps, text = std::move(text), stop] { return loadAfterPause(store, steps, text, stop); });
}

}  // namespace lorvex::ui
