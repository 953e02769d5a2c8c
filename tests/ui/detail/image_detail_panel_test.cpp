// The inspector over a store on the scripted service: the empty state, the sections' order with
// tag concepts off and on, sections updated in place as the focus moves (open boxes kept by id),
// tag chips that toggle the filter and follow it, exact clipboard texts from the copy icons, and
// the review buttons' texts.
#include "ui/detail/image_detail_panel.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest/QTest>
#include <filesystem>

#include "detail_widget_fixture.h"
#include "metadata/generation_metadata_parser.h"
#include "store/library/library_model_test_access.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/localization_table.h"
#include "ui/common/plain_text.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/detail/image_detail_preview.h"
#include "ui/detail/image_filter_tags_section.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/metadata_section.h"
#include "ui/detail/middle_elided_label.h"
#include "ui/detail/tag_chip_group.h"
#include "ui/support/drawing_bands_recorder.h"

namespace lorvex::ui {
namespace {

using testing::novelAIRecord;

class ImageDetailPanelTest : public testing::DetailWidgetTest {
 protected:
  ImageDetailPanel* showPanel(bool tagConcepts, std::vector<ImageRecord> records) {
    makeStore(std::move(records), tagConcepts);
    return host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &localization));
  }

  bool shown(const QString& name) {
    QWidget* widget = find<QWidget>(name);
    return widget && widget->isVisibleTo(window.get());
  }
};

TEST_F(ImageDetailPanelTest, WithoutAFocusedRecordOnlyTheEmptyStateShows) {
  showPanel(false, {novelAIRecord("a.png")});
  store->results().selection().selectSingle(std::nullopt);
  settle();
  ASSERT_TRUE(shown("detail.empty"));
  EXPECT_GE(find<QWidget>("detail.empty")->height(), 280);
  EXPECT_EQ(find<WrappedTextLabel>("detail.empty.title")->text(), "detail.noSelection");
  for (const char* section : {"detail.preview", "detail.review", "detail.tags", "detail.metadata"}) {
    EXPECT_FALSE(shown(section)) << section;
  }
  // A focus on a path that is not loaded reads as no focus too.
  store->results().selection().setPrimaryPath(std::string("/library/elsewhere.png"));
  settle();
  EXPECT_TRUE(shown("detail.empty"));
}

TEST_F(ImageDetailPanelTest, SectionsComeInOrderWithConceptsOnlyWhenSwitchedOn) {
  for (const bool concepts : {false, true}) {
    window.reset();
    ImageDetailPanel* panel = showPanel(concepts, {novelAIRecord("a.png")});
    focus("/library/a.png");
    EXPECT_FALSE(shown("detail.empty"));
    std::vector<QString> order = {"detail.preview", "detail.review", "detail.tags", "detail.metadata"};
    if (concepts) order.insert(order.begin() + 2, "detail.concepts");
    int previousBottom = -1;
    for (const QString& name : order) {
      QWidget* widget = find<QWidget>(name);
      ASSERT_NE(widget, nullptr) << name.toStdString();
      ASSERT_TRUE(widget->isVisibleTo(window.get())) << name.toStdString();
      const int top = widget->mapTo(panel->widget(), QPoint(0, 0)).y();
      EXPECT_GT(top, previousBottom) << name.toStdString()
                                     << (concepts ? " (concepts on)" : " (concepts off)");
      previousBottom = top + widget->height() - 1;
    }
    EXPECT_EQ(find<QWidget>("detail.concepts") != nullptr, concepts);
    EXPECT_GE(find<QWidget>("detail.preview")->height(), ImageDetailPreview::kMinimumHeight);
  }
}

TEST_F(ImageDetailPanelTest, FocusChangesUpdateTheSectionsInPlaceAndKeepOpenBoxesById) {
  ImageRecord withoutPrompt = novelAIRecord("c.png", 1'699'999'998);
  withoutPrompt.metadata.prompt.reset();
  ImageDetailPanel* panel =
      showPanel(false, {novelAIRecord("a.png"), novelAIRecord("b.png", 1'699'999'999), withoutPrompt});
  focus("/library/a.png");
  MetadataSection* metadata = panel->metadataSectionForTest();
  ImageDetailPreview* preview = panel->previewForTest();
  QTest::mouseClick(find<QToolButton>("detail.metadata.longText.prompt.header"), Qt::LeftButton);
  settle();
  ASSERT_TRUE(metadata->isExpanded("prompt"));

  focus("/library/b.png");
  EXPECT_EQ(panel->metadataSectionForTest(), metadata);
  EXPECT_EQ(panel->previewForTest(), preview);
  EXPECT_EQ(preview->record()->file.path, "/library/b.png");
  EXPECT_TRUE(metadata->isExpanded("prompt"))
      << "the prompt box stays open while the focused records have one";

  focus("/library/c.png");
  EXPECT_FALSE(shown("detail.metadata.longText.prompt"));
  focus("/library/a.png");
  EXPECT_FALSE(metadata->isExpanded("prompt")) << "a box that went away comes back closed";
}

TEST_F(ImageDetailPanelTest, PreviewAsksForTheFileVersionAtThePreviewSize) {
  ImageRecord record = novelAIRecord("a.png", 5);
  record.file.fileSize = 1234;
  record.thumbnailPath = "/thumbs/a.jpg";
  showPanel(false, {record});
  focus("/library/a.png");
  const LocalImageLoadRequest& request = find<ImageDetailPreview>("detail.preview")->request();
  EXPECT_EQ(request.path, "/library/a.png");
  EXPECT_EQ(request.previewPath, "/thumbs/a.jpg");
  ASSERT_TRUE(request.imageCacheKey.has_value());
  EXPECT_TRUE(
      request.imageCacheKey->starts_with(std::string("/library/a.png\x1f"
                                                     "1234\x1f"
                                                     "5.0")));
  EXPECT_EQ(request.imageMaxPixelSize, 1600);
}

TEST_F(ImageDetailPanelTest, TagChipsToggleTheFilterAndFollowIt) {
  showPanel(false, {novelAIRecord("a.png")});
  focus("/library/a.png");
  // "Red  Hair" is a character tag in other spelling: only the character group lists it.
  auto* section = find<ImageFilterTagsSection>("detail.tags");
  EXPECT_EQ(section->groups().characterTags, (std::vector<std::string>{"girl", "red hair"}));
  EXPECT_EQ(section->groups().promptTags,
            (std::vector<std::string>{"1girl", "solo", "long hair", "<b>bold</b> & more"}));

  const QString name = QString::fromStdString("detail.tag." + stableIdentifierHash("<b>bold</b> & more"));
  auto* chip = find<MetadataChipButton>(name);
  ASSERT_NE(chip, nullptr);
  EXPECT_EQ(chip->chipTextForTest(), "<b>bold</b> & more");
  EXPECT_FALSE(chip->isSelected());
  EXPECT_EQ(chip->toolTip(), toolTipHtml("filter.tag.addToFilter"));
  EXPECT_EQ(chip->accessibleName(), "filter.tag.addValueToFilter(<b>bold</b> & more)");

  QTest::mouseClick(chip, Qt::LeftButton, {}, chip->rect().center());
  settle();
  EXPECT_EQ(store->filters().selectedFilterTags(), (std::vector<std::string>{"<b>bold</b> & more"}));
  EXPECT_TRUE(chip->isSelected());
  EXPECT_EQ(chip->toolTip(), toolTipHtml("filter.tag.removeFromFilter"));
  EXPECT_EQ(harness.service->calls("searchImages").back().query->filterTags,
            (std::vector<std::string>{"<b>bold</b> & more"}));

  // Deselected elsewhere (the sidebar): the chip follows.
  auto removal = store->filters().removeSelectedFilterTag("<B>BOLD</B>  & MORE");
  settle();
  EXPECT_TRUE(removal.isReady());
  EXPECT_FALSE(chip->isSelected());
}

// A record of more tags than a page: chips for the first page, then "+N more" at the end of the
// flow, each use making the next page's chips with their states (from the keyboard, the focus
// moves on to the first of them); another record starts again at its first page.
TEST_F(ImageDetailPanelTest, ThousandsOfTagsShowAPageOfChipsAtATime) {
  const std::size_t page = TagChipGroup::kChipPageSize;
  ImageRecord many = novelAIRecord("many.png");
  many.promptTags.clear();
  for (std::size_t i = 0; i < 2 * page + 201; ++i) many.promptTags.push_back("tag " + std::to_string(i));
  auto* panel = showPanel(false, {many, novelAIRecord("few.png")});
  focus("/library/many.png");
  auto select = store->filters().toggleFilterTag("tag " + std::to_string(page + 7));
  settle();
  ASSERT_TRUE(select.isReady());
  auto* section = find<ImageFilterTagsSection>("detail.tags");
  TagChipGroup* group = section->promptGroupForTest();
  QToolButton* more = group->moreButtonForTest();

  const struct {
    std::size_t chips;
    std::optional<std::size_t> hidden;
  } steps[] = {{page, page + 201}, {2 * page, 201}, {2 * page + 201, std::nullopt}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.chips);
    ASSERT_EQ(group->chips().size(), step.chips);
    MetadataChipButton* last = group->chips().back();
    EXPECT_EQ(last->chipTextForTest().toStdString(), "tag " + std::to_string(step.chips - 1));
    EXPECT_TRUE(last->isVisibleTo(window.get()));
    EXPECT_EQ(last->accessibleName().toStdString(),
              "filter.tag.addValueToFilter(tag " + std::to_string(step.chips - 1) + ")");
    if (step.chips > page + 7) {
      EXPECT_TRUE(group->chips()[page + 7]->isSelected());
    }
    if (!step.hidden) {
      EXPECT_FALSE(more->isVisibleTo(window.get()));
      continue;
    }
    ASSERT_TRUE(more->isVisibleTo(window.get()));
    EXPECT_EQ(more->text().toStdString(), "metadata.tags.more(#" + std::to_string(*step.hidden) + ")");
    // The control ends the paragraph of chips.
    EXPECT_GE(more->y(), last->y());
    EXPECT_TRUE(more->y() > last->y() || more->x() > last->x());
    panel->ensureWidgetVisible(more);
    settle();
    ASSERT_FALSE(more->visibleRegion().isEmpty());
    if (step.chips < 2 * page) {
      QTest::mouseClick(more, Qt::LeftButton, {}, more->rect().center());
      settle();
      continue;
    }
    // From the keyboard, the focus goes on to the first new chip.
    more->setFocus(Qt::TabFocusReason);
    QTest::keyClick(more, Qt::Key_Space);
    settle();
    EXPECT_EQ(QApplication::focusWidget(), group->chips()[step.chips]);
  }

  // Without the filter tag, so that the other record is among the results.
  auto unselect = store->filters().toggleFilterTag("tag " + std::to_string(page + 7));
  settle();
  ASSERT_TRUE(unselect.isReady());
  focus("/library/few.png");
  EXPECT_EQ(group->chips().size(), 4u);
  EXPECT_FALSE(more->isVisibleTo(window.get()));
  focus("/library/many.png");
  EXPECT_EQ(group->chips().size(), page);
  EXPECT_TRUE(more->isVisibleTo(window.get()));
}

TEST_F(ImageDetailPanelTest, TagChipsAreDisabledWhileTheLibraryIsPrepared) {
  showPanel(false, {novelAIRecord("a.png")});
  focus("/library/a.png");
  LibraryModelTestAccess::setIsPreparingLibrary(store->library(), true);
  settle();
  auto* chip = find<MetadataChipButton>(QString::fromStdString("detail.tag." + stableIdentifierHash("solo")));
  ASSERT_NE(chip, nullptr);
  EXPECT_FALSE(chip->isEnabled());
  const auto searches = harness.service->calls("searchImages").size();
  QTest::mouseClick(chip, Qt::LeftButton, {}, chip->rect().center());
  settle();
  EXPECT_TRUE(store->filters().selectedFilterTags().empty());
  EXPECT_EQ(harness.service->calls("searchImages").size(), searches);
}

TEST_F(ImageDetailPanelTest, CopyIconsPutTheExactValueOnTheClipboardAndLeaveBoxesAsTheyWere) {
  ImageRecord record = novelAIRecord("a.png");
  record.metadata.title = "  spaced <title> & co ";
  showPanel(false, {record});
  focus("/library/a.png");
  QClipboard* clipboard = QApplication::clipboard();

  auto* rowCopy = find<QToolButton>("detail.metadata.row.title.copy");
  ASSERT_NE(rowCopy, nullptr);
  EXPECT_EQ(rowCopy->toolTip(), toolTipHtml("metadata.copyNamedValue(metadata.imageTitle)"));
  QTest::mouseClick(rowCopy, Qt::LeftButton);
  EXPECT_EQ(clipboard->text(), "  spaced <title> & co ");

  auto* promptCopy = find<QToolButton>("detail.metadata.longText.prompt.copy");
  ASSERT_NE(promptCopy, nullptr);
  QTest::mouseClick(promptCopy, Qt::LeftButton);
  settle();
  EXPECT_EQ(clipboard->text(), "1girl, solo, long hair, <b>bold</b> & more");
  EXPECT_FALSE(find<QWidget>("detail.metadata.longText.prompt.text")->isVisibleTo(window.get()));

  QTest::mouseClick(find<QToolButton>("detail.metadata.longText.prompt.header"), Qt::LeftButton);
  settle();
  auto* text = find<SelectableWrappedText>("detail.metadata.longText.prompt.text");
  ASSERT_TRUE(text->isVisibleTo(window.get()));
  EXPECT_EQ(text->text(), "1girl, solo, long hair, <b>bold</b> & more");
  QTest::mouseClick(find<QToolButton>("detail.metadata.longText.characterCaptions.copy"), Qt::LeftButton);
  EXPECT_EQ(clipboard->text(), "girl, red hair\nmetadata.captionCenters: (0.500, 0.250)");
  EXPECT_TRUE(text->isVisibleTo(window.get())) << "copying another box leaves this one open";

  // Shown values keep their untrimmed text, in the middle-elided value cell.
  EXPECT_EQ(find<MiddleElidedLabel>("detail.metadata.row.title")->fullText(), "  spaced <title> & co ");
  EXPECT_EQ(find<MiddleElidedLabel>("detail.metadata.row.size")->fullText(), "832 x 1216");
}

// A long text's box is drawn in bands of at most 64 lines, so Qt's raster painter strokes and fills
// it on the painting thread instead of waiting for its helper threads (each move of the focus
// repaints it).
TEST_F(ImageDetailPanelTest, ALongTextBoxIsDrawnInBands) {
  std::string prompt;
  while (prompt.size() < 2'000) prompt += "masterpiece, best quality, 1girl, solo, long hair, ";
  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "open" : "closed");
    ImageRecord record = novelAIRecord("a.png");
    record.metadata.prompt = prompt;
    showPanel(false, {record});
    focus("/library/a.png");
    if (open) QTest::mouseClick(find<QToolButton>("detail.metadata.longText.prompt.header"), Qt::LeftButton);
    settle();
    auto* box = find<QWidget>("detail.metadata.longText.prompt");
    ASSERT_NE(box, nullptr);
    if (open) {
      EXPECT_GT(box->height(), 64);
    }
    EXPECT_LE(testing::tallestDrawing(*box), 64);
  }
}

TEST_F(ImageDetailPanelTest, AMegabyteValueShowsItsEndsAndCopiesWhole) {
  // A broken or hostile file can carry megabytes in one field; the panel lays out only what can
  // show, and the copy actions still hand over every character.
  std::string huge = "HEAD ";
  while (huge.size() < 1'000'000) huge += "word" + std::to_string(huge.size() % 977) + " ";
  huge += " TAIL";
  ImageRecord record = novelAIRecord("a.png");
  record.metadata.sampler = huge;
  record.metadata.prompt = huge;
  showPanel(false, {record});
  focus("/library/a.png");

  auto* sampler = find<MiddleElidedLabel>("detail.metadata.row.sampler");
  ASSERT_NE(sampler, nullptr);
  EXPECT_EQ(sampler->fullText().size(), static_cast<qsizetype>(huge.size()));
  EXPECT_TRUE(sampler->isElided());
  EXPECT_TRUE(sampler->text().startsWith("HEAD ")) << sampler->text().left(40).toStdString();
  EXPECT_TRUE(sampler->text().endsWith(" TAIL")) << sampler->text().right(40).toStdString();
  EXPECT_LE(sampler->height(), sampler->fontMetrics().lineSpacing() * 2 + sampler->contentsMargins().top() +
                                   sampler->contentsMargins().bottom() + 1);
  EXPECT_GT(sampler->text().size(), 20) << "the cut keeps what fits, not just the ends";

  QTest::mouseClick(find<QToolButton>("detail.metadata.longText.prompt.header"), Qt::LeftButton);
  settle();
  auto* text = find<SelectableWrappedText>("detail.metadata.longText.prompt.text");
  ASSERT_TRUE(text->isVisibleTo(window.get()));
  EXPECT_TRUE(text->text().startsWith("HEAD "));
  EXPECT_LT(text->text().size(), 100'000) << "the open box lays out the beginning only";
  EXPECT_TRUE(text->text().endsWith(QChar(0x2026)));
  QTest::mouseClick(find<QToolButton>("detail.metadata.longText.prompt.copy"), Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), huge);
}

// Long texts without spaces (NovelAI's comment JSON, an A1111 prompt written without them) break
// inside their words: with their boxes open, no part of the inspector is wider than its column, at
// the column's default width and at its minimum, in either language; and the model name beside
// them takes its two lines rather than being cut.
TEST_F(ImageDetailPanelTest, OpenBoxesOfTextsWithoutSpacesStayInsideTheColumn) {
  const std::filesystem::path comment =
      std::filesystem::path(LORVEX_FIXTURES_DIR) / "sd-metadata" / "novelai-full-3char.png";
  if (!std::filesystem::is_regular_file(comment)) GTEST_SKIP() << "the shared fixtures are absent";
  const GenerationMetadataParser parser;
  ImageRecord novelAI = novelAIRecord("novelai.png");
  novelAI.metadata = parser.parse(parser.reader.readFile(comment.string()));
  ASSERT_TRUE(novelAI.metadata.rawCommentJSON.has_value());
  ImageRecord a1111 = novelAIRecord("a1111.png", 1'699'999'999);
  a1111.metadata = {};
  a1111.metadata.provider = GenerationMetadataProvider{"automatic1111", "AUTOMATIC1111 / SD WebUI"};
  a1111.metadata.prompt =
      "masterpiece,best_quality,amazing_quality,very_aesthetic,absurdres,newest,1girl,solo,"
      "long_hair,looking_at_viewer,smile,cherry_blossoms,outdoors,(depth_of_field:1.2)";
  makeStore({novelAI, a1111});
  const QFont applicationFont = QApplication::font();
  for (const char* language : {"en", "ja"}) {
    const AppLocalization texts = AppLocalization::overTable(bundledLocalizationTable(language), ".");
    window.reset();
    QApplication::setFont(interfaceFont(language));
    ImageDetailPanel* panel =
        host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &texts));
    for (const int width : {360, 320}) {
      window->resize(width, 1400);
      for (const ImageRecord* record : {&novelAI, &a1111}) {
        focus(record->file.path);
        for (const char* box : {"rawCommentJSON", "prompt"}) {
          auto* header = find<QToolButton>(QStringLiteral("detail.metadata.longText.%1.header").arg(box));
          if (header->isVisible() && !panel->metadataSectionForTest()->isExpanded(box)) {
            QTest::mouseClick(header, Qt::LeftButton);
          }
        }
        settle();
        for (const QWidget* child : panel->widget()->findChildren<QWidget*>()) {
          if (!child->isVisible()) continue;
          const QRect placed(child->mapTo(panel->viewport(), QPoint(0, 0)), child->size());
          EXPECT_TRUE(placed.left() >= 0 && placed.right() <= panel->viewport()->rect().right())
              << language << " " << record->file.path << " at " << width << ": "
              << child->objectName().toStdString() << " at " << placed.x() << "+" << placed.width() << " in "
              << panel->viewport()->width();
        }
      }
      // A value that two lines hold shows whole, whatever the font's line spacing.
      focus(novelAI.file.path);
      EXPECT_FALSE(find<MiddleElidedLabel>("detail.metadata.row.source")->isElided())
          << language << " " << width;
    }
    window.reset();
  }
  QApplication::setFont(applicationFont);
}

// An unspaced model name a little wider than its column is drawn whole on one line, but its cut
// breaks after the "…": the row is as tall as the cut it draws (at most two lines, the name's end
// shown), at the column's default and minimum widths, in either language.
TEST_F(ImageDetailPanelTest, ASettingRowIsAsTallAsTheCutItDraws) {
  const QString model = "waiNSFWIllustriousSDXL_v140_extended_merge_final_epoch0042.safetensors";
  std::vector<ImageRecord> records;
  for (qsizetype length = 24; length <= model.size(); length += 4) {
    records.push_back(novelAIRecord(std::to_string(length) + ".png", 1'700'000'000 - length));
    records.back().metadata.source = model.right(length).toStdString();
  }
  makeStore(records);
  const QFont applicationFont = QApplication::font();
  for (const char* language : {"en", "ja"}) {
    const AppLocalization texts = AppLocalization::overTable(bundledLocalizationTable(language), ".");
    window.reset();
    QApplication::setFont(interfaceFont(language));
    host(std::make_unique<ImageDetailPanel>(testing::imageDetailPanelModels(*store), &texts));
    for (const int width : {360, 320}) {
      window->resize(width, 1400);
      for (const ImageRecord& record : records) {
        focus(record.file.path);
        const auto* value = find<MiddleElidedLabel>("detail.metadata.row.source");
        const int drawn = value->QLabel::heightForWidth(value->width());  // the cut, as the label lays it out
        EXPECT_GE(value->height(), drawn) << language << " " << width << ": " << value->text().toStdString();
        EXPECT_LE(drawn, 2 * value->fontMetrics().lineSpacing() + 2);
        EXPECT_TRUE(value->text().endsWith(".safetensors"));
      }
    }
  }
  window.reset();
  QApplication::setFont(applicationFont);
}

TEST_F(ImageDetailPanelTest, StatusBoxShowsOnlyForMetadataNotFullyUnderstood) {
  ImageRecord partial = novelAIRecord("b.png", 1'699'999'999);
  partial.metadata.parseWarning = "Comment: bad JSON";
  showPanel(false, {novelAIRecord("a.png"), partial});
  focus("/library/a.png");
  EXPECT_FALSE(shown("detail.metadata.status"));
  focus("/library/b.png");
  ASSERT_TRUE(shown("detail.metadata.status"));
  EXPECT_EQ(find<QLabel>("detail.metadata.status.title")->text(), "metadata.status.partial.title");
  // Selectable, and wrapped as every selectable text is (Japanese between its phrases).
  const auto* warning = find<SelectableWrappedText>("detail.metadata.status.warning");
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(warning->text(), "Comment: bad JSON");
}

TEST_F(ImageDetailPanelTest, ReviewButtonsShowWhatAPressDoes) {
  ImageRecord favorite = novelAIRecord("b.png", 1'699'999'999);
  favorite.reviewState.favorite = true;
  showPanel(false, {novelAIRecord("a.png"), favorite});
  focus("/library/a.png");
  auto* favoriteButton = find<QPushButton>("detail.review.favorite");
  auto* deleteButton = find<QPushButton>("detail.review.deleteCandidate");
  EXPECT_EQ(favoriteButton->accessibleName(), "review.favorite");
  EXPECT_EQ(deleteButton->accessibleName(), "review.deleteCandidate");
  EXPECT_TRUE(favoriteButton->isEnabled());
  focus("/library/b.png");
  EXPECT_EQ(favoriteButton->accessibleName(), "review.favorite.unfavorite");
  EXPECT_EQ(favoriteButton->property("symbol").toString(), "star.slash");
  QTest::mouseClick(favoriteButton, Qt::LeftButton);
  settle();
  EXPECT_FALSE(store->results().selectedRecord()->reviewState.favorite);
  EXPECT_EQ(favoriteButton->accessibleName(), "review.favorite");
  ASSERT_EQ(harness.service->calls("updateReviewStates").size(), 1u);
}

// Counts the events of one type a widget receives.
class EventCounter : public QObject {
 public:
  EventCounter(QWidget& watched, QEvent::Type type) : type_(type) { watched.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) ++count;
    return false;
  }

 private:
  QEvent::Type type_;
};

// The inspector refreshes whenever the store's derived values change, mostly with the same record:
// the review buttons are repainted, and the inspector laid out again, only when what they show
// changes.
TEST_F(ImageDetailPanelTest, ReviewButtonsChangeOnlyWhenWhatTheyShowChanges) {
  ImageRecord favorite = novelAIRecord("b.png", 1'699'999'999);
  favorite.reviewState.favorite = true;
  ImageDetailPanel* panel = showPanel(false, {novelAIRecord("a.png"), favorite, novelAIRecord("c.png", 1)});
  focus("/library/a.png");
  auto* favoriteButton = find<QPushButton>("detail.review.favorite");
  auto* controls = find<QWidget>("detail.review");
  struct Step {
    const char* what;
    const char* focused;  // null: the same record refreshed again
    bool changes;
  };
  const std::vector<Step> steps = {
      {"the same record refreshed", nullptr, false},
      {"a favourite", "/library/b.png", true},
      {"the favourite refreshed", nullptr, false},
      {"another record that is no favourite", "/library/c.png", true},
      {"a record that shows the same", "/library/a.png", false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    EventCounter paints(*favoriteButton, QEvent::Paint);
    EventCounter layouts(*controls, QEvent::LayoutRequest);
    if (step.focused != nullptr) {
      focus(step.focused);
    } else {
      panel->refresh();
      settle();
    }
    EXPECT_EQ(paints.count > 0, step.changes) << paints.count << " paints";
    EXPECT_EQ(layouts.count > 0, step.changes) << layouts.count << " layout requests";
  }
}

// Counts the resizes a widget is given.
class ResizeCounter : public QObject {
 public:
  explicit ResizeCounter(QWidget& watched) { watched.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) ++count;
    return false;
  }
};

// Qt lays every shown ancestor out again whenever a widget is shown. A focus change that shows
// many metadata rows and boxes lays the inspector out once for the status box, the rows and the
// boxes together, not once per row or per container; and once for the tag groups together.
TEST_F(ImageDetailPanelTest, AFocusChangeLaysTheMetadataOutOnceWhateverNumberOfRowsItShows) {
  ImageRecord bare;
  bare.file = {"/library/bare.png", 10, 1'699'999'990};
  ImageRecord other = novelAIRecord("other.png", 1'699'999'991);
  other.metadata.negativePrompt.reset();
  other.metadata.title = "Evening";
  other.metadata.sampler = "k_euler";
  other.metadata.steps = 28;
  other.metadata.source = "Stable Diffusion";
  ImageDetailPanel* panel = showPanel(false, {bare, novelAIRecord("full.png"), other});
  struct Case {
    const char* from;
    const char* to;
  };
  const std::vector<Case> cases{
      {"bare.png", "full.png"},
      {"full.png", "other.png"},
      {"other.png", "bare.png"},
      {"bare.png", "other.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " to " + c.to);
    focus(std::string("/library/") + c.from);
    store->results().focusPathKeepingSelection(std::string("/library/") + c.to);
    ResizeCounter resizes(*panel->metadataSectionForTest());
    ResizeCounter tagResizes(*find<QWidget>("detail.tags"));
    panel->refresh();
    EXPECT_LE(resizes.count, 1);
    // The tag groups show together (once), then the metadata showing below moves them twice.
    EXPECT_LE(tagResizes.count, 3) << "the tag section";
    settle();
    EXPECT_EQ(panel->shownRecordForTest()->file.path, std::string("/library/") + c.to);
  }
}

}  // namespace
}  // namespace lorvex::ui

namespace lorvex::ui {
namespace {

class ImageDetailPanelToggleButtonTest : public testing::WidgetTest {};

TEST_F(ImageDetailPanelToggleButtonTest, AsksForTheOtherStateAndNamesIt) {
  const AppLocalization localization = testing::echoLocalization();
  ImageDetailPanelToggleButton toggle(&localization);
  std::vector<bool> requests;
  QObject::connect(&toggle, &ImageDetailPanelToggleButton::presentedChangeRequested,
                   [&](bool presented) { requests.push_back(presented); });
  EXPECT_EQ(toggle.button()->accessibleName(), "detail.inspector.hide");
  EXPECT_EQ(toggle.button()->toolTip(), toolTipHtml("detail.inspector.hide"));
  toggle.button()->click();
  EXPECT_EQ(requests, std::vector<bool>{false});
  EXPECT_TRUE(toggle.isPresented()) << "the workspace owns the state";
  toggle.setPresented(false);
  EXPECT_EQ(toggle.button()->accessibleName(), "detail.inspector.show");
  toggle.button()->click();
  EXPECT_EQ(requests, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace lorvex::ui
