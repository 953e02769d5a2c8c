// The folders a query is limited to: available folders once the list has loaded, every known
// folder before, registrations under way always, each path once; and never an empty list, which
// would search every live image (folders the user removed included).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"

namespace lorvex {
namespace {

using State = RegisteredFolderAccessState;
using Paths = std::vector<std::string>;

RegisteredFolderSummary folder(const std::string& path, State state) {
  RegisteredFolderSummary summary;
  summary.path = path;
  summary.state = state;
  return summary;
}

const std::string kNone(ImageLibraryStore::kNoRegisteredFolderRootPath);

TEST(ImageLibraryStoreSearchRoots, FollowTheFolderStateAndNeverWidenToEverything) {
  struct Row {
    const char* name;
    bool loaded;
    std::vector<RegisteredFolderSummary> summaries;
    Paths registering;
    Paths expected;
  };
  const std::vector<Row> rows = {
      {"loaded, nothing registered or registering", true, {}, {}, {kNone}},
      {"loaded, a missing folder is left out",
       true,
       {folder("/a", State::available), folder("/m", State::missing)},
       {},
       {"/a"}},
      {"loaded, every folder unreachable",
       true,
       {folder("/m", State::missing), folder("/d", State::accessDenied),
        folder("/b", State::bookmarkInvalid)},
       {},
       {kNone}},
      {"loaded, unreachable folders but one registering",
       true,
       {folder("/m", State::missing)},
       {"/x"},
       {"/x"}},
      {"loaded and empty while /x registers", true, {}, {"/x"}, {"/x"}},
      {"loaded, available folders then registering roots in order",
       true,
       {folder("/b", State::available), folder("/a", State::available)},
       {"/c"},
       {"/b", "/a", "/c"}},
      {"loaded, a path both available and registering comes once, first",
       true,
       {folder("/a", State::available), folder("/b", State::available)},
       {"/c", "/a"},
       {"/a", "/b", "/c"}},
      {"loaded and empty, a root registering twice comes once", true, {}, {"/x", "/y", "/x"}, {"/x", "/y"}},
      {"not loaded, states are not looked at", false, {folder("/m", State::missing)}, {}, {"/m"}},
      {"not loaded, every summary then the registering roots, each once",
       false,
       {folder("/a", State::accessDenied), folder("/b", State::available)},
       {"/b", "/c"},
       {"/a", "/b", "/c"}},
      {"not loaded, only registering roots", false, {}, {"/x"}, {"/x"}},
      // Until the list has loaded (or for the whole session after it failed) an empty list would
      // let searches and the Trash review reach images of folders the user removed.
      {"not loaded, nothing known yet", false, {}, {}, {kNone}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    testing::StoreHarness h;
    auto store = h.makeStore();
    LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), row.summaries);
    LibraryModelTestAccess::setHasLoadedRegisteredFolderSummaries(store->library(), row.loaded);
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), row.registering);
    EXPECT_EQ(store->searchRootPaths(), row.expected);
    // The results' queries ask the store for them.
    EXPECT_EQ(store->results().makeSearchQuery(1, 0).rootPaths, row.expected);
  }
}

}  // namespace
}  // namespace lorvex
