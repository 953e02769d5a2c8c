// The sidebar's filter section: saved tags collapsing and expanding, rows and toggles calling the
// store once, the two popovers following the store's flags both ways, the focus going back to the
// control that opened the last popover, and a typed tag added from the tag popover.
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QToolButton>

#include "sidebar_widget_fixture.h"
#include "store/filters/filters_model_test_access.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/sidebar/filter_row_button.h"
#include "ui/sidebar/filter_row_list.h"
#include "ui/sidebar/suggestion_popovers.h"

namespace lorvex::ui::testing {
namespace {

class FilterSidebarFiltersTest : public SidebarWidgetTest {
 protected:
  FilterRowButton* tagRow(const std::string& tag) const {
    return find<FilterRowButton>(QString::fromStdString(accessibility_id::savedFilterTagIdentifier(tag)));
  }
  int visibleTagRows() const {
    int count = 0;
    for (auto* row : sidebar->findChildren<FilterRowButton*>()) {
      if (row->objectName().startsWith("sidebar.filter.savedTag.") && row->isVisible()) ++count;
    }
    return count;
  }
};

TEST_F(FilterSidebarFiltersTest, SixSavedTagsCollapseToFiveAndExpand) {
  lorvex::testing::StoreOptions options;
  options.savedFilterTags = {"a", "b", "c", "d", "e", "f"};
  makeSidebar(options);
  EXPECT_FALSE(find<WrappedTextLabel>("sidebar.filter.tagsEmptyHint")->isVisible());
  EXPECT_EQ(visibleTagRows(), 5);
  EXPECT_EQ(tagRow("f"), nullptr);
  auto* more = find<QPushButton>("sidebar.filter.tagMore");
  ASSERT_TRUE(more->isVisible());
  EXPECT_EQ(more->text(), "filter.tag.more");
  FilterRowButton* first = tagRow("a");
  more->click();
  settle();
  EXPECT_EQ(visibleTagRows(), 6);
  EXPECT_EQ(more->text(), "filter.tag.less");
  EXPECT_EQ(tagRow("a"), first);  // rows are kept, not rebuilt
  more->click();
  settle();
  EXPECT_EQ(visibleTagRows(), 5);
}

TEST_F(FilterSidebarFiltersTest, FiveTagsHaveNoMoreButtonAndNoneShowTheHint) {
  lorvex::testing::StoreOptions options;
  options.savedFilterTags = {"a", "b", "c", "d", "e"};
  makeSidebar(options);
  EXPECT_EQ(visibleTagRows(), 5);
  EXPECT_FALSE(find<QPushButton>("sidebar.filter.tagMore")->isVisible());
  makeSidebar();
  EXPECT_EQ(visibleTagRows(), 0);
  EXPECT_TRUE(find<WrappedTextLabel>("sidebar.filter.tagsEmptyHint")->isVisible());
}

TEST_F(FilterSidebarFiltersTest, RowsAndTogglesCallTheStoreOnceAndFollowIt) {
  lorvex::testing::StoreOptions options;
  options.savedFilterTags = {"sky"};
  makeSidebar(options);
  const auto searches = [this] { return callCount("searchImages"); };

  std::size_t before = searches();
  FilterRowButton* sky = tagRow("sky");
  ASSERT_NE(sky, nullptr);
  EXPECT_FALSE(sky->isChecked());
  sky->click();
  EXPECT_FALSE(sky->isChecked());  // the click itself moves no mark
  settle();
  EXPECT_EQ(searches() - before, 1u);
  EXPECT_EQ(store->filters().selectedFilterTags(), (std::vector<std::string>{"sky"}));
  EXPECT_TRUE(sky->isChecked());
  EXPECT_EQ(sky->presentation().mark.symbol, "checkmark.circle.fill");

  before = searches();
  auto* portrait = find<FilterRowButton>("sidebar.filter.aspect.portrait");
  ASSERT_NE(portrait, nullptr);
  QTest::mouseClick(portrait, Qt::LeftButton, {},
                    QPoint(portrait->width() - 5, portrait->height() / 2));  // the gap
  settle();
  EXPECT_EQ(searches() - before, 1u);
  EXPECT_TRUE(store->filters().isAspectFilterSelected(ImageAspectFilter::portrait));
  EXPECT_TRUE(portrait->isChecked());

  before = searches();
  auto* favorites = find<QCheckBox>("sidebar.filter.favoriteOnly");
  favorites->click();
  settle();
  EXPECT_EQ(searches() - before, 1u);
  EXPECT_TRUE(store->filters().onlyFavorites());
  EXPECT_TRUE(favorites->isChecked());
  before = searches();
  FiltersModelTestAccess::setOnlyFavorites(store->filters(),
                                           false);  // a change from the store is shown and calls nothing
  settle();
  EXPECT_FALSE(favorites->isChecked());
  EXPECT_EQ(searches(), before);

  before = searches();
  find<QCheckBox>("sidebar.filter.deleteCandidatesOnly")->click();
  settle();
  EXPECT_EQ(searches() - before, 1u);
  EXPECT_TRUE(store->filters().onlyDeleteCandidates());
}

TEST_F(FilterSidebarFiltersTest, ModelRowClearsOnceAndOnlyWhenSet) {
  makeSidebar();
  auto* clear = find<QToolButton>("sidebar.filter.modelClear");
  auto* select = find<FilterRowButton>("sidebar.filter.model");
  ASSERT_NE(select, nullptr);
  EXPECT_FALSE(clear->isVisible());
  EXPECT_EQ(select->presentation().text, "filter.model.all");
  store->filters().setSelectedModelSource("nai-v4");
  settle();
  ASSERT_TRUE(clear->isVisible());
  EXPECT_EQ(select->accessibleName(), "filter.model.filterBy(nai-v4)");
  const std::size_t before = callCount("searchImages");
  select->setFocus();
  QTest::keyClick(select, Qt::Key_Tab);  // Tab → × → Space
  ASSERT_EQ(QApplication::focusWidget(), clear);
  QTest::keyClick(clear, Qt::Key_Space);
  settle();
  EXPECT_FALSE(store->filters().selectedModelSource());
  EXPECT_EQ(callCount("searchImages") - before, 1u);
  EXPECT_EQ(harness.service->calls("searchImages").back().query->limit, 501);
}

TEST_F(FilterSidebarFiltersTest, PopoversFollowTheStoreFlagBothWays) {
  makeSidebar();
  store->presentation().setIsTagAdditionPopoverPresented(true);
  settle();
  FilterTagAdditionPanel* tag = sidebar->tagPopover();
  ASSERT_NE(tag, nullptr);
  EXPECT_TRUE(tag->isVisible());
  EXPECT_EQ(tag->size(), QSize(420, 560));
  EXPECT_EQ(callCount("tagSuggestions"), 1u);  // opening loads at once
  store->presentation().setIsTagAdditionPopoverPresented(false);
  settle();
  EXPECT_EQ(sidebar->tagPopover(), nullptr);

  store->presentation().presentModelSelectionPopover();
  settle();
  ModelSelectionPanel* model = sidebar->modelPopover();
  ASSERT_NE(model, nullptr);
  QTest::keyClick(model, Qt::Key_Escape);  // closed by Qt: the flag follows
  settle();
  EXPECT_FALSE(store->presentation().isModelSelectionPopoverPresented());
  EXPECT_EQ(sidebar->modelPopover(), nullptr);

  store->presentation().presentModelSelectionPopover();
  settle();
  ASSERT_NE(sidebar->modelPopover(), nullptr);
  findByName<QPushButton>(*sidebar->modelPopover(), "modelPopover.done")->click();
  settle();
  EXPECT_FALSE(store->presentation().isModelSelectionPopoverPresented());
  EXPECT_EQ(sidebar->modelPopover(), nullptr);
}

TEST_F(FilterSidebarFiltersTest, ModelPopoverOverTheTagPopoverReturnsFocusToTheModelRow) {
  makeSidebar();
  auto* addTag = find<QToolButton>("sidebar.filter.addTag");
  auto* modelRow = find<FilterRowButton>("sidebar.filter.model");
  addTag->click();
  settle();
  ASSERT_NE(sidebar->tagPopover(), nullptr);
  modelRow->click();  // opens the model popover, which closes the tag popover
  settle();
  EXPECT_EQ(sidebar->tagPopover(), nullptr);
  EXPECT_FALSE(store->presentation().isTagAdditionPopoverPresented());
  ASSERT_NE(sidebar->modelPopover(), nullptr);
  EXPECT_NE(QApplication::focusWidget(), addTag);  // the tag popover gave its focus up
  store->presentation().setIsModelSelectionPopoverPresented(false);
  settle();
  EXPECT_EQ(QApplication::focusWidget(), modelRow);

  addTag->click();
  settle();
  QTest::keyClick(sidebar->tagPopover(), Qt::Key_Escape);
  settle();
  EXPECT_EQ(QApplication::focusWidget(), addTag);
}

TEST_F(FilterSidebarFiltersTest, TypedTagIsAddedAndThePopoverStays) {
  lorvex::testing::StoreOptions options;
  options.savedFilterTags = {"Blue Sky", "cat"};
  makeSidebar(options);
  find<QToolButton>("sidebar.filter.addTag")->click();
  settle();
  FilterTagAdditionPanel* panel = sidebar->tagPopover();
  ASSERT_NE(panel, nullptr);
  auto* custom = findByName<QLineEdit>(*panel, "tagPopover.customTagField");
  custom->setFocus();
  QTest::keyClicks(custom, "  blue   sky ");
  QTest::keyClick(custom, Qt::Key_Return);
  settle();
  EXPECT_EQ(store->filters().savedFilterTags(),
            (std::vector<std::string>{"Blue Sky", "cat"}));  // the saved spelling, first
  EXPECT_EQ(store->filters().selectedFilterTags(), (std::vector<std::string>{"Blue Sky"}));
  EXPECT_TRUE(custom->text().isEmpty());
  EXPECT_EQ(sidebar->tagPopover(), panel);  // Return in the field keeps the popover

  QTest::keyClicks(custom, "   ");
  findByName<QPushButton>(*panel, "tagPopover.addCustomTag")->click();
  settle();
  EXPECT_EQ(custom->text(), "   ");  // nothing to add: the field keeps it

  auto* search = findByName<QLineEdit>(*panel, "tagPopover.searchField");
  search->setFocus();
  QTest::keyClick(search, Qt::Key_Return);  // elsewhere Return is Done
  settle();
  EXPECT_FALSE(store->presentation().isTagAdditionPopoverPresented());
  EXPECT_EQ(sidebar->tagPopover(), nullptr);
}

// The shortcut help's "Return adds the typed tag" holds in the field the popover focuses: the search.
TEST_F(FilterSidebarFiltersTest, ReturnInTheSearchFieldAddsTheTypedTagAndThePopoverStays) {
  lorvex::testing::StoreOptions options;
  options.savedFilterTags = {"cat"};
  makeSidebar(options);
  auto* addTag = find<QToolButton>("sidebar.filter.addTag");
  QTest::mouseClick(addTag, Qt::LeftButton, {}, addTag->rect().center());
  settle();
  FilterTagAdditionPanel* panel = sidebar->tagPopover();
  ASSERT_NE(panel, nullptr);
  auto* search = findByName<QLineEdit>(*panel, "tagPopover.searchField");
  ASSERT_EQ(QApplication::focusWidget(), search);  // focused when the popover opens
  QTest::keyClicks(search, "  night   city ");
  QTest::keyClick(search, Qt::Key_Return);
  settle();
  EXPECT_EQ(store->filters().savedFilterTags(), (std::vector<std::string>{"night city", "cat"}));
  EXPECT_EQ(store->filters().selectedFilterTags(), (std::vector<std::string>{"night city"}));
  EXPECT_TRUE(store->presentation().isTagAdditionPopoverPresented());
  EXPECT_EQ(sidebar->tagPopover(), panel);
  EXPECT_EQ(search->text(), "  night   city ");  // the search stays, its suggestion now marked
}

TEST_F(FilterSidebarFiltersTest, TagPopoverListsAndTogglesSuggestions) {
  harness.service->setTagSuggestions({{"b", 5}, {"A", 5}, {"c", 7}});
  makeSidebar();
  store->presentation().presentTagAdditionPopover();
  settle();
  FilterTagAdditionPanel* panel = sidebar->tagPopover();
  ASSERT_NE(panel, nullptr);
  auto& model = panel->listModel();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.presentationAt(0).text, "c");
  EXPECT_EQ(model.presentationAt(1).text, "A");
  EXPECT_EQ(model.presentationAt(2).text, "b");
  auto* list = findByName<QListView>(*panel, "tagPopover.list");
  ASSERT_NE(list, nullptr);
  const std::size_t before = callCount("searchImages");
  Q_EMIT list->clicked(model.index(1));
  settle();
  EXPECT_EQ(callCount("searchImages") - before, 1u);
  EXPECT_EQ(store->filters().selectedFilterTags(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(model.presentationAt(1).mark.symbol, "checkmark.circle.fill");
  EXPECT_EQ(sidebar->tagPopover(), panel);
}

TEST_F(FilterSidebarFiltersTest, StartUpLoadsTagConceptsOnlyWhenTheyAreOn) {
  makeSidebar();
  EXPECT_EQ(callCount("searchTagConcepts"), 0u);
  lorvex::testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  makeSidebar(options);
  EXPECT_EQ(callCount("searchTagConcepts"), 1u);
}

TEST_F(FilterSidebarFiltersTest, TypingInTheTagPopoverLoadsOnceAfterThePause) {
  makeSidebar();
  store->presentation().presentTagAdditionPopover();
  settle();
  FilterTagAdditionPanel* panel = sidebar->tagPopover();
  ASSERT_NE(panel, nullptr);
  ASSERT_EQ(callCount("tagSuggestions"), 1u);  // the blank text, at once
  auto* search = findByName<QLineEdit>(*panel, "tagPopover.searchField");
  QTest::keyClicks(search, "sky");
  settle();
  EXPECT_EQ(callCount("tagSuggestions"), 1u);
  EXPECT_TRUE(store->suggestions().isTagSuggestionLoading());  // "searching" from the first key on
  harness.clock.advance(250'000'000);
  settle();
  ASSERT_EQ(callCount("tagSuggestions"), 2u);
  EXPECT_EQ(harness.service->calls("tagSuggestions").back().text, "sky");
}

TEST_F(FilterSidebarFiltersTest, ConceptPageTakesTheSelectionAndLeavingItReloads) {
  lorvex::testing::StoreOptions options;
  options.featureAvailability.isTagConceptEnabled = true;
  makeSidebar(options);
  store->presentation().presentTagAdditionPopover();
  settle();
  FilterTagAdditionPanel* panel = sidebar->tagPopover();
  ASSERT_NE(panel, nullptr);
  const std::size_t loads = callCount("tagSuggestions");
  QPushButton* manage = nullptr;
  for (auto* button : panel->findChildren<QPushButton*>()) {
    if (button->text() == "tagConcept.manage") manage = button;
  }
  ASSERT_NE(manage, nullptr);
  EXPECT_TRUE(manage->isVisible());
  manage->click();
  settle();
  EXPECT_TRUE(panel->isConceptPageShownForTest());
  ASSERT_EQ(conceptPagePaths.size(), 1u);
  EXPECT_TRUE(conceptPagePaths[0].empty());  // no image selected
  EXPECT_EQ(callCount("tagSuggestions"), loads);
  QToolButton* back = nullptr;
  for (auto* button : panel->findChildren<QToolButton*>()) {
    if (button->accessibleName() == "tagSelection.title") back = button;
  }
  ASSERT_NE(back, nullptr);
  back->click();
  settle();
  EXPECT_FALSE(panel->isConceptPageShownForTest());
  EXPECT_EQ(callCount("tagSuggestions"), loads + 1);  // reloaded for the unchanged text
}

TEST_F(FilterSidebarFiltersTest, ModelPopoverChoosesAModelAndStaysOpen) {
  harness.service->setModelSuggestions({{"nai-v4", 5}, {"sdxl", 2}});
  makeSidebar();
  store->presentation().presentModelSelectionPopover();
  settle();
  ModelSelectionPanel* panel = sidebar->modelPopover();
  ASSERT_NE(panel, nullptr);
  ASSERT_EQ(panel->listModel().rowCount(), 2);
  auto* list = findByName<QListView>(*panel, "modelPopover.list");
  std::size_t before = callCount("searchImages");
  Q_EMIT list->clicked(panel->listModel().index(1));
  settle();
  EXPECT_EQ(store->filters().selectedModelSource(), "sdxl");
  EXPECT_EQ(callCount("searchImages") - before, 1u);
  EXPECT_EQ(panel->listModel().presentationAt(1).mark.symbol, "checkmark.circle.fill");
  EXPECT_EQ(sidebar->modelPopover(), panel);
  before = callCount("searchImages");
  Q_EMIT list->clicked(panel->listModel().index(1));  // the model already chosen: nothing
  settle();
  EXPECT_EQ(callCount("searchImages"), before);
}

TEST_F(FilterSidebarFiltersTest, TheSidebarCanGoWhileAPopoverIsOpen) {
  makeSidebar();
  store->presentation().presentModelSelectionPopover();
  settle();
  ASSERT_NE(sidebar->modelPopover(), nullptr);
  sidebar.reset();
  settle();
  EXPECT_FALSE(store->presentation().isModelSelectionPopoverPresented());  // nothing left presents it
}

}  // namespace
}  // namespace lorvex::ui::testing
