#include "app/folder_import.h"

#include <gtest/gtest.h>

namespace lorvex::app {
namespace {

using Folders = std::vector<std::string>;

TEST(FolderImportFlowTest, OnlyARegistrationChoosesSeveralFolders) {
  EXPECT_TRUE(FolderImportRequest::registration().allowsMultipleSelection());
  EXPECT_FALSE(FolderImportRequest::reauthorization("/a").allowsMultipleSelection());
}

TEST(FolderImportFlowTest, ACompletionDoesWhatItsRequestAsked) {
  struct Case {
    const char* name;
    std::optional<FolderImportRequest> request;
    bool dismissedFirst;
    FolderPickerResult result;
    FolderImportOutcome expected;
  };
  const auto registration = FolderImportRequest::registration();
  const auto reauthorization = FolderImportRequest::reauthorization("/photos");
  const Case cases[] = {
      {"registration: every folder", registration, false, Folders{"/a", "/b"}, RegisterFolders{{"/a", "/b"}}},
      {"registration: an empty list still registers", registration, false, Folders{}, RegisterFolders{{}}},
      {"registration after the dismissal cleared the request", registration, true, Folders{"/a"},
       RegisterFolders{{"/a"}}},
      {"registration error", registration, false, FolderPickerError{"no access"},
       ShowFolderImportError{"no access"}},
      {"reauthorization: the first folder only", reauthorization, false, Folders{"/new", "/other"},
       ReauthorizeFolder{"/new", "/photos"}},
      {"reauthorization: nothing chosen", reauthorization, false, Folders{}, std::monostate{}},
      {"reauthorization error", reauthorization, true, FolderPickerError{"gone"},
       ShowFolderImportError{"gone"}},
      {"no request", std::nullopt, false, Folders{"/a"}, std::monostate{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FolderImportFlow flow;
    if (c.request) flow.present(*c.request);
    if (c.dismissedFirst) flow.dismiss();
    const FolderImportOutcome outcome = flow.complete(c.result);
    ASSERT_EQ(outcome.index(), c.expected.index());
    if (const auto* r = std::get_if<RegisterFolders>(&outcome)) {
      EXPECT_EQ(r->folders, std::get<RegisterFolders>(c.expected).folders);
    }
    if (const auto* r = std::get_if<ReauthorizeFolder>(&outcome)) {
      EXPECT_EQ(r->chosenFolder, std::get<ReauthorizeFolder>(c.expected).chosenFolder);
      EXPECT_EQ(r->registeredPath, std::get<ReauthorizeFolder>(c.expected).registeredPath);
    }
    if (const auto* r = std::get_if<ShowFolderImportError>(&outcome)) {
      EXPECT_EQ(r->message, std::get<ShowFolderImportError>(c.expected).message);
    }
    EXPECT_EQ(flow.request(), std::nullopt);
    EXPECT_EQ(flow.lastRequestForTest(), std::nullopt);
    // A second completion has nothing to answer.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(flow.complete(Folders{"/late"})));
  }
}

TEST(FolderImportFlowTest, ANewRequestReplacesBothCopiesAndADismissalKeepsTheLastOne) {
  FolderImportFlow flow;
  flow.present(FolderImportRequest::registration());
  flow.present(FolderImportRequest::reauthorization("/x"));
  EXPECT_EQ(flow.request(), FolderImportRequest::reauthorization("/x"));
  EXPECT_EQ(flow.lastRequestForTest(), FolderImportRequest::reauthorization("/x"));
  flow.dismiss();
  EXPECT_FALSE(flow.isPresented());
  EXPECT_EQ(flow.lastRequestForTest(), FolderImportRequest::reauthorization("/x"));
}

}  // namespace
}  // namespace lorvex::app
