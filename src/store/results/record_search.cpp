#include "store/results/record_search.h"

#include <utility>

#include "model/search_cancelled_error.h"
#include "store/async/run_blocking.h"

namespace lorvex {

QCoro::Task<std::vector<RecordRef>> searchRecords(StoreContext& context, ImageSearchQuery query,
                                                  std::shared_ptr<ImageLibraryServicing> service,
                                                  std::stop_token stop) {
  auto frame = co_await context.scope().enter();
  if (stop.stop_requested()) throw SearchCancelledError();
  // The records become shared on the pool thread, moved and never copied: the main thread only
  // slices the list.
  auto search = [service = std::move(service), query = std::move(query)](std::stop_token searchStop) {
    std::vector<ImageRecord> records = service->searchImages(query, searchStop);
    std::vector<RecordRef> refs;
    refs.reserve(records.size());
    for (ImageRecord& record : records) refs.push_back(makeRecordRef(std::move(record)));
    return refs;
  };
  std::vector<RecordRef> records = co_await runBlocking(context.userInitiatedPool(), stop, search);
  if (stop.stop_requested()) throw SearchCancelledError();
  co_return records;
}

QCoro::Task<FetchedRecords> fetchRecords(StoreContext& context, ImageSearchQuery query,
                                         std::stop_token stop) {
  auto frame = co_await context.scope().enter();
  std::shared_ptr<ImageLibraryServicing> service = context.service();
  FetchedRecords fetched;
  try {
    fetched.records = co_await searchRecords(context, query, service, stop);
  } catch (...) {
    fetched.failure = std::current_exception();
  }
  co_return fetched;
}

bool keepFirstRecords(std::vector<RecordRef>& records, std::size_t count) {
  if (records.size() <= count) return false;
  records.resize(count);
  return true;
}

}  // namespace lorvex
