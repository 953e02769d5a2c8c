// The one way the store's features search the library for records: off the main thread, on the
// user-initiated pool, as flows of the context's scope. The results and the Trash review both page
// through it.
//
// Thread safety: called on the creating thread of `context`; the coroutines return to it.
#pragma once

#include <qcoro/qcorotask.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <stop_token>
#include <vector>

#include "model/image_search_query.h"
#include "services/image_library_servicing.h"
#include "store/context/store_context.h"
#include "store/record_ref.h"

namespace lorvex {

// Runs the search on the user-initiated pool with `service` and makes RecordRefs of its records
// there. Throws SearchCancelledError when `stop` was requested before or after the call.
QCoro::Task<std::vector<RecordRef>> searchRecords(StoreContext& context, ImageSearchQuery query,
                                                  std::shared_ptr<ImageLibraryServicing> service,
                                                  std::stop_token stop);

// searchRecords with the service in use now, its failure caught.
struct FetchedRecords {
  std::vector<RecordRef> records;
  std::exception_ptr failure;
};
QCoro::Task<FetchedRecords> fetchRecords(StoreContext& context, ImageSearchQuery query, std::stop_token stop);

// Keeps the first `count` records; whether there were more.
bool keepFirstRecords(std::vector<RecordRef>& records, std::size_t count);

}  // namespace lorvex
