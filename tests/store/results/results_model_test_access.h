// How tests (and the tools' staged scenes) reach what ResultsModel keeps to itself: its task
// handles and load identifiers, and the fields only its own flows set, for arranging a loading
// state without running a search.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "store/results/results_model.h"

namespace lorvex {

struct ResultsModelTestAccess {
  static const StoreTask<std::vector<RecordRef>>& refreshSearchTask(const ResultsModel& model) {
    return model.refreshSearchTask();
  }
  static const StoreTask<bool>& loadMoreTask(const ResultsModel& model) { return model.loadMoreTask(); }
  static int loadMoreTaskID(const ResultsModel& model) { return model.loadMoreTaskID(); }
  static const std::optional<int>& activeLoadMoreTaskID(const ResultsModel& model) {
    return model.activeLoadMoreTaskID();
  }
  static const StoreTask<void>& backgroundResultRefreshTask(const ResultsModel& model) {
    return model.backgroundResultRefreshTask();
  }
  static int backgroundResultRefreshID(const ResultsModel& model) {
    return model.backgroundResultRefreshID();
  }
  static const StoreTask<void>& backgroundThumbnailGenerationTask(const ResultsModel& model) {
    return model.backgroundThumbnailGenerationTask();
  }

  static void setSearchResultsResetCount(ResultsModel& model, int value) {
    model.setSearchResultsResetCount(value);
  }
  static void setIsLoading(ResultsModel& model, bool value) { model.setIsLoading(value); }
  static void setIsLoadingNextPage(ResultsModel& model, bool value) { model.setIsLoadingNextPage(value); }
  static void setIsBackgroundRefreshingResults(ResultsModel& model, bool value) {
    model.setIsBackgroundRefreshingResults(value);
  }
  static void setRefreshSearchTask(ResultsModel& model, StoreTask<std::vector<RecordRef>> value) {
    model.setRefreshSearchTask(std::move(value));
  }
  static void setLoadMoreTask(ResultsModel& model, StoreTask<bool> value) {
    model.setLoadMoreTask(std::move(value));
  }
  static void setBackgroundResultRefreshTask(ResultsModel& model, StoreTask<void> value) {
    model.setBackgroundResultRefreshTask(std::move(value));
  }
  static void setBackgroundThumbnailGenerationTask(ResultsModel& model, StoreTask<void> value) {
    model.setBackgroundThumbnailGenerationTask(std::move(value));
  }
};

}  // namespace lorvex
