// The model popover's suggestions.
#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "store/async/run_blocking.h"
#include "store/suggestions/suggestions_model.h"

namespace lorvex {

void SuggestionsModel::beginModelSuggestionLoading() {
  creatingThread_.check();
  ++modelSuggestionGeneration_;
  setIsModelSuggestionLoading(true);
  setModelSuggestions({});
}

QCoro::Task<void> SuggestionsModel::loadModelSuggestions(std::string text) {
  auto frame = co_await context_.scope().enter();
  creatingThread_.check();
  const int generation = modelSuggestionGeneration_ + 1;
  modelSuggestionGeneration_ = generation;
  setIsModelSuggestionLoading(true);
  setModelSuggestions({});
  // The service matches the text itself; it gets it as typed.
  auto load = [service = context_.service(), text = std::move(text)] {
    return service->modelSuggestions(text, kModelSuggestionLimit);
  };
  // A superseded load is never stopped: it runs out and its outcome is dropped below.
  const std::stop_token noStop;
  std::vector<ModelSuggestion> suggestions;
  std::exception_ptr failure;
  try {
    suggestions = co_await runBlocking(context_.utilityPool(), noStop, load);
  } catch (...) {
    failure = std::current_exception();
  }
  if (generation != modelSuggestionGeneration_) co_return;
  if (failure) {
    setIsModelSuggestionLoading(false);
    context_.showSuggestionLoadFailure(failure);
    co_return;
  }
  setModelSuggestions(std::move(suggestions));
  setIsModelSuggestionLoading(false);
  context_.clearSuggestionLoadFailure();
}

}  // namespace lorvex
