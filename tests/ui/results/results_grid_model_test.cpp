// The grid's list model over a real result window: its rows stay equal to the window's records
// through every kind of change the window reports (and the views see consistent begin/end pairs),
// and a selection change repaints only the rows whose membership changed.
#include "ui/results/results_grid_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSemaphore>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "echo_localization.h"
#include "store/review_fixture.h"
#include "ui/common/accessibility_identifiers.h"

namespace lorvex::ui {
namespace {

using lorvex::testing::imagePath;
using lorvex::testing::libraryImage;
using lorvex::testing::libraryImages;
using lorvex::testing::ReviewFixture;

std::vector<std::string> rowPaths(const ResultsGridModel& model) {
  std::vector<std::string> paths;
  for (int row = 0; row < model.rowCount(); ++row) {
    paths.push_back(model.index(row).data(ResultsGridModel::PathRole).toString().toStdString());
  }
  return paths;
}

std::vector<std::string> windowPaths(const ImageLibraryStore& store) {
  std::vector<std::string> paths;
  for (const RecordRef& record : store.results().resultWindow().records()) paths.push_back(record->file.path);
  return paths;
}

std::vector<RecordRef> refs(const std::vector<ImageRecord>& records) {
  std::vector<RecordRef> result;
  for (const ImageRecord& record : records) result.push_back(makeRecordRef(record));
  return result;
}

struct WindowChange {
  std::string name;
  std::function<void(ReviewFixture&)> change;
};

TEST(ResultsGridModel, RowsFollowEveryChangeOfTheWindow) {
  const WindowChange changes[] = {
      {"replace",
       [](auto& f) {
         f.store->results().resultWindow().replaceRecords(refs(libraryImages(5, 7)), false, 0);
       }},
      {"append a page",
       [](auto& f) {
         auto& window = f.store->results().resultWindow();
         window.appendPage(refs(libraryImages(40, 5)), true, window.currentLoadTicket());
       }},
      {"remove two ranges",
       [](auto& f) {
         f.store->results().resultWindow().removeRecords({imagePath(1), imagePath(2), imagePath(7)}, 1);
       }},
      {"remove many scattered records",
       [](auto& f) {
         PathSet paths;
         for (int number = 0; number < 40; number += 2) paths.insert(imagePath(number));
         f.store->results().resultWindow().removeRecords(paths, 0);
       }},
      {"mark delete candidates (they leave)",
       [](auto& f) {
         f.store->review().setDeleteCandidate(f.loaded({3, 4}), true);
       }},
      {"mark favourites (in place)",
       [](auto& f) {
         f.store->review().setFavorite(f.loaded({3, 4}), true);
       }},
      {"a record comes back at its place",
       [](auto& f) {
         f.store->results().resultWindow().removeRecords({imagePath(6)}, 0);
         f.store->results().resultWindow().applyRecordUpdate(makeRecordRef(libraryImage(6)), 6,
                                                             [](bool, bool, bool) { return true; });
       }},
  };
  for (const WindowChange& c : changes) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 40));
    ResultsGridModel model(f.store->results(), testing::echoLocalization());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    c.change(f);
    EXPECT_EQ(rowPaths(model), windowPaths(*f.store));
    for (int row = 0; row < model.rowCount(); ++row) {
      EXPECT_EQ(model.recordAt(row),
                f.store->results().resultWindow().records()[static_cast<std::size_t>(row)]);
    }
  }
}

// Freeing a record frees its whole metadata: the records only the model's copy still holds (a
// reload that found the same records keeps the window's fresh copies) go to a pool thread when
// the window is reset, not on the GUI thread.
TEST(ResultsGridModel, RecordsOnlyItsCopyHeldAreFreedOffTheGuiThread) {
  struct Case {
    const char* name;
    bool reloadFoundTheSameFirst;
  };
  const Case cases[] = {{"new records replace the window's", false},
                        {"a reload found the same records, then new ones came", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 8));
    ResultsGridModel model(f.store->results(), testing::echoLocalization());
    SearchResultWindow& window = f.store->results().resultWindow();
    if (c.reloadFoundTheSameFirst) window.replaceRecords(refs(libraryImages(0, 8)), false, 0);
    QThreadPool& pool = f.store->results().context().utilityPool();
    pool.waitForDone();
    std::vector<std::weak_ptr<const ImageRecord>> held(model.records().begin(), model.records().end());

    // Every pool thread waits, so a record freed before they go on was freed on this thread.
    QSemaphore started;
    QSemaphore go;
    const int threads = pool.maxThreadCount();
    for (int i = 0; i < threads; ++i) {
      pool.start([&] {
        started.release();
        go.acquire();
      });
    }
    started.acquire(threads);
    window.replaceRecords(refs(libraryImages(20, 3)), false, 0);
    EXPECT_EQ(rowPaths(model), windowPaths(*f.store));
    for (const auto& record : held) EXPECT_FALSE(record.expired());
    go.release(threads);
    pool.waitForDone();
    for (const auto& record : held) EXPECT_TRUE(record.expired());
  }
}

TEST(ResultsGridModel, RolesGiveTheTileItsValues) {
  ReviewFixture f({libraryImage(0, true, false), libraryImage(1)});
  ResultsGridModel model(f.store->results(), testing::echoLocalization());
  f.select(0, {0});
  const QModelIndex first = model.index(0);
  EXPECT_EQ(first.data(Qt::DisplayRole).toString(), "img-00000.png");
  EXPECT_EQ(first.data(Qt::AccessibleTextRole).toString(), "img-00000.png");
  EXPECT_EQ(first.data(Qt::AccessibleDescriptionRole).toString().toStdString(),
            "common.accessibilityPair(common.accessibilityPair(result.tile.accessibility.selected,"
            "result.tile.accessibility.favorite),result.tile.accessibility.notDeleteCandidate)");
  EXPECT_TRUE(first.data(ResultsGridModel::SelectedRole).toBool());
  EXPECT_FALSE(model.index(1).data(ResultsGridModel::SelectedRole).toBool());
  EXPECT_EQ(first.data(ResultsGridModel::IdentifierRole).toString().toStdString(),
            resultTileAccessibilityIdentifier(imagePath(0)));
}

struct SelectionCase {
  std::string name;
  std::function<void(ReviewFixture&)> change;
  std::vector<std::pair<int, int>> repainted;  // row ranges told to the views
};

TEST(ResultsGridModel, ASelectionChangeRepaintsOnlyTheRowsItChanged) {
  const SelectionCase cases[] = {
      {"focus moves",
       [](auto& f) { f.store->results().moveFocusInGrid(ResultsModel::GridMoveDirection::right, 3); },
       {{5, 6}}},
      {"range grows",
       [](auto& f) { f.store->results().extendSelectionInGrid(ResultsModel::GridMoveDirection::down, 3); },
       {{6, 8}}},
      {"the same selection again",
       [](auto& f) { f.store->results().selection().selectSingle(imagePath(5)); },
       {}},
      {"cleared", [](auto& f) { f.store->results().selection().selectSingle(std::nullopt); }, {{5, 5}}},
  };
  for (const SelectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ReviewFixture f(libraryImages(0, 40));
    f.select(5, {5});
    ResultsGridModel model(f.store->results(), testing::echoLocalization());
    std::vector<std::pair<int, int>> repainted;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& top, const QModelIndex& bottom) {
                       repainted.emplace_back(top.row(), bottom.row());
                     });
    c.change(f);
    // Each change is reported once per signal of the selection; merge what reached the views.
    std::sort(repainted.begin(), repainted.end());
    repainted.erase(std::unique(repainted.begin(), repainted.end()), repainted.end());
    EXPECT_EQ(repainted, c.repainted);
    for (int row = 0; row < model.rowCount(); ++row) {
      EXPECT_EQ(model.isSelected(row),
                f.store->results().selection().effectiveSelectedPaths().count(imagePath(row)) == 1)
          << "row " << row;
    }
  }
}

TEST(ResultsGridModel, ALargeSelectionIsReadFromTheStoreAndRepaintsOnce) {
  const int count = static_cast<int>(ResultsGridModel::kLargeSelection) + 100;
  ReviewFixture f(libraryImages(0, count));
  ResultsGridModel model(f.store->results(), testing::echoLocalization());
  int repaints = 0;
  const auto connection = QObject::connect(&model, &QAbstractItemModel::dataChanged,
                                           [&](const QModelIndex& top, const QModelIndex& bottom) {
                                             EXPECT_EQ(top.row(), 0);
                                             EXPECT_EQ(bottom.row(), count - 1);
                                             ++repaints;
                                           });
  f.store->results().selectAllResults();
  EXPECT_GE(repaints, 1);
  EXPECT_TRUE(model.isSelected(0));
  EXPECT_TRUE(model.isSelected(count - 1));
  QObject::disconnect(connection);
  f.store->results().selection().selectSingle(imagePath(3));  // back to a small one: copied again
  EXPECT_TRUE(model.isSelected(3));
  EXPECT_FALSE(model.isSelected(4));
  f.store->results().selection().selectSingle(imagePath(4));
  EXPECT_FALSE(model.isSelected(3));
  EXPECT_TRUE(model.isSelected(4));
}

}  // namespace
}  // namespace lorvex::ui
