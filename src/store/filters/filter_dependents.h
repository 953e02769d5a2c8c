// FilterDependents: what a filter change asks of the features around the filters: a fresh first
// page of the results the filters limit, and the delete-candidate review the delete-candidate
// filter closes. The composition supplies it; the filters model never reads those features' fields.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <qcoro/qcorotask.h>

namespace lorvex {

class FilterDependents {
 public:
  virtual ~FilterDependents() = default;

  // Starts a new search for the filters as they now stand and replaces the results with its first
  // page, the grid back at the top. Returns once the page was applied or dropped.
  virtual QCoro::Task<void> refreshResultsAfterFilterChange() = 0;
  // Whether the delete-candidate review is shown, and closing it.
  virtual bool isDeleteCandidateReviewPresented() const = 0;
  virtual void closeDeleteCandidateReview() = 0;
};

}  // namespace lorvex
