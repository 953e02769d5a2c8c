// The sidebar's folder list: what a load changes on success and failure, nothing before the live
// service exists, and overlapping loads of which only the newest applies.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/library_error.h"
#include "services/folders/stored_bookmarks_error.h"
#include "store/event_loop.h"
#include "store/forwarding_image_library_service.h"
#include "store/image_library_store.h"
#include "store/list_stores.h"
#include "store/presentation/transient_image_library_ui_preference_store.h"

namespace lorvex {
namespace {

using Summaries = std::vector<RegisteredFolderSummary>;

// Holds every summaries call on its pool thread until the test answers it.
class HeldSummariesService final : public testing::ForwardingImageLibraryService {
 public:
  using Answer = std::variant<Summaries, std::exception_ptr>;

  Summaries registeredFolderSummaries() override {
    std::promise<Answer> promise;
    auto answer = promise.get_future();
    {
      std::lock_guard lock(mutex_);
      held_.push_back(std::move(promise));
    }
    auto value = answer.get();
    if (auto* error = std::get_if<std::exception_ptr>(&value)) std::rethrow_exception(*error);
    return std::get<Summaries>(std::move(value));
  }

  std::size_t callCount() const {
    std::lock_guard lock(mutex_);
    return held_.size();
  }
  void answer(std::size_t call, Answer value) {
    std::lock_guard lock(mutex_);
    held_.at(call).set_value(std::move(value));
  }

 private:
  mutable std::mutex mutex_;
  std::deque<std::promise<Answer>> held_;
};

RegisteredFolderSummary folder(const std::string& path, std::int64_t indexed) {
  RegisteredFolderSummary summary;
  summary.path = path;
  summary.displayName = path.substr(1);
  summary.indexedImageCount = indexed;
  return summary;
}

std::exception_ptr failure(const std::string& text) {
  return std::make_exception_ptr(LibraryError(LibraryError::Kind::database, text));
}

struct Fixture {
  explicit Fixture(bool needsLiveServicePreparation = false)
      : service(std::make_shared<HeldSummariesService>()),
        store(service, std::nullopt, ProductFeatureAvailability{},
              std::make_shared<testing::ListExclusionStore>(),
              std::make_shared<testing::ListFilterTagStore>(),
              std::make_shared<TransientImageLibraryUIPreferenceStore>(), 3'000'000'000, nullptr,
              needsLiveServicePreparation, clock) {
    testing::application();
    QObject::connect(&store.library(), &LibraryModel::registeredFolderSummariesChanged,
                     [this] { ++summariesSignals; });
    QObject::connect(&store.library(), &LibraryModel::isLoadingRegisteredFoldersChanged,
                     [this] { ++loadingSignals; });
  }

  // Starts a load and waits until its call reached the service.
  QCoro::Task<void> start() {
    const std::size_t before = service->callCount();
    auto load = store.library().loadRegisteredFolderSummaries();
    testing::runEventsUntil([&] { return service->callCount() == before + 1; });
    return load;
  }
  void finish(QCoro::Task<void>& load) {
    testing::runEventsUntil([&] { return load.isReady(); });
  }

  FakeStoreClock clock;
  std::shared_ptr<HeldSummariesService> service;
  ImageLibraryStore store;
  int summariesSignals = 0;
  int loadingSignals = 0;
};

TEST(ImageLibraryStoreFolderSummaries, BeforeTheLiveServiceNothingChanges) {
  Fixture f(/*needsLiveServicePreparation=*/true);
  f.store.context().setErrorMessage("kept");
  auto load = f.store.library().loadRegisteredFolderSummaries();
  EXPECT_TRUE(load.isReady());
  EXPECT_EQ(f.service->callCount(), 0u);
  EXPECT_EQ(f.loadingSignals, 0);
  EXPECT_FALSE(f.store.library().isLoadingRegisteredFolders());
  EXPECT_EQ(f.store.context().errorMessage(), "kept");
}

TEST(ImageLibraryStoreFolderSummaries, EachLoadAppliesItsOutcome) {
  struct Step {
    const char* name;
    std::optional<std::string> errorBefore;
    HeldSummariesService::Answer answer;
    Summaries list;
    bool hasLoaded;
    std::optional<std::string> errorAfter;
    int summariesSignals;
    std::optional<ErrorNoticeKind> notice{};  // what the window tells of errorAfter
  };
  const Summaries first{folder("/a", 3), folder("/b", 0)};
  const Summaries second{folder("/a", 4), folder("/b", 0)};
  const Step steps[] = {
      {"failure before any success", std::nullopt, failure("disk gone"), {}, false, "disk gone", 0},
      {"first success clears the error", "disk gone", first, first, true, std::nullopt, 1},
      {"same list: no list signal, error still cleared", "other failure", first, first, true, std::nullopt,
       1},
      {"failure keeps the last good list", std::nullopt, failure("locked"), first, true, "locked", 1},
      {"new counts replace the list", "locked", second, second, true, std::nullopt, 2},
      {"not a library error still shows a text", std::nullopt,
       std::make_exception_ptr(std::runtime_error("odd")), second, true, "odd", 2},
      {"a folder list that cannot be read says so", std::nullopt,
       std::make_exception_ptr(StoredBookmarksError(StoredBookmarksError::Kind::dataCorrupted, "not JSON")),
       second, true, "not JSON", 2, ErrorNoticeKind::folderListUnreadable},
  };
  Fixture f;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const auto& step = steps[i];
    SCOPED_TRACE(step.name);
    f.store.context().setErrorMessage(step.errorBefore);
    const int loadingBefore = f.loadingSignals;
    auto load = f.start();
    EXPECT_TRUE(f.store.library().isLoadingRegisteredFolders());
    f.service->answer(i, step.answer);
    f.finish(load);
    EXPECT_EQ(f.store.library().registeredFolderSummaries(), step.list);
    EXPECT_EQ(f.store.library().hasLoadedRegisteredFolderSummaries(), step.hasLoaded);
    EXPECT_EQ(f.store.context().errorMessage(), step.errorAfter);
    const ErrorNoticeKind told = f.store.context().errorNotice().value_or(ErrorNotice{}).kind;
    EXPECT_EQ(told, step.notice.value_or(told));
    EXPECT_FALSE(f.store.library().isLoadingRegisteredFolders());
    EXPECT_EQ(f.loadingSignals - loadingBefore, 2);
    EXPECT_EQ(f.summariesSignals, step.summariesSignals);
  }
}

TEST(ImageLibraryStoreFolderSummaries, OnlyTheNewestOfOverlappingLoadsApplies) {
  struct Case {
    const char* name;
    bool olderFinishesFirst;
    bool olderFails;
  };
  const Case cases[] = {
      {"older finishes last with a list", false, false},
      {"older finishes last with an error", false, true},
      {"older finishes first with a list", true, false},
      {"older finishes first with an error", true, true},
  };
  const Summaries older{folder("/a", 1)};
  const Summaries newer{folder("/a", 2)};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    auto first = f.start();
    auto second = f.start();
    const HeldSummariesService::Answer olderAnswer =
        c.olderFails ? HeldSummariesService::Answer(failure("stale")) : HeldSummariesService::Answer(older);
    if (c.olderFinishesFirst) {
      f.service->answer(0, olderAnswer);
      f.finish(first);
      EXPECT_TRUE(f.store.library().isLoadingRegisteredFolders()) << "the newer load is still running";
      EXPECT_TRUE(f.store.library().registeredFolderSummaries().empty());
      EXPECT_FALSE(f.store.context().errorMessage().has_value());
      f.service->answer(1, newer);
      f.finish(second);
    } else {
      f.service->answer(1, newer);
      f.finish(second);
      f.service->answer(0, olderAnswer);
      f.finish(first);
    }
    EXPECT_EQ(f.store.library().registeredFolderSummaries(), newer);
    EXPECT_FALSE(f.store.context().errorMessage().has_value());
    EXPECT_FALSE(f.store.library().isLoadingRegisteredFolders());
    EXPECT_EQ(f.summariesSignals, 1);
    EXPECT_EQ(f.loadingSignals, 2);
  }
}

}  // namespace
}  // namespace lorvex
