#include "ui/results/results_grid_list_view.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "ui/common/image_context_menu_widget.h"
#include "ui/common/image_drag.h"
#include "ui/common/image_tile_presentation.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/common/ui_roles.h"
#include "ui/results/grid_keyboard_action.h"
#include "ui/results/results_grid_accessible.h"
#include "ui/results/tile_mouse_rule.h"

namespace lorvex::ui {
namespace {

using Source = ResultsGridSelectionChangeSource;

ResultsModel::GridMoveDirection storeDirection(GridArrow arrow) {
  switch (arrow) {
    case GridArrow::left:
      return ResultsModel::GridMoveDirection::left;
    case GridArrow::right:
      return ResultsModel::GridMoveDirection::right;
    case GridArrow::up:
      return ResultsModel::GridMoveDirection::up;
    case GridArrow::down:
      return ResultsModel::GridMoveDirection::down;
  }
  return ResultsModel::GridMoveDirection::left;
}

double nameLineHeight() {
  return QFontMetricsF(imageTileNameFont()).height();
}

// Watches every event of the application for presses of a mouse button; a child of the grid, so
// it stops watching when the grid goes.
class MousePressWatcher final : public QObject {
 public:
  using OnPress = std::function<void(QObject* target, const QPointF& globalPosition)>;
  MousePressWatcher(QObject* parent, OnPress onPress) : QObject(parent), onPress_(std::move(onPress)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      onPress_(watched, static_cast<QMouseEvent*>(event)->globalPosition());
    }
    return false;
  }

 private:
  OnPress onPress_;
};

// Whether `other` is a menu or dialog opened over `window`: one of its parents lies in it.
bool isOpenedOver(const QWidget& other, const QWidget& window) {
  for (const QWidget* parent = other.parentWidget(); parent != nullptr; parent = parent->parentWidget()) {
    if (parent->window() == &window) return true;
  }
  return false;
}

}  // namespace

ResultsGridListView::ResultsGridListView(ResultsGridListModels models, LocalImageLoader& loader,
                                         AppLocalization localizer, QWidget* parent)
    : QListView(parent), models_(models), loader_(loader), localizer_(std::move(localizer)) {
  setObjectName("results.grid");
  setViewMode(QListView::ListMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::NoSelection);
  setAutoScroll(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setFrameShape(QFrame::NoFrame);
  // Tiles are drawn on the control background; the grid between them is the window's.
  viewport()->setBackgroundRole(QPalette::Window);
  setSpacing(0);
  setMouseTracking(false);
  setFocusPolicy(Qt::StrongFocus);
  setDragEnabled(false);  // drags are started here, from the tile's file

  model_ = new ResultsGridModel(models_.results, localizer_, this);
  delegate_ = new ImageTileDelegate(*this, this);
  setItemDelegate(delegate_);
  setModel(model_);
  verticalScrollBar()->setSingleStep(40);

  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { visibleRowsCheck_.schedule(); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { visibleRowsCheck_.schedule(); });
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { visibleRowsCheck_.schedule(); });
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { visibleRowsCheck_.schedule(); });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            // A record replaced in place may bring a thumbnail: its image request changes.
            if (roles.isEmpty()) visibleRowsCheck_.schedule();
          });

  scrolledForPrimaryPath_ = models_.results.selection().primaryPath();
  connect(&models_.results.selection(), &ResultSelection::primaryPathChanged, this, [this] {
    // Who made this change is known only now: a later action may set another source before the
    // check runs.
    focusChangeSource_ = std::exchange(pendingSelectionScrollSource_, Source::programmatic);
    scrollCheck_.schedule();
  });
  connect(&models_.results, &ResultsModel::searchResultsResetCountChanged, this,
          [this] { scrollCheck_.schedule(); });
  followGateInputs();
  updateGeometryFromWidth();
  installResultsGridAccessibility();
  // Every press of the mouse in the application decides the ownership of the grid's keys.
  const auto onPress = [this](QObject* target, const QPointF& globalPosition) {
    followMousePress(target, globalPosition);
  };
  qApp->installEventFilter(new MousePressWatcher(this, onPress));
}

ResultsGridListView::~ResultsGridListView() {
  // The load states cancel their loads; the delegate must not be asked for images meanwhile.
  visibleTiles_.clear();
  // A menu still open hides as it goes with the grid's children: this half of the grid is gone.
  if (contextMenu_ != nullptr) disconnect(contextMenu_, nullptr, this, nullptr);
}

void ResultsGridListView::followGateInputs() {
  const auto gateMayHaveOpened = [this] {
    if (!isGridInteractionEnabled()) hasKeyboardOwnership_ = false;
    QTimer::singleShot(0, this, [this] { applyFocusRequest(true); });
  };
  connect(&models_.context, &StoreContext::needsLiveServicePreparationChanged, this, gateMayHaveOpened);
  connect(&models_.library, &LibraryModel::isPreparingLibraryChanged, this, gateMayHaveOpened);
  ImageLibraryPresentationState& presentation = models_.presentation;
  for (const auto changed : {&ImageLibraryPresentationState::isSlideshowPresentedChanged,
                             &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged,
                             &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged}) {
    connect(&presentation, changed, this, gateMayHaveOpened);
  }
}

bool ResultsGridListView::isGridInteractionEnabled() const {
  const ImageLibraryPresentationState& presentation = models_.presentation;
  return !models_.context.needsLiveServicePreparation() && !models_.library.isPreparingLibrary() &&
         !isQuickLookPresented_ && !presentation.isSlideshowPresented() &&
         !presentation.isTagAdditionPopoverPresented() && !presentation.isModelSelectionPopoverPresented();
}

void ResultsGridListView::setQuickLookPresented(bool presented) {
  if (presented == isQuickLookPresented_) return;
  isQuickLookPresented_ = presented;
  if (presented) hasKeyboardOwnership_ = false;
  if (!presented) requestKeyboardFocus();
}

// ---- Focus ----

void ResultsGridListView::requestKeyboardFocus() {
  if (!isGridInteractionEnabled()) return;
  hasKeyboardOwnership_ = true;
  focusRequestPending_ = true;
  applyFocusRequest(true);
}

bool ResultsGridListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == footer_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide ||
                             event->type() == QEvent::LayoutRequest)) {
    // The footer's height counts in the scroll range only while it shows.
    updateGeometries();
  }
  return QListView::eventFilter(watched, event);
}

bool ResultsGridListView::viewportEvent(QEvent* event) {
  // The item view repaints the whole viewport whenever the window is activated or deactivated (a
  // sheet or menu opening over it), for palettes whose inactive colours differ. With equal colours
  // the tiles look the same either way: the viewport handles the event as any widget does.
  const bool activation =
      event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate;
  if (activation && viewport()->palette().isEqual(QPalette::Active, QPalette::Inactive))
    return QAbstractScrollArea::viewportEvent(event);
  return QListView::viewportEvent(event);
}

void ResultsGridListView::followMousePress(QObject* target, const QPointF& globalPosition) {
  // The filter sees a press again on each parent it propagates to: only the widget it was aimed
  // at decides, and for every delivery the answer is the same.
  auto* widget = qobject_cast<QWidget*>(target);
  if (widget == nullptr) return;
  if (!isGridInteractionEnabled()) {
    hasKeyboardOwnership_ = false;
    return;
  }
  if (widget->window() != window()) {
    if (!isOpenedOver(*widget->window(), *window())) hasKeyboardOwnership_ = false;
    return;
  }
  // A press elsewhere in the window that leaves the grid the keyboard (a label, the header's empty
  // space, a button that takes no focus from a click) leaves it every one of its keys; one that takes
  // the focus away takes them with it (focusOutEvent).
  if (rect().contains(mapFromGlobal(globalPosition.toPoint()))) hasKeyboardOwnership_ = true;
}

void ResultsGridListView::applyFocusRequest(bool retryOnFailure) {
  if (!focusRequestPending_ || !isGridInteractionEnabled()) return;
  if (isVisible() && isEnabled()) {
    setFocus(Qt::OtherFocusReason);
    if (window()->focusWidget() == this) {
      focusRequestPending_ = false;
      return;
    }
  }
  // The window may refuse while it is being shown: one more try on the next turn, no more.
  if (!retryOnFailure || focusRetryScheduled_) return;
  focusRetryScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    focusRetryScheduled_ = false;
    applyFocusRequest(false);
  });
}

// Neither the item view's handling (it would make the first row current and scroll to it) nor the
// plain widget's, which repaints the view and its scroll bars: the grid looks the same with the
// focus or without it, and the focus leaves it whenever a sheet or the slideshow opens.
void ResultsGridListView::focusInEvent(QFocusEvent* event) {
  event->accept();
}

void ResultsGridListView::focusOutEvent(QFocusEvent* event) {
  if (qApp->autoSipEnabled() && testAttribute(Qt::WA_InputMethodEnabled))
    QGuiApplication::inputMethod()->hide();
  // The focus has moved on by now. Another widget of the window has it: the keys are that widget's
  // until the grid has the focus and the ownership back. A popup or another window takes the focus
  // only while it shows.
  const QWidget* next = QApplication::focusWidget();
  if (next != nullptr && next != this && next->window() == window()) hasKeyboardOwnership_ = false;
  event->accept();
}

void ResultsGridListView::showEvent(QShowEvent* event) {
  QListView::showEvent(event);
  if (!didAppear_) {
    didAppear_ = true;
    hasKeyboardOwnership_ = isGridInteractionEnabled();
    focusRequestPending_ = true;
    applyFocusRequest(true);
  }
  visibleRowsCheck_.schedule();
}

void ResultsGridListView::keyboardSearch(const QString&) {}

// ---- Geometry ----

void ResultsGridListView::resizeEvent(QResizeEvent* event) {
  QListView::resizeEvent(event);
  updateGeometryFromWidth();
  visibleRowsCheck_.schedule();
}

void ResultsGridListView::updateGeometryFromWidth() {
  geometry_ = resultsGridGeometry(viewport()->width());
  const ImageTileLayout layout = imageTileLayout(geometry_, nameLineHeight());
  if (layout == delegate_->layout()) return;
  delegate_->setLayout(layout);
  setGridSize(layout.cellSize);
}

void ResultsGridListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                      const QList<int>& roles) {
  if (roles != QList<int>{ResultsGridModel::SelectedRole} || !topLeft.isValid() || !bottomRight.isValid()) {
    QListView::dataChanged(topLeft, bottomRight, roles);
    return;
  }
  // A change of the selection alone moves nothing. QListView lays every row out again after a
  // change of more than one row, and the base view asks each changed row for its rectangle: at
  // 100,000 rows, either one was most of what select-all cost. Only the rows on screen are
  // repainted; accessibility hears of the whole range.
  const auto [firstOnScreen, lastOnScreen] = rowsOnScreen();
  const int first = std::max(topLeft.row(), firstOnScreen);
  const int last = std::min(bottomRight.row(), lastOnScreen);
  if (firstOnScreen >= 0 && first <= last) {
    QAbstractItemView::dataChanged(model_->index(first), model_->index(last), roles);
  }
  if (QAccessible::isActive() && (first != topLeft.row() || last != bottomRight.row())) {
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
    event.setFirstRow(topLeft.row());
    event.setLastRow(bottomRight.row());
    event.setFirstColumn(0);
    event.setLastColumn(0);
    QAccessible::updateAccessibility(&event);
  }
}

void ResultsGridListView::updateGeometries() {
  // The list's own range ends before the padding and the footer: a layout made while scrolled to
  // the very bottom would otherwise leave the view clamped short of them.
  const int valueBefore = verticalScrollBar()->value();
  QListView::updateGeometries();
  // Each cell holds the gap above its tile, so the rows end flush with the last tile: the list
  // scrolls one padding further, to leave the same gap under the last row (or under the footer).
  const bool hasRows = model_ != nullptr && model_->rowCount() > 0;
  const int footerHeight = footer_ != nullptr && !footer_->isHidden() ? footer_->sizeHint().height() : 0;
  if (hasRows || footerHeight > 0) {
    const int bottomPadding = static_cast<int>(results_grid_metrics::kPadding);
    const int content = (hasRows ? contentsSize().height() : 0) + footerHeight + bottomPadding;
    const int maximum = std::max(content - viewport()->height(), 0);
    if (maximum > verticalScrollBar()->maximum()) verticalScrollBar()->setMaximum(maximum);
  }
  if (valueBefore > verticalScrollBar()->value()) {
    verticalScrollBar()->setValue(std::min(valueBefore, verticalScrollBar()->maximum()));
  }
  placeFooter();
}

void ResultsGridListView::scrollContentsBy(int dx, int dy) {
  QListView::scrollContentsBy(dx, dy);
  placeFooter();
}

void ResultsGridListView::setFooter(QWidget* footer) {
  if (footer_ != nullptr) footer_->removeEventFilter(this);
  footer_ = footer;
  if (footer_ == nullptr) return;
  footer_->setParent(viewport());
  footer_->installEventFilter(this);
  updateGeometries();
}

void ResultsGridListView::placeFooter() {
  if (footer_ == nullptr || footer_->isHidden()) return;
  const bool hasRows = model_ != nullptr && model_->rowCount() > 0;
  const int top = (hasRows ? contentsSize().height() : 0) - verticalOffset();
  footer_->setGeometry(0, top, viewport()->width(), footer_->sizeHint().height());
}

QRectF ResultsGridListView::tileRect(int row) const {
  const QRect cell = visualRect(model_->index(row));
  if (!cell.isValid()) return {};
  return delegate_->layout().tile.translated(cell.topLeft());
}

std::optional<int> ResultsGridListView::tileRowAt(const QPoint& viewportPoint) const {
  const QModelIndex index = QListView::indexAt(viewportPoint);
  if (!index.isValid()) return std::nullopt;
  if (!roundedRectContains(tileRect(index.row()), image_tile_metrics::kCornerRadius, viewportPoint)) {
    return std::nullopt;
  }
  return index.row();
}

// ---- Tiles on screen ----

std::pair<int, int> ResultsGridListView::rowsOnScreen() const {
  const int count = model_->rowCount();
  const QSize cell = delegate_->layout().cellSize;
  int first = -1;
  int last = -1;
  if (count > 0 && isVisible() && cell.width() > 0 && cell.height() > 0) {
    const int columns = std::max(1, viewport()->width() / cell.width());
    const int offset = verticalOffset();
    const int firstLine = std::max(offset, 0) / cell.height();
    const int lastLine = (std::max(offset, 0) + std::max(viewport()->height(), 1) - 1) / cell.height();
    first = firstLine * columns;
    last = std::min(count - 1, lastLine * columns + columns - 1);
    if (first > last) first = last = -1;
  }
  return {first, last};
}

void ResultsGridListView::checkVisibleRows() {
  const auto [first, last] = rowsOnScreen();
  visibleFirst_ = first;
  visibleLast_ = last;

  std::unordered_map<std::string, VisibleTile> tiles;
  for (int row = first; row >= 0 && row <= last; ++row) {
    const RecordRef& record = model_->recordAt(row);
    const std::string& path = record->file.path;
    auto entering = visibleTiles_.find(path);
    VisibleTile tile;
    if (entering != visibleTiles_.end()) {
      tile = std::move(entering->second);
      visibleTiles_.erase(entering);
    } else {
      models_.results.requestThumbnailIfMissing(path);
      models_.context.startDetached(
          [results = &models_.results, path] { return results->loadNextPageIfNeeded(path); });
      tile.state =
          std::make_unique<LocalImageLoadState>(loader_, false, [this, path] { tileImageChanged(path); });
    }
    ImageTileImageSource source = imageTileImageSource(*record);
    LocalImageLoadState* state = tile.state.get();
    auto [placed, inserted] = tiles.emplace(path, std::move(tile));
    if (!inserted) continue;  // a path loaded twice shows one image
    state->setRequest(makeLocalImageLoadRequest(std::move(source.imagePath), std::nullopt,
                                                std::move(source.imageCacheKey), std::nullopt,
                                                source.imageMaxPixelSize));
  }
  // Tiles that left: their load states go, cancelling queued decodes and tile images.
  visibleTiles_ = std::move(tiles);
  // Images that were in the cache came with their requests: their tiles are made now.
  const QSize deviceSize = tileImageDeviceSize();
  for (auto& [path, tile] : visibleTiles_) prepareTileImage(path, tile, deviceSize);
}

void ResultsGridListView::repaintPath(const std::string& path) {
  if (const auto row = model_->rowOf(path)) viewport()->update(visualRect(model_->index(*row)));
}

QSize ResultsGridListView::tileImageDeviceSize() const {
  const int side =
      static_cast<int>(std::lround(delegate_->layout().imageArea.width() * viewport()->devicePixelRatioF()));
  return {side, side};
}

void ResultsGridListView::tileImageChanged(const std::string& path) {
  // A tile entering the screen hears of a cached image before it is listed; the end of the check
  // of the tiles on screen makes its image.
  if (const auto found = visibleTiles_.find(path); found != visibleTiles_.end()) {
    prepareTileImage(path, found->second, tileImageDeviceSize());
  }
  repaintPath(path);
}

void ResultsGridListView::prepareTileImage(const std::string& path, VisibleTile& tile, QSize deviceSize) {
  const QImage image = tile.state->choice().image;
  if (image.isNull() || deviceSize.isEmpty()) return;
  const qint64 source = image.cacheKey();
  if (!tile.pixmap.isNull() && tile.pixmapSource == source && tile.pixmapSize == deviceSize) return;
  // Both values whole: a key folded into one integer would let two images share a pixmap.
  const std::pair<qint64, int> key{source, deviceSize.width()};
  if (const QPixmap* recent = recentTilePixmaps_.object(key)) {
    tile.pixmap = *recent;
    tile.pixmapSource = source;
    tile.pixmapSize = deviceSize;
    tile.preparation.reset();
    return;
  }
  if (tile.preparation != nullptr && tile.preparation->isFor(source, deviceSize)) return;
  // The smooth scale and the rounded fill of a screenful of new images cost a frame or more:
  // they are made on the loader's pool, counted with its decodes.
  const qreal scale = delegate_->layout().imageArea.width() > 0
                          ? deviceSize.width() / delegate_->layout().imageArea.width()
                          : 1.0;
  const qreal radius = image_tile_metrics::kImageCornerRadius * scale;
  const QColor background = roleColor(ColorRole::windowBackground, palette());
  const int side = deviceSize.width();
  const LocalImageLoader::Ticket ticket = loader_.prepare(
      [image, side, radius, background] {
        return ImageTileDelegate::roundedTileImage(image, side, radius, background);
      },
      [this, path, source, deviceSize](const QImage& made) {
        tileImagePrepared(path, source, deviceSize, made);
      });
  tile.preparation = std::make_unique<TilePreparation>(loader_, ticket, source, deviceSize);
}

void ResultsGridListView::tileImagePrepared(const std::string& path, qint64 source, QSize deviceSize,
                                            const QImage& made) {
  const auto found = visibleTiles_.find(path);
  if (found == visibleTiles_.end()) return;
  VisibleTile& tile = found->second;
  if (tile.preparation == nullptr || !tile.preparation->isFor(source, deviceSize)) return;
  tile.preparation.reset();
  tile.pixmap = QPixmap::fromImage(made);
  tile.pixmapSource = source;
  tile.pixmapSize = deviceSize;
  recentTilePixmaps_.insert({source, deviceSize.width()}, new QPixmap(tile.pixmap));
  repaintPath(path);
}

TileImage ResultsGridListView::tileImage(const std::string& path, QSize deviceSize, qreal) {
  const auto found = visibleTiles_.find(path);
  if (found == visibleTiles_.end()) return {};
  VisibleTile& tile = found->second;
  const LocalImageChoice choice = tile.state->choice();
  if (choice.image.isNull()) return {QPixmap(), choice.placeholder};
  prepareTileImage(path, tile, deviceSize);
  // While its image is being made, a tile keeps the one it showed (stretched to a new size), or
  // its placeholder.
  if (tile.pixmap.isNull()) return {QPixmap(), LocalImagePlaceholder::photo};
  return {tile.pixmap, LocalImagePlaceholder::none};
}

// ---- Scrolling ----

void ResultsGridListView::checkScroll() {
  // A new search first: it scrolls to the top and wins over a focus change that came with it.
  bool didReset = false;
  if (models_.results.searchResultsResetCount() != appliedSearchResultsResetCount_) {
    appliedSearchResultsResetCount_ = models_.results.searchResultsResetCount();
    didReset = true;
    // The first tile's cell starts the content: the top of the content is its top anchor.
    if (model_->rowCount() > 0) verticalScrollBar()->setValue(0);
  }
  const std::optional<std::string>& primary = models_.results.selection().primaryPath();
  if (primary == scrolledForPrimaryPath_) return;
  scrolledForPrimaryPath_ = primary;
  const Source source = std::exchange(focusChangeSource_, Source::programmatic);
  // A hidden grid has no layout to centre in; it shows its top when it appears.
  if (didReset || !primary || source == Source::mouse || !isVisible()) return;
  if (const auto row = model_->rowOf(*primary)) {
    scrollTo(model_->index(*row), QAbstractItemView::PositionAtCenter);
  }
}

void ResultsGridListView::changeSelection(Source source, const std::function<void()>& change) {
  const std::optional<std::string> before = models_.results.selection().primaryPath();
  pendingSelectionScrollSource_ = source;
  change();
  if (models_.results.selection().primaryPath() == before)
    pendingSelectionScrollSource_ = Source::programmatic;
}

// ---- Keys ----

void ResultsGridListView::keyPressEvent(QKeyEvent* event) {
  if (handleKey(event)) {
    event->accept();
  } else {
    // Not the item view's handling: it would move a current index. The key goes to the parent.
    event->ignore();
  }
}

bool ResultsGridListView::handleKey(QKeyEvent* event) {
  const auto action = gridKeyboardAction(event->key(), event->modifiers());
  if (!action || !isGridInteractionEnabled()) return false;
  // Only the arrows work without the ownership; a handled one takes it.
  if (!action->isMove() && !hasKeyboardOwnership_) return false;
  using Kind = GridKeyboardAction::Kind;
  switch (action->kind) {
    case Kind::move:
    case Kind::rangeMove: {
      if (models_.results.resultWindow().records().empty()) return false;
      const auto direction = storeDirection(action->direction);
      const int columns = keyboardColumns();
      changeSelection(Source::keyboard, [&] {
        if (action->kind == Kind::move) {
          models_.results.moveFocusInGrid(direction, columns);
        } else {
          models_.results.extendSelectionInGrid(direction, columns);
        }
      });
      hasKeyboardOwnership_ = true;
      return true;
    }
    case Kind::space: {
      const std::optional<std::string> url = models_.results.selectedRecordFileURL();
      if (!url) return false;
      if (showQuickLook_) showQuickLook_(*url);
      return true;
    }
    case Kind::deleteSelection:
      if (!models_.projections.canReviewFocusedRecord()) return false;
      models_.review.markDeleteCandidates(models_.results.selectedRecords());
      requestKeyboardFocus();
      return true;
    case Kind::undoDeleteCandidate:
      // The same gate as the window's undo key filter: a press that filter took never gets here,
      // and one it let pass finds nothing to undo there either.
      if (!models_.review.canUndoDeleteCandidateAction()) return false;
      models_.review.undoLastDeleteCandidateAction();
      requestKeyboardFocus();
      return true;
    case Kind::selectAll:
      if (models_.results.resultWindow().records().empty()) return false;
      changeSelection(Source::keyboard, [&] { models_.results.selectAllResults(); });
      requestKeyboardFocus();
      return true;
  }
  return false;
}

// ---- Mouse ----

bool ResultsGridListView::selectTile(int row, Qt::KeyboardModifiers modifiers) {
  if (!isGridInteractionEnabled()) return false;
  const RecordRef record = model_->recordAt(row);
  if (record == nullptr || !models_.results.resultWindow().index(record->file.path)) return false;
  const std::string path = record->file.path;
  changeSelection(Source::mouse, [&] {
    if (modifiers.testFlag(Qt::ShiftModifier)) {
      models_.results.extendSelection(path);
    } else if (modifiers.testFlag(Qt::ControlModifier)) {
      models_.results.toggleSelection(path);
    } else {
      models_.results.selection().selectSingle(path);
    }
  });
  requestKeyboardFocus();
  return true;
}

bool ResultsGridListView::openTile(int row) {
  if (!isGridInteractionEnabled()) return false;
  const RecordRef record = model_->recordAt(row);
  if (record == nullptr || !models_.results.resultWindow().index(record->file.path)) return false;
  std::optional<std::string> url;
  changeSelection(Source::mouse, [&] { url = models_.results.focusPathKeepingSelection(record->file.path); });
  if (url && showQuickLook_) showQuickLook_(*url);
  return true;
}

void ResultsGridListView::mousePressEvent(QMouseEvent* event) {
  pressedPath_.reset();
  event->accept();
  const QModelIndex index = QListView::indexAt(event->position().toPoint());
  if (!index.isValid()) return;
  const TileMousePress press{event->button(), 1, event->modifiers(), event->position()};
  const TileMouseOutcome outcome = tileMouseOutcome(press, tileRect(index.row()), isGridInteractionEnabled());
  switch (outcome) {
    case TileMouseOutcome::selectOnly:
      selectTile(index.row(), Qt::NoModifier);
      break;
    case TileMouseOutcome::extendSelection:
      selectTile(index.row(), Qt::ShiftModifier);
      break;
    case TileMouseOutcome::toggleSelection:
      selectTile(index.row(), Qt::ControlModifier);
      break;
    case TileMouseOutcome::open:
      openTile(index.row());
      break;
    case TileMouseOutcome::contextMenu:  // the context-menu event that follows shows it
    case TileMouseOutcome::none:
      return;
  }
  if (event->button() == Qt::LeftButton) {
    if (const RecordRef& record = model_->recordAt(index.row())) {
      pressedPath_ = record->file.path;
      pressPosition_ = event->position().toPoint();
    }
  }
}

void ResultsGridListView::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  const QModelIndex index = QListView::indexAt(event->position().toPoint());
  if (!index.isValid()) return;
  const TileMousePress press{event->button(), 2, event->modifiers(), event->position()};
  if (tileMouseOutcome(press, tileRect(index.row()), isGridInteractionEnabled()) == TileMouseOutcome::open) {
    openTile(index.row());
  }
}

void ResultsGridListView::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (!pressedPath_ || !event->buttons().testFlag(Qt::LeftButton)) return;
  if ((event->position().toPoint() - pressPosition_).manhattanLength() < QApplication::startDragDistance())
    return;
  const std::string path = *std::exchange(pressedPath_, std::nullopt);
  // The service is asked once per drag; without a payload nothing is dragged.
  const std::optional<ImageDragPayload> payload = dragPayload(path);
  if (!payload) return;
  if (startDrag_) {
    startDrag_(makeImageDragMimeData(payload));
    return;
  }
  const auto tile = visibleTiles_.find(path);
  startImageDrag(*this, payload, tile != visibleTiles_.end() ? tile->second.pixmap : QPixmap());
}

void ResultsGridListView::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  pressedPath_.reset();
}

void ResultsGridListView::startDrag(Qt::DropActions) {
  // The item view's drag carries the model's rows; tiles drag their file from mouseMoveEvent.
}

std::optional<ImageDragPayload> ResultsGridListView::dragPayload(const std::string& path) const {
  const auto index = models_.results.resultWindow().index(path);
  const std::shared_ptr<ImageLibraryServicing> service = models_.context.service();
  if (!index || service == nullptr) return std::nullopt;
  return service->imageDragPayload(
      *models_.results.resultWindow().records()[static_cast<std::size_t>(*index)]);
}

std::unique_ptr<QMimeData> ResultsGridListView::dragData(const std::string& path) const {
  return makeImageDragMimeData(dragPayload(path));
}

// ---- Context menu ----

void ResultsGridListView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (!isGridInteractionEnabled()) return;
  if (event->reason() == QContextMenuEvent::Mouse) {
    if (const auto row = tileRowAt(event->pos())) showContextMenu(*row, event->globalPos());
    return;
  }
  // The menu key: at the focused tile.
  const std::optional<std::string>& primary = models_.results.selection().primaryPath();
  if (!primary) return;
  if (const auto row = model_->rowOf(*primary)) showTileContextMenu(*row);
}

bool ResultsGridListView::showTileContextMenu(int row) {
  if (!isGridInteractionEnabled()) return false;
  return showContextMenu(row, viewport()->mapToGlobal(tileRect(row).center().toPoint()));
}

bool ResultsGridListView::showContextMenu(int row, const QPoint& globalPosition) {
  const RecordRef record = model_->recordAt(row);
  if (record == nullptr) return false;
  if (contextMenu_ != nullptr) contextMenu_->close();
  std::vector<ImageContextMenuEntry> entries =
      makeImageContextMenu({models_.results, models_.review, models_.concepts, models_.context},
                           ImageContextMenuTarget::contextSelection(record->file.path, record->reviewState),
                           localizer_, [](const std::string& path) { revealInFileManager(path); });
  QMenu* menu = makeImageContextMenuWidget(std::move(entries), this);
  menu->setObjectName("results.contextMenu");
  // Whatever closed it (a choice, Escape, a press elsewhere, which then decides for itself), the
  // keys the menu held go back to the grid.
  connect(menu, &QMenu::aboutToHide, this, &ResultsGridListView::requestKeyboardFocus);
  contextMenu_ = menu;
  menu->popup(globalPosition);
  return true;
}

}  // namespace lorvex::ui
