#include "journey_steps.h"

#include <sqlite3.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QTest>
#include <QTextLayout>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "app/content_view.h"
#include "app/library_workspace.h"
#include "app/main_window.h"
#include "database/library_database_file.h"
#include "model/image_search_query.h"
#include "platform/file_lock.h"
#include "services/image_library_servicing.h"
#include "services/live_image_library_service.h"
#include "store/filters/filter_selection.h"
#include "store/image_library_store.h"
#include "store/store_idle.h"
#include "store/trash/trash_candidate_browser.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/app_localization.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/results/quick_look_preview_overlay.h"
#include "ui/results/results_grid_list_view.h"
#include "ui/review/trash_review_candidate_grid.h"
#include "ui/review/trash_summary_view.h"
#include "ui/sidebar/filter_row_list.h"
#include "ui/slideshow/slideshow_playback_rules.h"

namespace lorvex::journeys {

namespace {

namespace id = ui::accessibility_id;
using ui::ResultsGridListView;

QString name(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// ---- What the library holds, asked of the library itself ----

struct Filters {
  std::vector<std::string> tags{};
  std::optional<std::string> model{};
  std::vector<ImageAspectFilter> aspects{};
  bool onlyFavorites = false;
  bool deleteCandidates = false;  // the review's set instead of the normal results
};

// The images of the registered folder a search with `filters` finds; empty without a library.
std::vector<std::string> libraryPaths(Driver& d, const Filters& filters) {
  ImageLibraryStore& store = d.app().store();
  ImageSearchQuery query;
  query.filterTags = filters.tags;
  query.source = filters.model;
  query.aspectFilters = filters.aspects;
  if (filters.onlyFavorites) query.favorite = true;
  query.deleteCandidate = filters.deleteCandidates;
  query.rootPaths = {d.app().pictures().folder.string()};
  query.limit = 100'000;
  std::vector<std::string> paths;
  if (const std::shared_ptr<ImageLibraryServicing> service = store.context().service()) {
    for (const ImageRecord& record : service->searchImages(query, {})) paths.push_back(record.file.path);
  }
  return paths;
}

// How many images of the registered folder a search with `filters` finds.
int libraryCount(Driver& d, const Filters& filters) {
  if (d.app().store().context().service() == nullptr) return -1;
  return static_cast<int>(libraryPaths(d, filters).size());
}

// The filters the window shows as chips now.
Filters shownFilters(Driver& d) {
  const ImageLibraryStore& store = d.app().store();
  Filters filters;
  filters.tags = store.filters().selectedFilterTags();
  filters.model = store.filters().selectedModelSource();
  filters.aspects = store.filters().selectedAspectFilters();
  filters.onlyFavorites = store.filters().onlyFavorites();
  return filters;
}

// The number a text holds ("40 images", "40枚", "Registered, 1,234 images").
int numberIn(const QString& text) {
  QString digits;
  for (const QChar c : text) {
    if (c.isDigit()) digits += c;
  }
  return digits.isEmpty() ? -1 : digits.toInt();
}

// The number in the results header.
int statusCount(Driver& d) {
  auto* status = d.control<QLabel>("results.status");
  return status != nullptr ? numberIn(status->text()) : -1;
}

// Counts the presses that reach a widget while it lives.
struct WidgetPresses final : QObject {
  WidgetPresses() { QCoreApplication::instance()->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (watched->isWidgetType() && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick))
      ++count;
    return false;
  }
  int count = 0;
};

// ---- The grid ----

ResultsGridListView* grid(Driver& d) {
  return d.control<ResultsGridListView>("results.grid");
}

int gridRows(Driver& d) {
  auto* shown = qobject_cast<ResultsGridListView*>(d.shown("results.grid"));
  return shown != nullptr ? shown->gridModel().rowCount() : -1;
}

// The header's count, the grid's tiles and the library's own search agree, once the window has
// caught up with the filters it shows.
void countsMatch(Driver& d, const std::string& what) {
  const int expected = libraryCount(d, shownFilters(d));
  d.waitUntil([&] { return gridRows(d) == expected && !d.app().store().results().isLoading(); },
              what + ": the grid shows the " + std::to_string(expected) +
                  " images the library finds (it shows " + std::to_string(gridRows(d)) + ")");
  d.check(statusCount(d) == expected, what + ": the header counts " + std::to_string(statusCount(d)) +
                                          " images, the library finds " + std::to_string(expected));
}

// The row of the tile whose identifier names `fileName`, as automation finds a tile.
std::optional<int> tileRow(ResultsGridListView& view, const std::string& fileName) {
  const QString prefix = name(id::kResultTilePrefix) + QString::fromStdString(fileName) + ".";
  ui::ResultsGridModel& model = view.gridModel();
  for (int row = 0; row < model.rowCount(); ++row) {
    if (model.index(row).data(ui::ResultsGridModel::IdentifierRole).toString().startsWith(prefix)) return row;
  }
  return std::nullopt;
}

std::string pathAt(ResultsGridListView& view, int row) {
  const RecordRef& record = view.gridModel().recordAt(row);
  return record != nullptr ? record->file.path : std::string();
}

// The tile of `row` scrolled into view with the wheel, as a person scrolls to it: down while its
// centre lies below the viewport's last row of pixels, up while above its first. Both edges are the
// ones the on-screen test uses: a centre on the row just past the bottom is below, not above, or the
// wheel would turn up and down between two positions without ever showing it.
void scrollToTile(Driver& d, ResultsGridListView& view, int row) {
  const QRect shown = view.viewport()->rect();
  for (int turn = 0; turn < 40; ++turn) {
    const QRect tile = view.tileRect(row).toAlignedRect();
    if (shown.contains(tile.center())) return;
    d.wheel(view.viewport(), QPoint(0, tile.center().y() > shown.bottom() ? -120 : 120));
  }
}

// A click on the tile of `row`, scrolled into view first.
void clickTile(Driver& d, ResultsGridListView& view, int row,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  scrollToTile(d, view, row);
  const QRect tile = view.tileRect(row).toAlignedRect();
  d.check(view.viewport()->rect().contains(tile.center()),
          "the tile of row " + std::to_string(row) + " is on screen");
  d.click(view.viewport(), modifiers, tile.center());
}

// Whether the tile shows its image: a decoded picture has many colours, the placeholder a few.
bool tileShowsImage(ResultsGridListView& view, int row) {
  const QRect tile = view.tileRect(row).toAlignedRect().intersected(view.viewport()->rect());
  if (tile.isEmpty()) return false;
  const QImage shot = view.viewport()->grab(tile).toImage();
  std::set<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 2) {
    for (int x = 0; x < shot.width(); x += 2) colours.insert(shot.pixel(x, y));
  }
  return colours.size() > 24;
}

std::optional<std::string> primaryPath(Driver& d) {
  return d.app().store().results().selection().primaryPath();
}
std::size_t selectedCount(Driver& d) {
  return d.app().store().results().selection().effectiveSelectedPaths().size();
}

// ---- Popover lists ----

// The row of a popover's suggestion list whose text is `text`; nothing until it shows.
std::optional<int> suggestionRow(QListView& list, const QString& text) {
  for (int row = 0; row < list.model()->rowCount(); ++row) {
    if (list.model()->index(row, 0).data(Qt::DisplayRole).toString() == text) return row;
  }
  return std::nullopt;
}

void clickRow(Driver& d, QListView& list, int row) {
  list.scrollTo(list.model()->index(row, 0));
  d.click(list.viewport(), Qt::NoModifier, list.visualRect(list.model()->index(row, 0)).center());
}

// ---- The journeys ----

// A chip of the filter row, or Reset Filters: chips cut their titles in the middle at their width,
// Reset Filters shows whole. Scrolled into view with the wheel when the row is wider than the bar.
QWidget* chip(Driver& d, const QString& chipName, Driver::Where where = Driver::Where::current()) {
  const TextFit fit = chipName == QStringLiteral("results.filterReset") ? TextFit::whole : TextFit::mayElide;
  return d.control(chipName, {.fit = fit}, where);
}

// A caption that wraps never leaves the end of its sentence alone on its last line ("い。"), as the
// label lays its text out at its width.
void noLoneLastLine(Driver& d, const QString& captionName) {
  auto* caption = qobject_cast<QLabel*>(d.control(captionName));
  if (caption == nullptr) return;
  QTextLayout layout(caption->text(), caption->font());
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(caption->contentsRect().width());
    lines << caption->text().mid(line.textStart(), line.textLength()).trimmed();
  }
  layout.endLayout();
  d.check(lines.size() < 2 || lines.back().size() >= 3,
          Driver::nameOf(caption) + ": \"" + lines.back().toStdString() + "\" stands alone on its last line");
}

// Reset Filters shows whole beside the chips however many there are, with the row turned back to
// its start as a person leaves it after reading it; a row wider than its room shows so at its edge,
// and a click on that edge's chevron scrolls the row on without removing the chip under it.
void resetFiltersInReach(Driver& d, const std::string& when) {
  auto* row = qobject_cast<QScrollArea*>(d.shown("results.filterSummary.scroll"));
  if (!d.check(row != nullptr, when + ": the chips row shows")) return;
  const auto toStart = [&] {
    for (int turn = 0; turn < 40 && row->horizontalScrollBar()->value() > 0; ++turn) {
      d.wheel(row->viewport(), QPoint(0, 120));
    }
  };
  toStart();
  const std::vector<std::string> problems = d.unseen(d.shown("results.filterReset"));
  d.check(problems.empty(), when + ": Reset Filters is seen with the chips at their start" +
                                (problems.empty() ? std::string() : ": " + problems.front()));
  if (row->widget()->width() > row->viewport()->width()) {
    QWidget* cue = d.shown("results.filterSummary.more");
    if (!d.check(cue != nullptr, when + ": the chips row shows that more chips lie beyond its edge")) return;
    const FilterSelection filters = d.app().store().filters().selection();
    d.click(cue, Qt::NoModifier, QPoint(cue->width() - 7, cue->height() / 2));
    d.settle();
    d.check(row->horizontalScrollBar()->value() > 0 && d.app().store().filters().selection() == filters,
            when + ": a click on the chevron at the row's edge scrolls it and removes no chip");
    toStart();
  }
}

// Clicks on the trailing cue, more than there are chips to pass, with the pointer kept where it is:
// quick ones (each press within a double-click interval of the one before) and slow ones (each
// after the window has done with the one before, more than a double-click interval later). Either
// way the row goes to its end, the cue stays where it was, and no click removes a chip.
void cueClickedPastTheEnd(Driver& d, const std::string& when) {
  auto* row = qobject_cast<QScrollArea*>(d.shown("results.filterSummary.scroll"));
  if (!d.check(row != nullptr, when + ": the chips row shows")) return;
  if (row->widget()->width() <= row->viewport()->width()) return;  // every chip shows: no cue
  QScrollBar* bar = row->horizontalScrollBar();
  const FilterSelection filters = d.app().store().filters().selection();
  for (const bool quick : {true, false}) {
    for (int turn = 0; turn < 40 && bar->value() > 0; ++turn) d.wheel(row->viewport(), QPoint(0, 120));
    QWidget* cue = d.shown("results.filterSummary.more");
    if (!d.check(cue != nullptr && bar->value() < bar->maximum(), when + ": the row shows a cue at its end"))
      return;
    QWidget* top = cue->window();
    const QPoint at = cue->mapTo(top, QPoint(cue->width() - 7, cue->height() / 2));
    for (int click = 0; click < row->widget()->layout()->count() + 2; ++click) {
      if (quick && click > 0) QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;
      if (!quick) QTest::lastMouseTimestamp += QApplication::doubleClickInterval();
      QWidget* under = top->childAt(at);
      d.check(under == cue, when + ": the cue is under the pointer for click " + std::to_string(click + 1) +
                                " (" + Driver::nameOf(under) + " is)");
      QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, at);
      if (!quick) d.settle();
    }
    d.settle();
    d.check(bar->value() == bar->maximum() && d.app().store().filters().selection() == filters,
            when + (quick ? ": quick" : ": slow") +
                " clicks on the cue take the row to its end and remove no chip");
  }
  d.step("chipsAtTheirEnd");
}

void firstLaunch(Driver& d) {
  // An empty library: the grid says why it is empty and offers the folder picker, as the sidebar
  // does. (The journey benchmark starts over a library of its own.)
  if (d.app().store().library().registeredFolderSummaries().empty()) {
    d.control("results.empty");
    d.control("results.empty.chooseFolder");
    QWidget* addFolder = d.control(name(id::kSidebarLibraryAddFolder));
    d.step("empty");
    d.click(addFolder);
  } else {
    // Folders are registered: Add Folder is the first entry of the library section's menu.
    d.clickMenuEntry(d.control(name(id::kSidebarLibraryActions)), 0);
  }
  app::testing::ScriptedFolderPicker& picker = d.app().picker();
  if (!d.check(picker.openings.size() == 1, "Add Folder opens the folder picker once")) return;
  d.check(picker.openings.back().allowsMultipleSelection, "the picker lets several folders be chosen");
  std::vector<std::string> chosen{d.app().pictures().folder.string()};
  for (const std::filesystem::path& folder : d.app().pictures().alsoChosen) chosen.push_back(folder.string());
  picker.answer(chosen);

  // While the folder is read, the sidebar says what the library is doing.
  d.control("sidebar.library.summary");
  d.step("progress");

  const JourneyPictures& pictures = d.app().pictures();
  const int files = pictures.generated + pictures.copiedFixtures;
  ImageLibraryStore& store = d.app().store();
  if (pictures.alsoChosen.empty()) {
    d.waitUntil(
        [&] { return gridRows(d) == files && !store.library().isIndexing() && !store.results().isLoading(); },
        "every picture of the folder in the grid", std::chrono::seconds(120));
  } else {
    // The other folders go on being indexed.
    d.waitUntil([&] { return libraryCount(d, {}) == files; }, "every picture of the folder in the library",
                std::chrono::seconds(120));
  }
  countsMatch(d, "the folder's images");
  // The sidebar counts the folder's images too, as assistive technology reads it.
  QWidget* summary = d.control("sidebar.library.summary");
  d.check(summary != nullptr && numberIn(summary->accessibleName()) == libraryCount(d, {}),
          "the sidebar counts the images the library finds");
  d.check(shownFilters(d).tags.empty() && !d.shown("results.filterSummary"),
          "no filter chips on a first launch");

  // The first thumbnails: the newest generated picture, near the top, shows its image.
  ResultsGridListView* view = grid(d);
  if (view == nullptr) return;
  const std::optional<int> row = tileRow(*view, "夕焼け-04.png");
  if (!d.check(row.has_value(), "a tile for 夕焼け-04.png")) return;
  scrollToTile(d, *view, *row);
  d.waitUntil([&] { return tileShowsImage(*view, *row); }, "the thumbnail of 夕焼け-04.png");
  d.step("thumbnails");
}

// A click on the results header's empty space, between its count and its buttons.
void clickHeaderSpace(Driver& d) {
  QWidget* header = d.control("results.header");
  QWidget* status = d.control("results.status");
  QWidget* help = d.control("results.shortcutHelp");
  if (header == nullptr || status == nullptr || help == nullptr) return;
  const int left = status->mapTo(header, QPoint(status->width(), 0)).x();
  const int right = help->mapTo(header, QPoint(0, 0)).x();
  d.click(header, Qt::NoModifier,
          QPoint((left + right) / 2, status->mapTo(header, status->rect().center()).y()));
}

// The sort of `row` chosen from the header's menu with the mouse, its results shown.
void chooseSort(Driver& d, int row) {
  auto* sort = d.control<QComboBox>("results.sort");
  if (sort == nullptr) return;
  d.click(sort);
  auto* list = qobject_cast<QAbstractItemView*>(sort->view());
  if (!d.waitUntil([&] { return list != nullptr && list->isVisible(); }, "the sort menu to open")) return;
  d.click(list->viewport(), Qt::NoModifier, list->visualRect(list->model()->index(row, 0)).center());
  d.waitUntil([&] { return !list->isVisible() && sort->currentIndex() == row; }, "the sort to be chosen");
  countsMatch(d, "the sort chosen");
}

void browse(Driver& d) {
  ResultsGridListView* view = grid(d);
  if (view == nullptr || view->gridModel().rowCount() < 8) {
    d.check(false, "the grid holds the folder's images");
    return;
  }
  const int columns = view->keyboardColumns();
  clickTile(d, *view, 0);
  d.check(primaryPath(d) == pathAt(*view, 0), "a click on the first tile focuses it");
  d.press(Qt::Key_Right);
  d.check(primaryPath(d) == pathAt(*view, 1), "Right focuses the second tile");
  d.press(Qt::Key_Down);
  d.check(primaryPath(d) == pathAt(*view, 1 + columns),
          "Down moves by the " + std::to_string(columns) + " columns shown");
  d.press(Qt::Key_Up);
  d.check(primaryPath(d) == pathAt(*view, 1), "Up comes back");
  d.check(QApplication::focusWidget() == view, "the grid has the keyboard");
  d.control("detail.panel");
  d.step("focused");

  // Space shows the focused image over the window; Right steps on; Escape closes it.
  d.press(Qt::Key_Space);
  d.control("quickLook.image", {.fit = TextFit::mayElide});
  d.step("preview");
  d.press(Qt::Key_Right);
  d.check(primaryPath(d) == pathAt(*view, 2), "Right in the preview shows the next image");
  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return d.shown("quickLook.image") == nullptr; }, "the preview to close");
  d.check(QApplication::focusWidget() == view, "the grid has the keyboard again after the preview");

  // Shift extends from the focused tile, Ctrl adds one more.
  d.press(Qt::Key_Right, Qt::ShiftModifier);
  d.press(Qt::Key_Right, Qt::ShiftModifier);
  d.check(selectedCount(d) == 3,
          "Shift+Right twice selects three tiles (" + std::to_string(selectedCount(d)) + ")");
  clickTile(d, *view, 6, Qt::ControlModifier);
  d.check(selectedCount(d) == 4, "Ctrl+click adds a fourth (" + std::to_string(selectedCount(d)) + ")");
  clickTile(d, *view, 6, Qt::ControlModifier);
  d.check(selectedCount(d) == 3, "a second Ctrl+click takes it out again");
  clickTile(d, *view, 4, Qt::ShiftModifier);
  d.check(selectedCount(d) >= 3, "Shift+click extends the selection to the clicked tile");
  d.step("selection");

  // Clicks in the header leave the grid every one of its keys: on its count, on its empty space, and a
  // sort chosen from its menu. D marks the focused image and Ctrl+Z takes the mark back, Space
  // previews the image focused then; the sort chosen back, an arrow moves on.
  clickTile(d, *view, 2);
  auto* sort = d.control<QComboBox>("results.sort");
  const int sortBefore = sort != nullptr ? sort->currentIndex() : 0;
  d.click(d.control("results.status"));
  clickHeaderSpace(d);
  chooseSort(d, sortBefore == 0 ? 1 : 0);
  const std::optional<std::string> marked = primaryPath(d);
  d.press(Qt::Key_D);
  d.check(marked && libraryPaths(d, {.deleteCandidates = true}) == std::vector{*marked},
          "D after clicks in the header marks the focused image");
  d.press(Qt::Key_Z, Qt::ControlModifier);
  d.check(libraryCount(d, {.deleteCandidates = true}) == 0, "Ctrl+Z after clicks in the header unmarks it");
  const std::optional<std::string> previewed = primaryPath(d);
  d.press(Qt::Key_Space);
  auto* preview = qobject_cast<ui::QuickLookPreviewOverlay*>(d.shown("quickLookPreview"));
  d.check(preview != nullptr && previewed && preview->path() == *previewed,
          "Space after clicks in the header previews the focused image");
  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return d.shown("quickLook.image") == nullptr; }, "the preview to close");
  d.waitUntil([&] { return d.shown("review.deleteCandidate.feedback") == nullptr; },
              "the banner to leave the header");
  chooseSort(d, sortBefore);
  clickTile(d, *view, 2);
  d.press(Qt::Key_Right);
  d.check(primaryPath(d) == pathAt(*view, 3), "an arrow moves the focus");
  d.step("keysAfterHeaderClicks");

  // A choice clicked in a tile's context menu (the first tile's favourite, on, then off) leaves the
  // grid its keys.
  const auto chooseFavorite = [&] {
    scrollToTile(d, *view, 0);
    d.clickMenuEntry(view->viewport(), 1, view->tileRect(0).center().toPoint(), Qt::RightButton);
  };
  chooseFavorite();
  d.press(Qt::Key_Space);
  d.check(d.shown("quickLook.image") != nullptr, "Space after a context-menu choice opens the preview");
  d.press(Qt::Key_Escape);
  chooseFavorite();
  d.press(Qt::Key_Delete);
  d.check(libraryCount(d, {.deleteCandidates = true}) == 1, "Delete after a context-menu choice marks");
  d.press(Qt::Key_Z, Qt::ControlModifier);
  d.check(libraryCount(d, {.deleteCandidates = true}) == 0, "Ctrl+Z then unmarks");
  d.press(Qt::Key_A, Qt::ControlModifier);
  d.check(static_cast<int>(selectedCount(d)) == gridRows(d), "Ctrl+A then selects every image");
  d.step("afterContextMenu");
}

void tags(Driver& d) {
  d.click(d.control(name(id::kSidebarFilterAddTag)));
  // The popovers are deleted once closed.
  QPointer<QWidget> popover = d.control("tagPopover.panel");
  if (popover == nullptr) return;
  d.step("popover");

  // A tag typed into the custom field and Return: it is saved in the sidebar and filters.
  d.click(d.control(name(id::kTagPopoverCustomTagField), {.within = popover}));
  d.type(QStringLiteral("cat ears"));
  d.press(Qt::Key_Return);
  d.check(popover != nullptr && popover->isVisible(),
          "Return in the custom tag field keeps the popover open");
  chip(d, QStringLiteral("results.filterChip.tag:cat ears"));
  d.control(QString::fromStdString(id::savedFilterTagIdentifier("cat ears")), {.fit = TextFit::mayElide});

  // A suggestion found by typing and clicked.
  d.click(d.control(name(id::kTagPopoverSearchField), {.within = popover}));
  d.type(QStringLiteral("smile"));
  auto* list = d.control<QListView>("tagPopover.list", {.within = popover});
  if (list == nullptr) return;
  std::optional<int> row;
  d.waitUntil([&] { return (row = suggestionRow(*list, QStringLiteral("smile"))).has_value(); },
              "the suggestion \"smile\"");
  if (!row) return;
  clickRow(d, *list, *row);
  chip(d, QStringLiteral("results.filterChip.tag:smile"));

  // Return in the search field adds what was typed, as the shortcut sheet says.
  d.click(d.control(name(id::kTagPopoverSearchField), {.within = popover}));
  d.press(Qt::Key_A, Qt::ControlModifier);
  d.type(QStringLiteral("night sky"));
  d.press(Qt::Key_Return);
  chip(d, QStringLiteral("results.filterChip.tag:night sky"));
  d.waitUntil(
      [&] { return list->isVisible() && suggestionRow(*list, QStringLiteral("night sky")).has_value(); },
      "the suggestion \"night sky\", marked as filtering");
  d.step("added");

  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return popover == nullptr || !popover->isVisible(); }, "the tag popover to close");
  // The tag button has the keyboard back, on purpose: none of the grid's keys acts, not even the
  // window-wide D.
  QWidget* addTag = d.control(name(id::kSidebarFilterAddTag));
  d.waitUntil([&] { return addTag != nullptr && QApplication::focusWidget() == addTag; },
              "the keyboard to come back to the tag button");
  const std::optional<std::string> focused = primaryPath(d);
  d.press(Qt::Key_D);
  d.press(Qt::Key_Right);
  d.check(libraryCount(d, {.deleteCandidates = true}) == 0 && primaryPath(d) == focused,
          "with the keyboard on the tag button, neither D nor an arrow acts on the grid");
  d.control("results.filterSummary");
  chip(d, QStringLiteral("results.filterReset"));
  countsMatch(d, "three tag filters");
  d.step("chips");
}

void filters(Driver& d) {
  // The model: its popover, the first model, Done.
  d.click(d.control(name(id::kSidebarFilterModel), {.fit = TextFit::mayElide}));
  QPointer<QWidget> popover = d.control("modelPopover.panel");
  if (popover == nullptr) return;
  auto* list = d.control<QListView>("modelPopover.list", {.within = popover});
  if (list == nullptr) return;
  d.waitUntil([&] { return list->model()->rowCount() > 0; }, "the model suggestions");
  if (list->model()->rowCount() == 0) return;
  clickRow(d, *list, 0);
  d.waitUntil([&] { return d.app().store().filters().selectedModelSource().has_value(); },
              "the model filter");
  d.step("model");
  d.click(d.control("modelPopover.done", {.within = popover}));
  d.waitUntil([&] { return popover == nullptr || !popover->isVisible(); }, "the model popover to close");
  chip(d, QStringLiteral("results.filterChip.model"));
  countsMatch(d, "the model filter");

  d.click(d.control(name(id::kSidebarFilterAspectPrefix) + "portrait"));
  chip(d, QStringLiteral("results.filterChip.aspect:portrait"));
  countsMatch(d, "the portrait filter");
  d.step("aspect");

  // Favourites only, with none yet: the empty grid says so and offers the reset.
  d.click(d.control(name(id::kSidebarFilterFavoriteOnly)));
  chip(d, QStringLiteral("results.filterChip.favorite"));
  countsMatch(d, "the favourites filter");
  resetFiltersInReach(d, "six filter chips");
  cueClickedPastTheEnd(d, "six filter chips");
  d.control("results.empty");
  d.step("favorites");

  // One chip removed: the favourites come off, the rest stay.
  d.click(chip(d, QStringLiteral("results.filterChip.favorite")));
  d.waitUntil([&] { return d.shown("results.filterChip.favorite") == nullptr; }, "the favourites chip to go");
  d.check(!d.app().store().filters().onlyFavorites(), "the favourites chip clears that filter");
  chip(d, QStringLiteral("results.filterChip.model"));
  countsMatch(d, "one chip removed");
  d.step("chipRemoved");

  d.click(chip(d, QStringLiteral("results.filterReset")));
  d.waitUntil([&] { return d.shown("results.filterSummary") == nullptr; },
              "the chips to go after Reset Filters");
  countsMatch(d, "Reset Filters");
  d.step("reset");
}

void marks(Driver& d) {
  ResultsGridListView* view = grid(d);
  if (view == nullptr) return;
  const int all = view->gridModel().rowCount();
  clickTile(d, *view, 0);
  const std::string first = pathAt(*view, 0);

  // F marks the focused image a favourite.
  d.press(Qt::Key_F);
  d.waitUntil([&] { return libraryCount(d, {.onlyFavorites = true}) == 1; }, "F to make one favourite");
  d.step("favorite");

  // D marks it for deletion: it leaves the results and the banner offers Undo.
  d.press(Qt::Key_D);
  QWidget* banner = d.control("review.deleteCandidate.feedback");
  d.control("review.deleteCandidate.feedback.message");
  d.waitUntil([&] { return gridRows(d) == all - 1; }, "the marked image to leave the grid");
  d.step("banner");
  d.click(d.control("review.deleteCandidate.feedback.undo", {.within = banner}));
  d.waitUntil([&] { return gridRows(d) == all; }, "Undo to bring the image back");
  d.check(libraryCount(d, {.deleteCandidates = true}) == 0, "the banner's Undo unmarks it");

  // The keyboard is the grid's again: Delete marks the focused image, Ctrl+Z brings it back.
  d.check(QApplication::focusWidget() == view, "the grid has the keyboard after the banner's Undo (it is " +
                                                   Driver::nameOf(QApplication::focusWidget()) + ")");
  d.press(Qt::Key_Delete);
  d.waitUntil([&] { return gridRows(d) == all - 1; },
              "Delete after the banner's Undo to mark the focused image");
  d.control("review.deleteCandidate.feedback");
  d.press(Qt::Key_Z, Qt::ControlModifier);
  d.waitUntil([&] { return gridRows(d) == all; }, "Ctrl+Z to bring it back");

  // Two images marked, then a double-click on the banner's Undo: once with both clicks landing
  // while its restore is held (every thread of the pool kept busy), once with the restore applied
  // between them. The banner stays, its Undo in place and disabled, until the restore is applied;
  // then the newer marking alone is back, and the second click reached nothing under the banner.
  d.press(Qt::Key_D);
  d.waitUntil([&] { return gridRows(d) == all - 1; }, "D to mark the focused image");
  const auto restoreRuns = [&] { return bool(d.app().store().review().deleteCandidateRestoreTask()); };
  for (const bool held : {true, false}) {
    d.press(Qt::Key_D);
    d.waitUntil([&] { return gridRows(d) == all - 2; }, "D to mark one more");
    banner = d.control("review.deleteCandidate.feedback");
    auto* undo = d.control<QAbstractButton>("review.deleteCandidate.feedback.undo", {.within = banner});
    if (undo == nullptr) return;
    QThreadPool& pool = d.app().store().context().userInitiatedPool();
    const auto gate = std::make_shared<QSemaphore>();
    for (int thread = 0; held && thread < pool.maxThreadCount(); ++thread)
      pool.start([gate] { gate->acquire(); });
    QWindow* window = banner->window()->windowHandle();
    const QPoint at = undo->mapTo(banner->window(), undo->rect().center());
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    if (!held)
      d.waitUntil([&] { return !restoreRuns() && d.shown("review.deleteCandidate.feedback") == nullptr; },
                  "the restore to be applied before the second click", std::chrono::seconds(10));
    WidgetPresses presses;
    QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;  // the next click makes a double-click
    QTest::mouseClick(window, Qt::LeftButton, {}, at, 40);
    if (held)
      d.check(restoreRuns() && undo->isVisible() && !undo->isEnabled() && d.seen(banner),
              "while the restore runs the banner stays, its Undo in place and disabled");
    gate->release(pool.maxThreadCount());
    d.waitUntil([&] { return !restoreRuns(); }, "the restore to be applied", std::chrono::seconds(10));
    d.settle();
    d.check(libraryCount(d, {.deleteCandidates = true}) == 1 && gridRows(d) == all - 1 &&
                d.shown("review.deleteCandidate.feedback") == nullptr,
            "a double-click on Undo takes back the newer marking alone, and the banner goes then");
    d.check(presses.count == 0, "the second click on Undo reaches nothing under the banner (it reached " +
                                    std::to_string(presses.count) + " widgets)");
  }
  d.step("undoneOnce");
  d.press(Qt::Key_Z, Qt::ControlModifier);
  d.waitUntil([&] { return gridRows(d) == all; }, "Ctrl+Z to take back the older one");
  clickTile(d, *view, 0);

  // And on with the keyboard: two images marked together.
  d.check(primaryPath(d) == first, "the focus stays on the image brought back");
  d.press(Qt::Key_Right);
  d.press(Qt::Key_Right, Qt::ShiftModifier);
  d.check(selectedCount(d) == 2, "Shift+Right selects two");
  d.press(Qt::Key_Delete);
  d.waitUntil([&] { return libraryCount(d, {.deleteCandidates = true}) == 2; }, "Delete to mark the two");
  d.waitUntil([&] { return gridRows(d) == all - 2; }, "the two to leave the grid");
  d.control("review.deleteCandidate.feedback");
  d.step("marked");
}

void review(Driver& d) {
  const std::vector<std::string> marked = libraryPaths(d, {.deleteCandidates = true});
  if (!d.check(marked.size() == 2, "two images are marked for the Trash")) return;

  d.click(d.control("deleteCandidateReview.toolbarAction"));
  QPointer<QWidget> sheet = d.control("deleteCandidateReview");
  auto* tiles = d.control<QListView>("deleteCandidateReview.candidateGrid", {.within = sheet});
  if (sheet == nullptr || tiles == nullptr) return;
  d.waitUntil([&] { return tiles->model()->rowCount() == 2; }, "the two candidates in the review");
  noLoneLastLine(d, "deleteCandidateReview.action.trashSelected.disabledReason");
  d.step("sheet");

  // A click selects the first tile; Right and Return select the second from the keyboard; each
  // tile tells assistive technology whether it is selected.
  const auto tileSelected = [&](int row) {
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(tiles);
    QAccessibleInterface* cell = grid != nullptr ? grid->child(row) : nullptr;
    return cell != nullptr && cell->state().selected;
  };
  d.click(tiles->viewport(), Qt::NoModifier, tiles->visualRect(tiles->model()->index(0, 0)).center());
  d.check(tileSelected(0), "a clicked tile reads as selected");
  d.check(!tileSelected(1), "the other does not");
  d.press(Qt::Key_Right);
  d.press(Qt::Key_Return);
  d.check(tileSelected(1), "Return selects the focused tile");
  d.press(Qt::Key_Return);
  d.check(!tileSelected(1), "Return again unselects it");
  d.press(Qt::Key_Enter);
  d.check(tileSelected(1), "and Enter selects it again");
  d.step("selected");

  d.click(d.control("deleteCandidateReview.action.trashSelected", {.within = sheet}));
  QWidget* confirmation = d.control("deleteCandidateReview.confirmation");
  // Wide enough for the window manager to show its title whole, bold, beside three buttons.
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  if (confirmation != nullptr) {
    const int needed = QFontMetrics(titleFont).horizontalAdvance(confirmation->windowTitle()) + 3 * 32;
    d.check(confirmation->width() >= needed, "the confirmation is " + std::to_string(confirmation->width()) +
                                                 " px wide, its title needs " + std::to_string(needed));
  }
  d.step("confirmation");
  d.click(d.control("deleteCandidateReview.confirmation.destructiveAction", {.within = confirmation}));

  const std::filesystem::path trash = d.app().trashFiles();
  d.waitUntil(
      [&] {
        return std::all_of(marked.begin(), marked.end(), [&](const std::string& path) {
          return !std::filesystem::exists(path) &&
                 std::filesystem::exists(trash / std::filesystem::path(path).filename());
        });
      },
      "both files to be in the home's Trash (" + trash.string() + ")");
  // The sheet reports the move; once it has ended (not before) Escape closes the sheet.
  d.control("deleteCandidateReview.summary.headline", {.within = sheet});
  d.waitUntil([&] { return !d.app().store().trash().isTrashingDeleteCandidates(); },
              "the move to the Trash to end");
  d.step("trashed");
  if (sheet != nullptr && sheet->isVisible()) d.press(Qt::Key_Escape);
  d.waitUntil([&] { return sheet == nullptr || !sheet->isVisible(); }, "the review sheet to close");
  countsMatch(d, "after the move to the Trash");
}

// Runs the window's events until the item view's delayed scroll of a tile just pressed would have
// run: Qt starts it at the press, a double-click interval and 100 ms long, and lets such a timer run
// up to a twentieth late. A timer of our own, started after that press and due later than that, fires
// in the same turn as Qt's or after it, however loaded the machine is.
void letDelayedScrollRun(Driver& d) {
  QTimer after;
  after.setTimerType(Qt::PreciseTimer);
  after.setSingleShot(true);
  bool passed = false;
  QObject::connect(&after, &QTimer::timeout, [&passed] { passed = true; });
  after.start((QApplication::doubleClickInterval() + 100) * 11 / 10 + 1);
  d.waitUntil([&] { return passed; }, "the item view's delayed scroll to have had its turn");
}

// The review's grid, its selection cleared and scrolled to show a row cut at its top and one at its
// bottom: a click, a Ctrl-click and a Shift-click on them select exactly those two images, and none
// moves the tiles, at once or once the item view's delayed scroll would have run (the outcome above
// the footer takes each selection in without a change of its height).
void clickTilesAtTheEdges(Driver& d, QListView& tiles) {
  d.click(d.control("deleteCandidateReview.clearSelection", {.within = tiles.window()}));
  QScrollBar* bar = tiles.verticalScrollBar();
  for (int turn = 0; turn < 40 && bar->value() < bar->maximum(); ++turn) d.wheel(&tiles, QPoint(0, -120));
  // Back from the end by a little at a time, until the last row is cut at the bottom.
  const int height = tiles.viewport()->height();
  const int x = tiles.visualRect(tiles.model()->index(0, 0)).center().x();
  const auto bottomRect = [&] { return tiles.visualRect(tiles.indexAt(QPoint(x, height - 3))); };
  for (int turn = 0; turn < 40 && bar->value() > 0 && bottomRect().bottom() < height; ++turn)
    d.wheel(&tiles, QPoint(0, 4));
  const QModelIndex top = tiles.indexAt(QPoint(x, 2));
  const QModelIndex bottom = tiles.indexAt(QPoint(x, height - 3));
  const QRect topRect = tiles.visualRect(top);
  if (!d.check(top.isValid() && bottom.isValid() && topRect.top() < 0 && bottomRect().bottom() >= height,
               "the review's grid shows a tile cut at its top and one cut at its bottom"))
    return;
  const int scrolled = bar->value();
  const auto pathOf = [](const QModelIndex& index) {
    return index.data(ui::TrashReviewCandidateModel::PathRole).toString().toStdString();
  };
  const PathSet meant{pathOf(top), pathOf(bottom)};
  const QPoint onTop(x, topRect.bottom() / 2);
  const QPoint onBottom(x, (bottomRect().top() + height) / 2);
  // The bottom tile toggled three times: selected in the end.
  for (const auto& [at, modifiers] : {std::pair{onTop, Qt::KeyboardModifiers(Qt::NoModifier)},
                                      {onBottom, Qt::ControlModifier},
                                      {onBottom, Qt::ShiftModifier},
                                      {onBottom, Qt::NoModifier}}) {
    d.click(tiles.viewport(), modifiers, at);
    const int atOnce = bar->value();
    letDelayedScrollRun(d);
    d.check(atOnce == scrolled && bar->value() == scrolled,
            "a click on a tile leaves the grid where it was (it moved from " + std::to_string(scrolled) +
                " to " + std::to_string(atOnce) + " at once, to " + std::to_string(bar->value()) + " later)");
  }
  d.check(d.app().store().trash().trashReviewBrowser().selectedPaths() == meant,
          "exactly the two clicked images are selected");
  d.step("edgeTilesSelected");
}

// A move the Trash cannot take says why: with a file where the home's Trash goes (which refuses root
// too), the failure's line and its recovery row tell the kind in the window's language, then the
// system's reason and its name. With the Trash back, Retry moves it.
void trashRefused(Driver& d) {
  namespace fs = std::filesystem;
  ResultsGridListView* view = grid(d);
  if (view == nullptr) return;
  const std::optional<int> row = tileRow(*view, "portrait-07.png");
  if (!d.check(row.has_value(), "a tile for portrait-07.png")) return;
  const fs::path path = pathAt(*view, *row);
  // Marked with the other portraits but the favourite, enough tiles for the review to scroll:
  // chosen with Ctrl and marked from the context menu (the window has no keyboard focus once the
  // review sheet closed).
  const std::vector<std::string> favorites = libraryPaths(d, {.onlyFavorites = true});
  const std::string favorite = favorites.empty() ? std::string() : favorites.front();
  clickTile(d, *view, *row);
  for (int other = 0; other < view->gridModel().rowCount(); ++other) {
    const std::string otherPath = pathAt(*view, other);
    const std::string fileName = fs::path(otherPath).filename().string();
    if (other != *row && otherPath != favorite && fileName.starts_with("portrait-"))
      clickTile(d, *view, other, Qt::ControlModifier);
  }
  const int marking = static_cast<int>(selectedCount(d));
  // Several images have no Show in Folder: marking is the menu's second entry.
  scrollToTile(d, *view, *row);
  d.clickMenuEntry(view->viewport(), 1, view->tileRect(*row).center().toPoint(), Qt::RightButton);
  d.waitUntil([&] { return libraryCount(d, {.deleteCandidates = true}) == marking; },
              "the menu to mark them");
  const fs::path trash = d.app().trashFiles().parent_path();
  fs::rename(trash, trash.string() + ".kept");
  std::ofstream(trash) << "not a folder";

  d.click(d.control("deleteCandidateReview.toolbarAction"));
  QPointer<QWidget> sheet = d.control("deleteCandidateReview");
  auto* tiles = d.control<QListView>("deleteCandidateReview.candidateGrid", {.within = sheet});
  d.waitUntil([&] { return tiles != nullptr && tiles->model()->rowCount() == marking; },
              "the candidates in the review");
  const auto moveAll = [&](const char* name) {  // once no scan holds the button back
    QWidget* button = d.control(name, {.within = sheet});
    d.waitUntil([&] { return button == nullptr || button->isEnabled(); }, std::string(name) + " enabled");
    d.click(button);
    d.click(d.control("deleteCandidateReview.confirmation.destructiveAction",
                      {.within = d.control("deleteCandidateReview.confirmation")}));
    d.waitUntil([&] { return !d.app().store().trash().isTrashingDeleteCandidates(); }, "the move to end");
  };
  moveAll("deleteCandidateReview.action.trashLoaded");
  std::string reason = ui::AppLocalization::live().lookup("error.trash.unavailable");
  reason.resize(reason.size() - (reason.ends_with("。") ? 3 : 1));  // its closing full stop
  reason += ": " + std::string(std::strerror(ENOTDIR)) + " (ENOTDIR)";
  auto* line = d.control<QLabel>("deleteCandidateReview.summary.failure.0", {.fit = TextFit::mayElide});
  d.check(fs::exists(path) && line && line->accessibleName().toStdString().starts_with("portrait-") &&
              line->accessibleName().toStdString().ends_with(".png: " + reason),
          "the files stay and a line says why: " + (line ? line->accessibleName().toStdString() : ""));
  d.step("refused");
  if (tiles != nullptr) clickTilesAtTheEdges(d, *tiles);

  d.click(d.control("deleteCandidateReview.recovery.details", {.within = sheet}));
  auto* failures = d.control<QListView>("deleteCandidateReview.recovery.failures");
  const QModelIndex failure = failures ? failures->model()->index(0, 0) : QModelIndex();
  const QString message = failure.data(ui::TrashFailureRecoveryListModel::MessageRole).toString();
  d.check(failures && failures->viewport()->rect().contains(failures->visualRect(failure)) &&
              message.toStdString() == reason,
          "the recovery sheet shows the row whole, saying why: " + message.toStdString());
  d.step("recoveryRow");
  d.press(Qt::Key_Escape);

  fs::remove(trash);
  fs::rename(trash.string() + ".kept", trash);
  moveAll("deleteCandidateReview.recovery.retryFailed");
  d.check(fs::exists(trash / "files" / path.filename()), "Retry moves the portrait to the Trash");
  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return sheet == nullptr || !sheet->isVisible(); }, "the review sheet to close");
  countsMatch(d, "after the retry");
}

void slideshow(Driver& d) {
  d.click(d.control("results.slideshow"));
  QPointer<QWidget> window = d.control(name(ui::accessibility_id::kSlideshowWindow));
  auto* position = d.control<QLabel>(name(ui::accessibility_id::kSlideshowPosition));
  if (window == nullptr || position == nullptr) return;
  // Behind it, the header's sort menu and slideshow button, now saying stop, keep their spacing.
  if (QWidget* sort = d.shown("results.sort"), *stop = d.shown("results.slideshow"); sort && stop) {
    const int gap =
        stop->mapTo(stop->window(), QPoint()).x() - sort->mapTo(sort->window(), QPoint()).x() - sort->width();
    d.check(gap >= 8, "the sort menu and the slideshow button are " + std::to_string(gap) + " px apart");
  }
  d.step("open");
  const QString before = position->text();
  d.press(Qt::Key_Right);
  d.waitUntil([&] { return position->text() != before; }, "Right to show the next image");
  d.press(Qt::Key_Space);
  d.press(Qt::Key_Up);
  d.control(name(ui::accessibility_id::kSlideshowControls));
  d.step("keys");
  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return window == nullptr || !window->isVisible(); }, "Escape to close the slideshow");
  d.check(!d.app().store().presentation().isSlideshowPresented(), "the store knows the slideshow closed");
}

void relaunch(Driver& d) {
  // Things a person leaves behind: the inspector closed, a saved tag, a favourite, the folder.
  QWidget* inspectorToggle = d.control("imageDetailPanel");
  d.click(inspectorToggle);
  d.waitUntil([&] { return d.shown("detail.panel") == nullptr; }, "the inspector to close");
  const int rows = gridRows(d);
  const QSize size = d.app().window().size();
  d.step("beforeQuit");

  // Ctrl+Q quits from under a sheet as the menu's Quit does: the window closes, keeping its state.
  d.click(d.control("results.shortcutHelp"));
  QPointer<QWidget> sheet = d.control("shortcutHelp");
  d.step("sheetBeforeQuit");
  bool closed = false;
  const QMetaObject::Connection closing =
      QObject::connect(&d.app().window(), &app::MainWindow::closed, [&closed] { closed = true; });
  d.press(Qt::Key_Q, Qt::ControlModifier);
  QObject::disconnect(closing);
  d.check(sheet != nullptr && closed && !d.app().window().isVisible(),
          "Ctrl+Q under the shortcut help closes the window as Quit does");
  d.check(d.app().quit(), "quitting leaves no library work running");
  // Until the folder list is read the window does not yet know it holds a folder: it never greets
  // the person as on a first launch meanwhile.
  bool welcomed = false;
  d.app().start(std::nullopt);
  const bool ended = d.app().waitForLaunch([&] {
    welcomed =
        welcomed || d.shown(name(id::kSidebarLibraryAddFolder)) || d.shown("results.empty.chooseFolder");
  });
  if (!d.check(ended, "the second launch ends")) return;
  d.check(!welcomed, "the relaunch shows no first-run welcome before its folder list is read");
  d.waitUntil([&] { return gridRows(d) == rows; },
              "the same " + std::to_string(rows) + " images after the relaunch");
  countsMatch(d, "after the relaunch");
  d.check(d.shown("detail.panel") == nullptr, "the inspector stays closed");
  d.control(QString::fromStdString(id::savedFilterTagIdentifier("cat ears")), {.fit = TextFit::mayElide});
  d.check(libraryCount(d, {.onlyFavorites = true}) == 1, "the favourite stays");
  d.check(d.app().window().size() == size, "the window opens at the size it was left at");
  d.step("relaunched");
  // The window still works: the inspector opens again.
  d.click(d.control("imageDetailPanel"));
  d.control("detail.panel");

  // Help > Acknowledgments opens inside the screen; Escape closes it.
  QMenuBar* bar = d.app().window().menuBar();
  d.clickMenuEntry(bar, 1, bar->actionGeometry(bar->findChild<QMenu*>("menu.help")->menuAction()).center());
  QWidget* acknowledgments = d.control("acknowledgments");
  if (acknowledgments == nullptr) return;
  d.check(acknowledgments->screen()->availableGeometry().contains(acknowledgments->frameGeometry()),
          "the acknowledgments window opens inside the screen's available area");
  d.step("acknowledgments");
  d.press(Qt::Key_Escape);
  d.check(!acknowledgments->isVisible(), "Escape closes the acknowledgments window");
}

// Folders renamed under the open window: the focused image's subfolder, then the registered folder
// and back. The focus stays on its image, the folder's row follows each name, and a picture saved
// into the folder afterwards shows up.
void folderRenamed(Driver& d) {
  namespace fs = std::filesystem;
  ResultsGridListView* view = grid(d);
  fs::path folder = d.app().pictures().folder;
  // Two new pictures saved in the same instant, kept.png in a subfolder and its peer beside it.
  fs::create_directory(folder / "sub");
  for (const fs::path& picture : {folder / "sub" / "kept.png", folder / "peer.png"}) {
    fs::copy_file(folder / "landscape-01.png", picture);
    std::ofstream(picture, std::ios::app) << picture.string();  // content of its own
    fs::last_write_time(picture, fs::last_write_time(folder / "landscape-01.png") + std::chrono::hours(1));
    d.waitUntil([&] { return view != nullptr && tileRow(*view, picture.filename().string()); },
                picture.filename().string() + " to show up");
  }
  if (!view || !tileRow(*view, "kept.png")) return;
  clickTile(d, *view, *tileRow(*view, "kept.png"));
  fs::rename(folder / "sub", folder / "sub renamed");
  d.waitUntil([&] { return primaryPath(d) == (folder / "sub renamed" / "kept.png").string(); },
              "the focus to stay on kept.png in its renamed folder");
  for (const std::string newName : {"Lorvex renamed", "Lorvex"}) {
    fs::rename(folder, folder.parent_path() / newName);
    folder = folder.parent_path() / newName;
    const QString folderRow = QString::fromStdString(id::registeredFolderActionsIdentifier(folder.string()));
    d.waitUntil([&] { return d.shown(folderRow) != nullptr && d.unseen(d.shown(folderRow)).empty(); },
                "the folder's row under the name " + newName);
    d.control(folderRow);
    const std::string saved = "saved in " + newName + ".png";
    fs::copy_file(folder / "landscape-01.png", folder / saved);
    d.waitUntil([&] { return tileRow(*view, saved).has_value(); }, saved + " to show up");
    d.check(primaryPath(d) == (folder / "sub renamed" / "kept.png").string(), "the focus stays on kept.png");
    d.step(newName == "Lorvex" ? "renamedBack" : "renamed");
  }

  // An image with a newer copy, focused beside peer.png: renamed or deleted, the focus skips the copy.
  const fs::path twin = folder / "twin.png";
  const fs::path renamed = folder / "twin renamed.png";
  const std::string peer = (folder / "peer.png").string();
  fs::copy_file(folder / "landscape-01.png", twin);
  std::ofstream(twin, std::ios::app) << "twin";
  fs::copy_file(twin, folder / "twin copy.png");
  fs::last_write_time(folder / "twin copy.png", fs::last_write_time(twin) + std::chrono::hours(2));
  d.waitUntil([&] { return tileRow(*view, "twin.png") && tileRow(*view, "twin copy.png"); },
              "twin.png and its copy to show up");
  clickTile(d, *view, tileRow(*view, "peer.png").value_or(0));
  clickTile(d, *view, tileRow(*view, "twin.png").value_or(0), Qt::ControlModifier);
  fs::rename(twin, renamed);
  d.waitUntil([&] { return primaryPath(d) == renamed.string(); }, "the focus to follow twin.png");
  d.check(selectedCount(d) == 2, "peer.png stays selected beside it");
  // The focus on peer.png, the renamed image selected beside it and renamed again, and back: it
  // stays selected under each name.
  clickTile(d, *view, tileRow(*view, "twin renamed.png").value_or(0));
  clickTile(d, *view, tileRow(*view, "peer.png").value_or(0), Qt::ControlModifier);
  const fs::path moved = folder / "twin moved.png";
  for (const auto& [from, to] : {std::pair{renamed, moved}, std::pair{moved, renamed}}) {
    fs::rename(from, to);
    const auto selected = [&] { return d.app().store().results().selection().effectiveSelectedPaths(); };
    d.waitUntil([&] { return selected().contains(to.string()); },
                "the image renamed " + to.filename().string() + " to stay selected beside the focus");
    d.check(primaryPath(d) == peer && selectedCount(d) == 2, "the focus stays on peer.png beside it");
  }
  clickTile(d, *view, tileRow(*view, "peer.png").value_or(0));
  clickTile(d, *view, tileRow(*view, "twin renamed.png").value_or(0), Qt::ControlModifier);
  fs::remove(renamed);
  d.waitUntil([&] { return !tileRow(*view, "twin renamed.png"); }, "the deleted image to go");
  d.check(primaryPath(d) == peer && selectedCount(d) == 1, "the focus goes to peer.png, not to the copy");

  // kept.png marked with Delete, then its folder renamed: Ctrl+Z takes the mark back where the image now is.
  // Once more, with the image deleted after the rename: the window says the undo could not find it. The
  // present delete candidates of kept.png's folders.
  const auto candidates = [&] {
    ImageSearchQuery query;
    query.deleteCandidate = true;
    query.rootPaths = {folder.string()};
    query.limit = 100'000;
    std::set<std::string> paths;
    for (const ImageRecord& record : d.app().store().context().service()->searchImages(query, {})) {
      if (record.file.path.find("/sub ") != std::string::npos) paths.insert(record.file.path);
    }
    return paths;
  };
  const auto undoRecordsAt = [&](const fs::path& path) {
    const auto& stack = d.app().store().review().deleteCandidateUndoStack();
    return !stack.empty() && stack.back().records.size() == 1 &&
           stack.back().records[0].path == path.string();
  };
  fs::path sub = folder / "sub renamed";
  for (const bool deleted : {false, true}) {
    clickTile(d, *view, tileRow(*view, "kept.png").value_or(0));
    d.press(Qt::Key_Delete);
    d.waitUntil([&] { return candidates() == std::set{(sub / "kept.png").string()}; },
                "Delete to mark kept.png");
    const fs::path renamedSub = folder / (deleted ? "sub renamed" : "sub marked");
    fs::rename(sub, renamedSub);
    sub = renamedSub;
    const fs::path kept = sub / "kept.png";
    d.waitUntil([&] { return candidates() == std::set{kept.string()} && undoRecordsAt(kept); },
                "the mark and its undo to follow kept.png into " + sub.filename().string());
    if (deleted) {
      fs::remove(kept);
      d.waitUntil([&] { return candidates().empty(); }, "the deleted kept.png to go");
    }
    // Once the window has caught up with the scan: an undo is not offered while a page of results
    // loads, and a refresh that succeeds clears the error line.
    d.waitUntil([&] { return isStoreSettled(d.app().store()); }, "the window to catch up with the scan");
    d.press(Qt::Key_Z, Qt::ControlModifier);
    if (!deleted) {
      d.waitUntil([&] { return candidates().empty() && tileRow(*view, "kept.png").has_value(); },
                  "Ctrl+Z to take the mark back at kept.png's new place");
      d.check(!d.shown("sidebar.error"), "the undo reports no error");
      d.step("undoneAfterRename");
    } else {
      d.waitUntil(
          [&] {
            auto* error = qobject_cast<ui::SelectableWrappedText*>(d.shown("sidebar.error"));
            return error != nullptr && error->text().contains("kept.png");
          },
          "the window to say the undo could not find the deleted kept.png");
      d.step("undoOfDeletedImage");
    }
  }
}

// The Trash review open while the folder of its images is renamed from outside: once the library
// has found them at their new place, the review lists them there, and the move takes every one of
// them to the Trash from there.
void reviewFollowsRename(Driver& d) {
  namespace fs = std::filesystem;
  ResultsGridListView* view = grid(d);
  const fs::path folder = d.app().pictures().folder;
  const fs::path sub = folder / "to review";
  const fs::path renamed = folder / "reviewed";
  fs::create_directory(sub);
  std::set<std::string> atNewPlace;
  for (const std::string name : {"review-a.png", "review-b.png", "review-c.png"}) {
    fs::copy_file(folder / "landscape-01.png", sub / name);
    std::ofstream(sub / name, std::ios::app) << name;  // content of its own
    atNewPlace.insert((renamed / name).string());
    d.waitUntil([&] { return view != nullptr && tileRow(*view, name); }, name + " to show up");
  }
  if (view == nullptr) return;
  clickTile(d, *view, tileRow(*view, "review-a.png").value_or(0));
  for (const std::string name : {"review-b.png", "review-c.png"})
    clickTile(d, *view, tileRow(*view, name).value_or(0), Qt::ControlModifier);
  d.press(Qt::Key_Delete);
  d.waitUntil([&] { return libraryCount(d, {.deleteCandidates = true}) == 3; }, "Delete to mark the three");

  d.click(d.control("deleteCandidateReview.toolbarAction"));
  QPointer<QWidget> sheet = d.control("deleteCandidateReview");
  auto* tiles = d.control<QListView>("deleteCandidateReview.candidateGrid", {.within = sheet});
  if (tiles == nullptr) return;
  d.waitUntil([&] { return tiles->model()->rowCount() == 3; }, "the three candidates in the review");
  fs::rename(sub, renamed);
  d.waitUntil(
      [&] {
        const std::vector<std::string> marked = libraryPaths(d, {.deleteCandidates = true});
        return std::set(marked.begin(), marked.end()) == atNewPlace && isStoreSettled(d.app().store());
      },
      "the library to find the marked images in the renamed folder");
  std::set<std::string> listed;
  for (int row = 0; row < tiles->model()->rowCount(); ++row)
    listed.insert(
        tiles->model()->index(row, 0).data(ui::TrashReviewCandidateModel::PathRole).toString().toStdString());
  d.check(listed == atNewPlace, "the review lists the images in the renamed folder");
  d.step("followed");

  QWidget* button = d.control("deleteCandidateReview.action.trashLoaded", {.within = sheet});
  d.waitUntil([&] { return button != nullptr && button->isEnabled(); }, "Move All Loaded to Trash enabled");
  d.click(button);
  d.click(d.control("deleteCandidateReview.confirmation.destructiveAction",
                    {.within = d.control("deleteCandidateReview.confirmation")}));
  d.waitUntil([&] { return !d.app().store().trash().isTrashingDeleteCandidates(); }, "the move to end");
  const fs::path trash = d.app().trashFiles();
  d.check(std::all_of(atNewPlace.begin(), atNewPlace.end(),
                      [&](const std::string& path) {
                        return !fs::exists(path) && fs::exists(trash / fs::path(path).filename());
                      }),
          "every image is moved to the Trash from the renamed folder");
  d.check(d.shown("deleteCandidateReview.summary.failure.0", sheet) == nullptr, "no move failed");
  d.step("moved");
  d.press(Qt::Key_Escape);
  d.waitUntil([&] { return sheet == nullptr || !sheet->isVisible(); }, "the review sheet to close");
  countsMatch(d, "after the move from the renamed folder");
}

// Overwrites the pages of every index of the images' table with junk, as a failing disk might; the
// table's own rows stay whole. False when the file cannot be read or written so.
bool damageImageIndexes(const std::filesystem::path& databaseFile) {
  std::error_code error;
  if (std::filesystem::file_size(databaseFile.string() + "-wal", error) > 0 && !error) return false;
  sqlite3* db = nullptr;
  std::vector<std::int64_t> pages;
  std::int64_t pageSize = 0;
  if (sqlite3_open_v2(databaseFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT rootpage FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'media_files'",
                       -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) pages.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &statement, nullptr);
    if (sqlite3_step(statement) == SQLITE_ROW) pageSize = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  if (pages.empty() || pageSize <= 0) return false;
  std::fstream file(databaseFile, std::ios::in | std::ios::out | std::ios::binary);
  const std::string junk(static_cast<std::size_t>(pageSize), '\x5A');
  for (const std::int64_t page : pages) {
    file.seekp((page - 1) * pageSize);
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  return static_cast<bool>(file);
}

void reopen(Driver& d) {
  const int rows = gridRows(d);
  const std::filesystem::path library = d.app().libraryFolder();
  const ui::AppLocalization& localizer = ui::AppLocalization::live();
  d.check(d.app().quit(), "quitting leaves no library work running");
  {
    // Another process (lorvex-index, say) holds the library as Lorvex itself does.
    std::optional<platform::ExclusiveFileLock> held =
        platform::ExclusiveFileLock::tryAcquire((library / kLibraryLockFileName).string());
    if (!d.check(held.has_value(), "the journey holds the library")) return;
    d.app().start(std::nullopt);
    // The window says that the library could not be opened, why and where, and offers nothing else.
    auto* message = d.control<ui::WrappedTextLabel>("indexing.card.message");
    auto* reason = d.control<ui::WrappedTextLabel>("indexing.card.reason");
    auto* location = d.control<ui::WrappedTextLabel>("indexing.card.location");
    if (message == nullptr || reason == nullptr || location == nullptr) return;
    d.check(
        message->text().toStdString() == localizer.lookup(ui::AppLocalizationKey::libraryUnavailableTitle),
        "the card says the library could not be opened");
    d.check(reason->text().toStdString() == localizer.lookup(ui::AppLocalizationKey::libraryUnavailableInUse),
            "the card says another process uses it");
    d.check(location->text().contains(QString::fromStdString(library.string())),
            "the card names the library");
    d.check(!d.shown("splitView") && !d.shown(name(id::kSidebarLibraryAddFolder)) &&
                !d.shown("results.empty.chooseFolder"),
            "no sidebar, grid or Add Folder while no library is open");
    d.step("libraryInUse");
  }
  // Let go: the window opens the library by itself and goes on as any launch.
  d.waitUntil([&] { return gridRows(d) == rows && !d.shown("indexing.card.reason"); },
              "the library opened once the other process let go");
  if (!d.check(d.app().waitForLaunch(), "the launch ends once the library is open")) return;
  countsMatch(d, "after the library was let go");
  d.step("libraryOpened");

  // An index of the library damaged while it was closed: the launch that meets it repairs it.
  d.check(d.app().quit(), "quitting leaves no library work running");
  if (!d.check(damageImageIndexes(library / kLibraryDatabaseFileName),
               "the journey damages the images' indexes"))
    return;
  if (!d.check(d.app().launch(std::nullopt), "the launch over the damaged index ends")) return;
  d.waitUntil([&] { return gridRows(d) == rows; }, "the grid shows the library after the repair");
  countsMatch(d, "after the repair");
  d.check(!d.shown("sidebar.error"), "no error is left after the repair");
  d.step("indexRepaired");
}

}  // namespace

const std::vector<JourneyDefinition>& allJourneys() {
  static const std::vector<JourneyDefinition> journeys{
      {"firstLaunch", firstLaunch},
      {"browse", browse},
      {"tags", tags},
      {"filters", filters},
      {"marks", marks},
      {"review", review},
      {"trashRefused", trashRefused},
      {"slideshow", slideshow},
      {"relaunch", relaunch},
      {"folderRenamed", folderRenamed},
      {"reviewFollowsRename", reviewFollowsRename},
      {"reopen", reopen},
  };
  return journeys;
}

}  // namespace lorvex::journeys
