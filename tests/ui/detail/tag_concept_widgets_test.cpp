// The inspector's concept section and the management panel over a store on the scripted service
// with a small concept library behind it: chips that assign and remove for the shown image only,
// the popup and its flag, and the panel's selection, field and gating rules, with the mutations
// held where the test needs them running.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QtTest/QTest>

#include "concept_library.h"
#include "detail_widget_fixture.h"
#include "model/library_error.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/plain_text.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/detail/image_detail_panel.h"
#include "ui/detail/image_tag_concept_section.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/tag_concept_management_panel.h"

namespace lorvex::ui {
namespace {

using testing::ConceptLibrary;
using testing::novelAIRecord;

const std::vector<TagConcept> kConcepts = {{7, "Cats", 12}, {3, "Dogs", 4}};

class TagConceptWidgetsTest : public testing::DetailWidgetTest {
 protected:
  void SetUp() override {
    library = std::make_unique<ConceptLibrary>(*harness.service, kConcepts);
    makeStore({novelAIRecord("a.png"), novelAIRecord("b.png", 1'699'999'999)}, true);
  }

  TagConceptManagementPanel* showManagementPanel(std::vector<std::string> paths) {
    return host(
        std::make_unique<TagConceptManagementPanel>(store->concepts(), std::move(paths), &localization),
        {460, 700});
  }

  std::size_t callCount(const std::string& name) { return harness.service->calls(name).size(); }

  std::unique_ptr<ConceptLibrary> library;
};

TEST_F(TagConceptWidgetsTest, ConceptChipsAssignAndRemoveForTheShownImageOnly) {
  auto* panel =
      host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  focus("/library/a.png");
  auto* cats = find<MetadataChipButton>("detail.concept.7");
  ASSERT_NE(cats, nullptr) << "the section loads the concepts for the shown path";
  ASSERT_NE(find<MetadataChipButton>("detail.concept.3"), nullptr);
  EXPECT_FALSE(cats->isSelected());
  EXPECT_EQ(cats->toolTip(), toolTipHtml("tagConcept.assignment.assign"));

  QTest::mouseClick(cats, Qt::LeftButton, {}, cats->rect().center());
  settle();
  EXPECT_EQ(library->assignments(), (std::vector<TagConceptManualAssignment>{{7, "/library/a.png"}}));
  EXPECT_TRUE(cats->isSelected());
  EXPECT_EQ(cats->toolTip(), toolTipHtml("tagConcept.assignment.remove"));

  // Another image: the same chips, unassigned until its own assignments arrive.
  focus("/library/b.png");
  EXPECT_EQ(find<MetadataChipButton>("detail.concept.7"), cats);
  EXPECT_FALSE(cats->isSelected());
  focus("/library/a.png");
  EXPECT_TRUE(cats->isSelected());
  QTest::mouseClick(cats, Qt::LeftButton, {}, cats->rect().center());
  settle();
  EXPECT_TRUE(library->assignments().empty());
  EXPECT_FALSE(cats->isSelected());
  ASSERT_EQ(harness.service->calls("unassignImagesFromTagConcept").size(), 1u);
  EXPECT_EQ(harness.service->calls("unassignImagesFromTagConcept")[0].paths,
            (std::vector<std::string>{"/library/a.png"}));
  (void)panel;
}

// Meanwhile another view loaded the store's assignments for other images (the tag popover's
// concept page with nothing selected loads none): back on the same image, its own marks return.
TEST_F(TagConceptWidgetsTest, ChipsShowTheImagesOwnMarksWhenTheFocusComesBackToIt) {
  host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  focus("/library/a.png");
  auto* cats = find<MetadataChipButton>("detail.concept.7");
  ASSERT_NE(cats, nullptr);
  QTest::mouseClick(cats, Qt::LeftButton, {}, cats->rect().center());
  settle();
  ASSERT_TRUE(cats->isSelected());

  store->results().selection().selectSingle(std::nullopt);
  settle();
  auto elsewhere = store->concepts().loadManualTagConceptAssignments({});
  settle();
  ASSERT_TRUE(elsewhere.isReady());
  focus("/library/a.png");
  EXPECT_TRUE(cats->isSelected()) << "the chip kept the mark of the other view's scope";
  EXPECT_EQ(harness.service->calls("tagConceptImageAssignments").back().paths,
            (std::vector<std::string>{"/library/a.png"}));
}

TEST_F(TagConceptWidgetsTest, AnotherImageStopsTheRunningLoadBeforeItAsksForAssignments) {
  harness.service->hold("searchTagConcepts");
  host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  focus("/library/a.png");
  ASSERT_TRUE(harness.service->waitForHeld("searchTagConcepts", 1));
  focus("/library/b.png");
  ASSERT_TRUE(harness.service->waitForHeld("searchTagConcepts", 2));
  harness.service->releaseAll();
  settle();
  const auto loads = harness.service->calls("tagConceptImageAssignments");
  ASSERT_EQ(loads.size(), 1u) << "the load for the first image stopped after its concept list";
  EXPECT_EQ(loads[0].paths, (std::vector<std::string>{"/library/b.png"}));
  EXPECT_NE(find<MetadataChipButton>("detail.concept.7"), nullptr);
}

TEST_F(TagConceptWidgetsTest, ChipsAreDisabledWhileAMutationRunsAndTheManageButtonIsNot) {
  host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  focus("/library/a.png");
  harness.service->hold("assignImagesToTagConcept");
  auto* cats = find<MetadataChipButton>("detail.concept.7");
  QTest::mouseClick(cats, Qt::LeftButton, {}, cats->rect().center());
  ASSERT_TRUE(harness.service->waitForHeld("assignImagesToTagConcept"));
  settle();
  EXPECT_FALSE(cats->isEnabled());
  EXPECT_FALSE(find<MetadataChipButton>("detail.concept.3")->isEnabled());
  EXPECT_TRUE(find<QToolButton>("detail.concepts.manage")->isEnabled());
  harness.service->releaseAll();
  settle();
  EXPECT_TRUE(cats->isEnabled());
}

TEST_F(TagConceptWidgetsTest, ManageOpensThePanelForThisImageAndAnyCloseClearsTheFlag) {
  host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  focus("/library/a.png");
  auto* section = find<ImageTagConceptSection>("detail.concepts");
  QTest::mouseClick(find<QToolButton>("detail.concepts.manage"), Qt::LeftButton);
  settle();
  ASSERT_TRUE(section->isManagementPresentedForTest());
  QWidget* popup = section->managementPopup();
  ASSERT_NE(popup, nullptr);
  auto* managed = testing::findByName<TagConceptManagementPanel>(*popup, "tagConcept.panel");
  ASSERT_NE(managed, nullptr);
  EXPECT_EQ(managed->imagePaths(), (std::vector<std::string>{"/library/a.png"}));
  EXPECT_EQ(managed->size(), QSize(440, 560));
  QTest::keyClick(popup, Qt::Key_Escape);
  settle();
  EXPECT_FALSE(section->isManagementPresentedForTest());
  EXPECT_EQ(section->managementPopup(), nullptr);
}

TEST_F(TagConceptWidgetsTest, PanelSelectsTheFirstConceptAndFillsRenameOnAppearance) {
  showManagementPanel({"/library/a.png"});
  auto* panel = find<TagConceptManagementPanel>("tagConcept.panel");
  EXPECT_EQ(panel->selectedConceptIDForTest(), 7);
  EXPECT_EQ(find<QLineEdit>("tagConcept.name.placeholder")->text(), "Cats");
  EXPECT_EQ(find<QToolButton>("tagConcept.picker")->text(), "Cats");
  EXPECT_EQ(harness.service->calls("tagConceptAliases").back().number, 7);
  EXPECT_EQ(harness.service->calls("tagConceptImageAssignments").back().paths,
            (std::vector<std::string>{"/library/a.png"}));
  EXPECT_EQ(find<WrappedTextLabel>("tagConcept.assignment.scope")->text(),
            "tagConcept.assignment.scope(#0,#1)");

  // Choosing another concept syncs the rename field and restarts the keyed load with its id.
  QMenu* menu = find<QToolButton>("tagConcept.picker")->menu();
  QAction* dogs = menu->findChild<QAction*>("tagConcept.picker.3");
  ASSERT_NE(dogs, nullptr);
  dogs->trigger();
  settle();
  EXPECT_EQ(panel->selectedConceptIDForTest(), 3);
  EXPECT_EQ(find<QLineEdit>("tagConcept.name.placeholder")->text(), "Dogs");
  EXPECT_EQ(harness.service->calls("tagConceptAliases").back().number, 3);
  EXPECT_TRUE(menu->findChild<QAction*>("tagConcept.picker.3")->isChecked());
}

// A long concept name is cut on the picker's one line: the panel stays as wide as its 440-point
// popup and every control of it stays inside.
TEST_F(TagConceptWidgetsTest, ALongConceptNameKeepsThePanelInsideItsPopup) {
  const QString name =
      QStringLiteral("Cherry blossom petals drifting over the river at dusk, ").repeated(2).left(84);
  auto* panel = host(std::make_unique<TagConceptManagementPanel>(
                         store->concepts(), std::vector<std::string>{"/library/a.png"}, &localization),
                     {440, 560});
  QTest::mouseClick(find<QLineEdit>("tagConcept.create.placeholder"), Qt::LeftButton);
  QTest::keyClicks(find<QLineEdit>("tagConcept.create.placeholder"), name);
  QTest::mouseClick(find<QPushButton>("tagConcept.create"), Qt::LeftButton);
  settle();
  auto* picker = find<QToolButton>("tagConcept.picker");
  ASSERT_EQ(picker->accessibleName(), name);
  EXPECT_TRUE(picker->text().endsWith(QChar(0x2026))) << picker->text().toStdString();
  for (const QWidget* child : panel->widget()->findChildren<QWidget*>()) {
    if (!child->isVisible()) continue;
    const QRect placed(child->mapTo(panel->viewport(), QPoint(0, 0)), child->size());
    EXPECT_TRUE(panel->viewport()->rect().contains(placed))
        << child->objectName().toStdString() << " at " << placed.x() << "+" << placed.width() << " in "
        << panel->viewport()->width();
  }
}

TEST_F(TagConceptWidgetsTest, CreateSelectsTheNewConceptAndFillsRename) {
  showManagementPanel({});
  auto* panel = find<TagConceptManagementPanel>("tagConcept.panel");
  auto* field = find<QLineEdit>("tagConcept.create.placeholder");
  QTest::keyClicks(field, "  Birds  ");
  QTest::mouseClick(find<QPushButton>("tagConcept.create"), Qt::LeftButton);
  settle();
  ASSERT_EQ(callCount("createTagConcept"), 1u);
  EXPECT_EQ(harness.service->calls("createTagConcept")[0].text, "Birds");
  EXPECT_EQ(panel->selectedConceptIDForTest(), 100);
  EXPECT_EQ(find<QLineEdit>("tagConcept.name.placeholder")->text(), "Birds");
  EXPECT_TRUE(field->text().isEmpty());
  // No images: no assignment section, yet the keyed load asked for the (empty) assignments.
  EXPECT_FALSE(find<QWidget>("tagConcept.assignment.assign")->isVisibleTo(window.get()));
}

TEST_F(TagConceptWidgetsTest, FailedCreateKeepsTheTextAndTheSelection) {
  showManagementPanel({});
  harness.service->setAnswer("createTagConcept", [](const lorvex::testing::ServiceCall&) -> std::any {
    throw LibraryError(LibraryError::Kind::database, "disk full");
  });
  auto* field = find<QLineEdit>("tagConcept.create.placeholder");
  QTest::keyClicks(field, "Birds");
  QTest::keyClick(field, Qt::Key_Return);
  settle();
  EXPECT_EQ(field->text(), "Birds");
  EXPECT_EQ(find<TagConceptManagementPanel>("tagConcept.panel")->selectedConceptIDForTest(), 7);
  EXPECT_EQ(store->context().errorMessage(), "disk full");
}

TEST_F(TagConceptWidgetsTest, BlankCreateIsDisabledAndReturnDoesNothing) {
  showManagementPanel({});
  auto* field = find<QLineEdit>("tagConcept.create.placeholder");
  auto* button = find<QPushButton>("tagConcept.create");
  EXPECT_FALSE(button->isEnabled());
  QTest::keyClicks(field, "   ");
  EXPECT_FALSE(button->isEnabled());
  QTest::keyClick(field, Qt::Key_Return);
  settle();
  EXPECT_EQ(callCount("createTagConcept"), 0u);
  QTest::keyClicks(field, "x");
  EXPECT_TRUE(button->isEnabled());
}

TEST_F(TagConceptWidgetsTest, ReturnOnAnUnchangedRenameStillRenames) {
  showManagementPanel({});
  auto* field = find<QLineEdit>("tagConcept.name.placeholder");
  auto* button = find<QPushButton>("common.rename");
  ASSERT_EQ(field->text(), "Cats");
  EXPECT_FALSE(button->isEnabled());
  field->setText("  Cats ");
  EXPECT_FALSE(button->isEnabled()) << "the same name once normalised";
  QTest::keyClick(field, Qt::Key_Return);
  settle();
  ASSERT_EQ(callCount("renameTagConcept"), 1u);
  EXPECT_EQ(harness.service->calls("renameTagConcept")[0].text, "Cats");
  EXPECT_EQ(harness.service->calls("renameTagConcept")[0].number, 7);
  field->setText("cats");
  EXPECT_TRUE(button->isEnabled()) << "letter case counts";
}

TEST_F(TagConceptWidgetsTest, EveryMutationControlIsOffWhileAMutationIsHeldAndThePickerIsNot) {
  harness.service->setAnswer("tagConceptAliases", [](const lorvex::testing::ServiceCall& call) {
    return std::any(std::vector<TagConceptAlias>{{call.number, "neko"}});
  });
  showManagementPanel({"/library/a.png", "/library/b.png"});
  auto* aliasField = find<QLineEdit>("tagConcept.alias.placeholder");
  QTest::keyClicks(aliasField, "kitty");
  QTest::keyClicks(find<QLineEdit>("tagConcept.create.placeholder"), "Birds");
  const QString remove = QString::fromStdString("tagConcept.alias.remove." + stableIdentifierHash("neko"));
  ASSERT_NE(find<QToolButton>(remove), nullptr);

  harness.service->hold("assignImagesToTagConcept");
  QTest::mouseClick(find<QPushButton>("tagConcept.assignment.assign"), Qt::LeftButton);
  ASSERT_TRUE(harness.service->waitForHeld("assignImagesToTagConcept"));
  settle();
  for (const char* name : {"tagConcept.create", "common.rename", "tagConcept.alias.add",
                           "tagConcept.assignment.assign", "tagConcept.assignment.remove"}) {
    EXPECT_FALSE(find<QPushButton>(name)->isEnabled()) << name;
  }
  EXPECT_FALSE(find<QToolButton>(remove)->isEnabled());
  EXPECT_TRUE(find<QToolButton>("tagConcept.picker")->isEnabled());
  // Return in a field still asks; the store drops it and the alias text stays.
  QTest::keyClick(aliasField, Qt::Key_Return);
  settle();
  EXPECT_EQ(callCount("addTagConceptAlias"), 0u);
  EXPECT_EQ(aliasField->text(), "kitty");

  harness.service->releaseAll();
  settle();
  EXPECT_EQ(library->assignments(),
            (std::vector<TagConceptManualAssignment>{{7, "/library/a.png"}, {7, "/library/b.png"}}));
  EXPECT_EQ(find<WrappedTextLabel>("tagConcept.assignment.scope")->text(),
            "tagConcept.assignment.scope(#2,#2)");
  EXPECT_TRUE(find<QPushButton>("tagConcept.alias.add")->isEnabled());
}

TEST_F(TagConceptWidgetsTest, AliasTextIsKeptWhenTheAddFailsAndClearedWhenItIsTaken) {
  showManagementPanel({});
  auto* field = find<QLineEdit>("tagConcept.alias.placeholder");
  harness.service->setAnswer("addTagConceptAlias", [](const lorvex::testing::ServiceCall&) -> std::any {
    throw LibraryError(LibraryError::Kind::database, "locked");
  });
  QTest::keyClicks(field, " neko  cat ");
  QTest::mouseClick(find<QPushButton>("tagConcept.alias.add"), Qt::LeftButton);
  settle();
  ASSERT_EQ(callCount("addTagConceptAlias"), 1u);
  EXPECT_EQ(harness.service->calls("addTagConceptAlias")[0].text, "neko cat");
  EXPECT_EQ(field->text(), " neko  cat ");

  library = std::make_unique<ConceptLibrary>(*harness.service, kConcepts);
  QTest::keyClick(field, Qt::Key_Return);
  settle();
  EXPECT_TRUE(field->text().isEmpty());
  EXPECT_EQ(library->aliases(), (std::vector<TagConceptAlias>{{7, "neko cat"}}));
  EXPECT_NE(find<QToolButton>(
                QString::fromStdString("tagConcept.alias.remove." + stableIdentifierHash("neko cat"))),
            nullptr);
}

// The remove button starts the mutation whose busy state rebuilds the rows: the button must outlive
// its own click (deleted inside it, the rest of its click handling ran on freed memory).
TEST_F(TagConceptWidgetsTest, AnAliasRemovedByItsButtonOutlivesTheClick) {
  showManagementPanel({"/library/a.png"});
  auto* field = find<QLineEdit>("tagConcept.alias.placeholder");
  QTest::keyClicks(field, "neko");
  QTest::keyClick(field, Qt::Key_Return);
  settle();
  const QString name = QString::fromStdString("tagConcept.alias.remove." + stableIdentifierHash("neko"));
  auto* remove = find<QToolButton>(name);
  ASSERT_NE(remove, nullptr);
  QPointer<QToolButton> button(remove);
  bool aliveAfterItsHandlers = false;
  QObject::connect(remove, &QToolButton::clicked, [&] { aliveAfterItsHandlers = !button.isNull(); });
  QTest::mouseClick(remove, Qt::LeftButton, {}, remove->rect().center());
  EXPECT_TRUE(aliveAfterItsHandlers);
  settle();
  EXPECT_TRUE(library->aliases().empty());
  EXPECT_EQ(find<QToolButton>(name), nullptr);
  EXPECT_TRUE(button.isNull()) << "the row of the removed alias is gone once the click is over";
}

TEST_F(TagConceptWidgetsTest, AVanishedSelectionFallsBackToTheFirstConcept) {
  showManagementPanel({});
  auto* panel = find<TagConceptManagementPanel>("tagConcept.panel");
  panel->selectConcept(3);
  settle();
  store->concepts().setTagConcepts({{7, "Cats", 12}, {9, "Birds", 1}});
  settle();
  EXPECT_EQ(panel->selectedConceptIDForTest(), 7);
  EXPECT_EQ(find<QLineEdit>("tagConcept.name.placeholder")->text(), "Cats");
  store->concepts().setTagConcepts({});
  settle();
  EXPECT_EQ(panel->selectedConceptIDForTest(), std::nullopt);
  EXPECT_TRUE(find<QWidget>("tagConcept.empty")->isVisibleTo(window.get()));
  EXPECT_FALSE(find<QWidget>("tagConcept.picker")->isVisibleTo(window.get()));
}

}  // namespace
}  // namespace lorvex::ui
