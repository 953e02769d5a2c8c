#include "ui/sidebar/suggestion_load_pipeline.h"

#include "model/text/whitespace.h"
#include "store/context/store_context.h"
#include "store/suggestions/suggestions_model.h"

namespace lorvex::ui {
namespace {

QCoro::Task<void> loadAfterPause(StoreContext* context,
                                 std::shared_ptr<const SuggestionLoadPipeline::Steps> steps, std::string text,
                                 std::stop_token stop) {
  auto frame = co_await context->scope().enter();
  const bool sleptFully = co_await context->clock().sleep(SuggestionLoadPipeline::kDebounceNanoseconds, stop);
  if (!sleptFully || stop.stop_requested()) co_return;
  co_await steps->load(std::move(text));
}

}  // namespace

SuggestionLoadPipeline::Steps SuggestionLoadPipeline::tagSuggestionSteps(SuggestionsModel& suggestions) {
  return {[&suggestions] { suggestions.beginTagSuggestionLoading(); },
          [&suggestions](std::string text) { return suggestions.loadTagSuggestions(std::move(text)); },
          [](std::string_view text) { return !text::normalizedWhitespace(text).has_value(); }};
}

SuggestionLoadPipeline::Steps SuggestionLoadPipeline::modelSuggestionSteps(SuggestionsModel& suggestions) {
  return {[&suggestions] { suggestions.beginModelSuggestionLoading(); },
          [&suggestions](std::string text) { return suggestions.loadModelSuggestions(std::move(text)); },
          [](std::string_view text) { return !text::trimmedNonEmpty(text).has_value(); }};
}

SuggestionLoadPipeline::SuggestionLoadPipeline(StoreContext& context, Steps steps)
    : context_(context), steps_(std::make_shared<const Steps>(std::move(steps))) {}

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
    context_.startDetached([steps, text = std::move(text)] { return steps->load(text); });
    return;
  }
  StoreContext* context = &context_;
  std::stop_token stop = running_.get_token();
  context_.startDetached(
      [context, steps, text = std::move(text), stop] { return loadAfterPause(context, steps, text, stop); });
}

}  // namespace lorvex::ui
