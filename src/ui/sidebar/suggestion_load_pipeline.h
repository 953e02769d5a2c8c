// The debounce in front of a suggestion popover's loads. Every change of the search text starts a
// run and cancels the one before: the run tells the suggestions model at once that loading begins
// (the list empties, "searching" shows, loads in flight turn stale), then loads at once when the
// text is blank, else waits 250 ms on the context's clock and loads unless a newer run has replaced
// it. The text is passed on as typed; trimming, matching and the stale-answer check are the
// model's. Cancelling a run never stops a load already started: its answer is dropped by the model.
//
// The waits and loads are flows of the context (they end with the store), so a pipeline may go
// before its last load returns.
//
// Thread safety: the context's thread only.
#pragma once

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace lorvex {
class StoreContext;
class SuggestionsModel;
}  // namespace lorvex

namespace lorvex::ui {

class SuggestionLoadPipeline {
 public:
  static constexpr std::int64_t kDebounceNanoseconds = 250'000'000;

  struct Steps {
    std::function<void()> beginLoading;
    std::function<QCoro::Task<void>(std::string text)> load;
    std::function<bool(std::string_view text)> isBlank;
  };

  // The tag popover's steps (blank: nothing left after whitespace normalisation) and the model
  // popover's (blank: nothing left after trimming).
  static Steps tagSuggestionSteps(SuggestionsModel& suggestions);
  static Steps modelSuggestionSteps(SuggestionsModel& suggestions);

  SuggestionLoadPipeline(StoreContext& context, Steps steps);
  ~SuggestionLoadPipeline();
  SuggestionLoadPipeline(const SuggestionLoadPipeline&) = delete;
  SuggestionLoadPipeline& operator=(const SuggestionLoadPipeline&) = delete;

  // A run for `text`, replacing the running one.
  void run(std::string text);
  // Ends the running run's wait without loading (the popover closed, or its page has no list).
  void cancel();

 private:
  StoreContext& context_;
  std::shared_ptr<const Steps> steps_;
  std::stop_source running_;
};

}  // namespace lorvex::ui
