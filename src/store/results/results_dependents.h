// ResultsDependents: what the results ask of the library state they do not own: the folders every
// query is limited to. The composition supplies it; the results model never reads those features'
// fields. Whether the live service is still to be prepared (nothing is searched, refreshed or
// generated before it is) comes from the store context. The filters a query reads come from the filters model
// itself (a const reference), and the slideshow flags the navigation sets from the presentation state.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <string>
#include <vector>

namespace lorvex {

class ResultsDependents {
 public:
  virtual ~ResultsDependents() = default;

  // The root paths a query is limited to; never empty (a list that must match nothing holds one
  // root no folder has).
  virtual std::vector<std::string> searchRootPaths() const = 0;
};

}  // namespace lorvex
