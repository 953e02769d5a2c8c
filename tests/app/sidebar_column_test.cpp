// The sidebar as a person meets it: the real sidebar in the main window at the window's minimum
// width and at its default width, in English and in Japanese, with everything long at once (a
// library of 120,435 images, a folder whose access is no longer valid with its two-line error,
// files that could not be read, a long model name). Every control lies inside the column, no text is
// cut except where it is shortened with "…", and the controls at the column's trailing edge answer
// clicks: the folder's "…", "+", the model row's "›" and its "×", and the warning's sheet, whose
// rows show their message and guidance whole and cut no descender.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include "app/main_window.h"
#include "app/shell_views.h"
#include "scripted_folder_picker.h"
#include "store/filters/filters_model_test_access.h"
#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "support/temporary_folder.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/eliding_label.h"
#include "ui/common/plain_text.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/detail/tag_concept_management_panel.h"
#include "ui/review/delete_candidate_trash_sidebar_toolbar.h"
#include "ui/sidebar/filter_row_button.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/sidebar/library_section_widgets.h"
#include "ui/sidebar/scan_failure_sheet.h"
#include "ui/sidebar/wrapping_link_button.h"
#include "ui/support/drawn_texts.h"
#include "ui/support/store_view_models.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

using ui::testing::findByName;
using State = RegisteredFolderAccessState;

struct Column {
  const char* name;
  std::string_view language;
  bool atMinimumSize;
};

void PrintTo(const Column& column, std::ostream* out) {
  *out << column.name;
}

class SidebarColumnTest : public ui::testing::WidgetTest, public ::testing::WithParamInterface<Column> {
 protected:
  void SetUp() override {
    localization.emplace(
        ui::AppLocalization::overTable(ui::bundledLocalizationTable(GetParam().language), "."));
    QApplication::setFont(ui::interfaceFont(GetParam().language));
    store = harness.makeStore();
    // The live views, the sidebar among them, with the sidebar in the language of the case.
    views = liveShellViews();
    const ui::AppLocalization* sidebarLocalization = &*localization;
    views.filterSidebar = [sidebarLocalization](ImageLibraryStore& s, const ui::ViewResourceDisplay& display,
                                                std::function<void()> showImporter,
                                                std::function<void(const std::string&)> reauthorize,
                                                QWidget* parent) {
      ui::FilterSidebarFactories factories;
      factories.trashToolbar = &ui::makeDeleteCandidateTrashSidebarToolbar;
      factories.tagConceptManagement = ui::tagConceptManagementPanelFactory();
      auto* sidebar =
          new ui::FilterSidebar(ui::testing::filterSidebarModels(s), display, std::move(showImporter),
                                std::move(reauthorize), std::move(factories), *sidebarLocalization, parent);
      sidebar->setObjectName(QStringLiteral("filterSidebar"));
      return sidebar;
    };
    window = std::make_unique<MainWindow>(
        *store, ui::ViewResourceDisplay{}, platform::Settings("column", folder.path()), views, picker,
        nullptr, [] {}, *localization);
    window->resize(GetParam().atMinimumSize ? window->minimumSizeHint() : QSize(1280, 820));
    window->show();
    QApplication::setActiveWindow(window.get());
    settle();

    auto folders = std::vector<RegisteredFolderSummary>{
        {"/home/ann/Pictures/NovelAI", "NovelAI", State::available, 104923, 0, std::nullopt, std::nullopt},
        {"/home/ann/Pictures/ComfyUI outputs 2024", "ComfyUI outputs 2024", State::bookmarkInvalid, 15100, 0,
         GetParam().language == "ja" ? "このフォルダへの保存されたアクセスは有効ではなくなりました。"
                                     : "The saved access to this folder is no longer valid.",
         std::nullopt},
        {"/media/usb/old renders", "old renders", State::missing, 412, 412, "The folder is not reachable.",
         std::nullopt},
    };
    harness.service->setRegisteredFolderSummaries(folders);
    LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), folders);
    const std::string message =
        "Permission denied while opening the file for reading: the folder it lies in is readable by its "
        "owner only, and Lorvex runs as another user, so the file could not be indexed. Allow access to the "
        "folder again, or ask the folder's owner to let your user read it, and then sync the folder.";
    const ImageLibraryScanFailure failure{"/home/ann/Pictures/NovelAI/2024/0001.png", message,
                                          ImageLibraryScanFailure::Kind::permission};
    LibraryModelTestAccess::setLastScanSummary(store->library(),
                                               ImageLibraryScanSummary{20, 8, 12, {failure}});
    FiltersModelTestAccess::setSavedFilterTags(
        store->filters(), {"1girl", "a very long tag that does not fit the sidebar at all, not even close"});
    store->filters().setSelectedModelSource("nai-diffusion-4-5-full-anime-v2-curated-preview-long-name");
    // Told by its notice: the window's own text, naming the long path.
    store->context().setErrorMessage(
        "Cannot register /home/ann/Pictures/exports/2024-06-01_session_with_a_long_unbroken_name",
        ErrorNotice{ErrorNoticeKind::folderUnavailable,
                    {"/home/ann/Pictures/exports/2024-06-01_session_with_a_long_unbroken_name"}});
    settle();
    sidebar = findByName<ui::FilterSidebar>(*window, "filterSidebar");
    ASSERT_NE(sidebar, nullptr);
  }

  void TearDown() override {
    window.reset();
    harness.service->releaseAll();
    harness.drainEvents();
    QApplication::setFont(QFont());
  }

  void settle() {
    harness.drainEvents();
    ui::testing::drainUiEvents();
    harness.drainEvents();
  }

  std::string text(std::string_view key, const ui::FormatArguments& arguments = {}) const {
    return localization->lookup(key, arguments);
  }

  template <class T = QWidget>
  T* find(const QString& name) const {
    return findByName<T>(*sidebar, name);
  }

  // Where `widget` lies in `area`'s coordinates.
  static QRect rectIn(const QWidget& widget, const QWidget& area) {
    return {widget.mapTo(&area, QPoint(0, 0)), widget.size()};
  }

  static std::string describe(const QWidget& widget) {
    return std::string(widget.metaObject()->className()) + " \"" + widget.objectName().toStdString() + "\"";
  }

  // Clicks `button` and answers the menu it opens with `answer`.
  static void clickMenuButton(QToolButton& button, const std::function<void(QMenu&)>& answer) {
    bool answered = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr) << "the button opened no menu";
      answer(*menu);
      answered = true;
      menu->close();
    });
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_TRUE(answered);
  }

  lorvex::testing::TemporaryFolder folder;
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  std::optional<ui::AppLocalization> localization;
  ShellViews views;
  testing::ScriptedFolderPicker picker;
  std::unique_ptr<MainWindow> window;
  ui::FilterSidebar* sidebar = nullptr;
};

TEST_P(SidebarColumnTest, EveryRowFitsTheColumnWithItsTextWhole) {
  QScrollArea* scroll = sidebar->scrollAreaForTest();
  QWidget* viewport = scroll->viewport();
  QWidget* content = scroll->widget();
  EXPECT_GE(sidebar->width(), ui::FilterSidebar::kMinimumWidth);
  EXPECT_LE(content->width(), viewport->width()) << "the content is wider than its column";

  int checked = 0;
  for (QWidget* widget : sidebar->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window.get()) || widget->isWindow() || widget->size().isEmpty()) continue;
    const bool scrolled = content->isAncestorOf(widget);
    const QWidget& area = scrolled ? *viewport : *sidebar;
    const QRect rect = rectIn(*widget, area);
    EXPECT_GE(rect.left(), 0) << describe(*widget);
    EXPECT_LE(rect.right(), area.width() - 1)
        << describe(*widget) << " ends at " << rect.right() << " of " << area.width();
    ++checked;
    // Text not cut: a label shows its whole text (wrapped ones all their lines); a button its title.
    // Eliding labels and filter rows shorten with "…" by design.
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
      if (label->wordWrap()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << describe(*widget);
      } else {
        EXPECT_GE(label->width(), label->sizeHint().width())
            << describe(*widget) << " " << label->text().toStdString();
      }
    }
    const bool wraps = dynamic_cast<ui::SelectableWrappedText*>(widget) ||
                       dynamic_cast<ui::WrappedTextLabel*>(widget) ||
                       dynamic_cast<ui::WrappingLinkButton*>(widget);
    if (wraps) {
      EXPECT_GE(widget->height(), widget->heightForWidth(widget->width())) << describe(*widget);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget);
               button && !button->text().isEmpty() && !qobject_cast<ui::FilterRowButton*>(button)) {
      EXPECT_GE(button->width(), button->sizeHint().width())
          << describe(*widget) << " " << button->text().toStdString();
    }
  }
  EXPECT_GT(checked, 30);

  // The two-line error of the folder whose access is no longer valid: both lines, nothing shortened.
  const auto errors = sidebar->findChildren<ui::WrappedTextLabel*>();
  const auto error = std::find_if(errors.begin(), errors.end(), [](ui::WrappedTextLabel* label) {
    return label->isVisibleTo(label->window()) && !label->text().isEmpty();
  });
  ASSERT_NE(error, errors.end());
  EXPECT_FALSE((*error)->isElided());
  EXPECT_EQ((*error)->displayedLinesForTest().join(QString()).remove(QLatin1Char(' ')),
            (*error)->text().remove(QLatin1Char(' ')));
  EXPECT_LE((*error)->displayedLinesForTest().size(), 2);
  // The count beside the library's state is one of the labels checked whole above.
  EXPECT_EQ(find<ui::LibrarySummaryRow>("sidebar.library.summary")->trailingText().toStdString(),
            text("library.imageCount.other", {std::string("120,435")}));

  // The controls at the trailing edge are on screen inside the column.
  for (const QString& name :
       {QStringLiteral("sidebar.library.actions"), ui::qtText(ui::accessibility_id::kSidebarFilterAddTag),
        QStringLiteral("sidebar.filter.modelClear"),
        ui::qtText(ui::accessibility_id::registeredFolderActionsIdentifier(
            "/home/ann/Pictures/ComfyUI outputs 2024"))}) {
    QWidget* control = find(name);
    ASSERT_NE(control, nullptr) << name.toStdString();
    EXPECT_TRUE(control->isVisibleTo(window.get())) << name.toStdString();
    scroll->ensureWidgetVisible(control);  // scrolled to, as a person would
    EXPECT_TRUE(QRect(QPoint(0, 0), viewport->size()).contains(rectIn(*control, *viewport)))
        << name.toStdString();
  }

  // With no saved tag, the hint in their place: whole, in lines of about even length, no short end
  // left alone under a full line. Japanese breaks between its phrases only, so at the narrowest
  // column its last line may hold a third of the first ("追加できます。"), never a word's end.
  FiltersModelTestAccess::setSavedFilterTags(store->filters(), {});
  settle();
  auto* hint = find<ui::WrappedTextLabel>("sidebar.filter.tagsEmptyHint");
  ASSERT_TRUE(hint->isVisibleTo(window.get()));
  EXPECT_GE(hint->height(), hint->heightForWidth(hint->width()));
  const QStringList lines = hint->displayedLinesForTest();
  EXPECT_EQ(lines.join(QString()).remove(QLatin1Char(' ')), hint->text().remove(QLatin1Char(' ')));
  if (lines.size() > 1) {
    EXPECT_GE(3 * lines.back().size(), lines.front().size()) << lines.join(QLatin1Char('|')).toStdString();
  }
  if (GetParam().language == ui::kJapaneseLanguage) {
    EXPECT_TRUE(ui::testing::endsBetweenPhrases(hint->text(), lines)) << lines.join('|').toStdString();
  }
}

TEST_P(SidebarColumnTest, TheTrailingControlsAnswerClicks) {
  // The folder's "…": its menu grants access again, which opens the picker for that folder.
  auto* folderActions = find<QToolButton>(ui::qtText(
      ui::accessibility_id::registeredFolderActionsIdentifier("/home/ann/Pictures/ComfyUI outputs 2024")));
  ASSERT_NE(folderActions, nullptr);
  clickMenuButton(*folderActions, [&](QMenu& menu) {
    Q_EMIT menu.aboutToShow();
    for (QAction* action : menu.actions()) {
      if (action->text() == ui::mnemonicSafe(ui::qtText(text("library.allowAccess")))) action->trigger();
    }
  });
  settle();
  ASSERT_EQ(picker.openings.size(), 1u);
  EXPECT_FALSE(picker.openings[0].allowsMultipleSelection);
  picker.answer(std::nullopt);
  settle();

  // "×" clears the model filter; the row then shows "›", and a click on it opens the model popover.
  auto* clear = find<QToolButton>("sidebar.filter.modelClear");
  QTest::mouseClick(clear, Qt::LeftButton, {}, clear->rect().center());
  settle();
  EXPECT_FALSE(store->filters().selectedModelSource().has_value());
  EXPECT_FALSE(clear->isVisibleTo(window.get()));
  auto* modelRow = find<ui::FilterRowButton>(ui::qtText(ui::accessibility_id::kSidebarFilterModel));
  ASSERT_NE(modelRow, nullptr);
  // The "›" is the last thing on the model's line: clicked there, whatever widget lies under it.
  QWidget* line = modelRow->parentWidget();
  sidebar->scrollAreaForTest()->ensureWidgetVisible(line);
  const QPoint chevron(line->width() - 5, line->height() / 2);
  QWidget* under = line->childAt(chevron);
  ASSERT_NE(under, nullptr);
  EXPECT_LE(rectIn(*line, *sidebar->scrollAreaForTest()->viewport()).right(),
            sidebar->scrollAreaForTest()->viewport()->width() - 1);
  QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(line, chevron));
  settle();
  EXPECT_TRUE(store->presentation().isModelSelectionPopoverPresented()) << "the \"›\" did nothing";
  store->presentation().setIsModelSelectionPopoverPresented(false);
  settle();

  // "+" opens the tag popover.
  auto* addTag = find<QToolButton>(ui::qtText(ui::accessibility_id::kSidebarFilterAddTag));
  QTest::mouseClick(addTag, Qt::LeftButton, {}, addTag->rect().center());
  settle();
  EXPECT_TRUE(store->presentation().isTagAdditionPopoverPresented());
  store->presentation().setIsTagAdditionPopoverPresented(false);
  settle();

  // The warning opens the sheet; each row gives its message and guidance every line they need.
  auto* warning = find<ui::WrappingLinkButton>("sidebar.library.failedFiles");
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(warning->accessibleName().toStdString(),
            text("library.failedFileCount.other", {std::int64_t{12}}));
  QTest::mouseClick(warning, Qt::LeftButton, {}, QPoint(warning->width() - 4, warning->height() / 2));
  settle();
  ui::ScanFailureDiagnosticsSheet* sheet = sidebar->scanFailureSheet();
  ASSERT_NE(sheet, nullptr);
  ASSERT_TRUE(sheet->isVisible());
  for (const ui::testing::DrawnText& drawn : ui::testing::drawnTexts(*sheet))
    EXPECT_TRUE(drawn.whole) << drawn.text.toStdString() << " loses its descenders";
  auto* list = findByName<QListView>(*sheet, "scanFailure.list");
  const QModelIndex first = list->model()->index(0, 0);
  const ui::ScanFailureRecoveryRow& row =
      static_cast<const ui::ScanFailureListModel*>(list->model())->rowAt(0);
  const int width = list->viewport()->width();
  const auto wrappedHeight = [width](const std::string& value) {
    return QFontMetrics(ui::roleFont(ui::FontRole::caption))
        .boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, ui::qtText(value))
        .height();
  };
  const int oneLine = QFontMetrics(ui::roleFont(ui::FontRole::caption)).height();
  // The row says what went wrong in a few words of the window's language; its English guidance
  // takes more than one line (the Japanese one fits on one).
  if (GetParam().language == ui::kEnglishLanguage) {
    ASSERT_GT(wrappedHeight(row.guidance), oneLine) << "the guidance of this case needs more than one line";
  }
  EXPECT_GE(list->visualRect(first).height(),
            QFontMetrics(ui::roleFont(ui::FontRole::subheadline)).height() + wrappedHeight(row.message) +
                wrappedHeight(row.guidance) + QFontMetrics(ui::roleFont(ui::FontRole::caption2)).height());
  sheet->reject();
  settle();
}

INSTANTIATE_TEST_SUITE_P(EnglishAndJapaneseAtTheMinimumAndDefaultWidth, SidebarColumnTest,
                         ::testing::Values(Column{"englishMinimum", ui::kEnglishLanguage, true},
                                           Column{"englishDefault", ui::kEnglishLanguage, false},
                                           Column{"japaneseMinimum", ui::kJapaneseLanguage, true},
                                           Column{"japaneseDefault", ui::kJapaneseLanguage, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lorvex::app
