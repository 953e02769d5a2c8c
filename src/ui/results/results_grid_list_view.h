// The results grid: a list view that shows one tile per loaded result and turns keys, clicks,
// drags and the context-menu request into operations of the feature models.
//
// The grid has its own idea of selection and focus (the results model's ResultSelection), so the
// list view's own is switched off: no selection mode, no current index ever, no keyboard search, no
// automatic scrolling. The base class's focus, mouse and key handlers would set a current index
// and scroll to it; they are replaced, not extended.
//
// Scrolling follows the results: a new search (the results' reset count) scrolls back to the first
// tile; a change of the focused path made by the keyboard or by the program centres the focused
// tile; one made with the mouse never scrolls. Both are read in one handler once per event-loop
// turn, the reset first, so a reset wins over a focus change made with it.
//
// The tiles on screen are checked once per event-loop turn: a tile that comes into view asks the
// results for its missing thumbnail and for the next page (loaded when the tile is near the loaded
// end), and gets an image load of its own; a tile that leaves drops its load, so its queued decode
// never runs.
//
// Every action first checks the interaction gate: no library being prepared, no preview, slideshow
// or filter popover over the grid. A refused key propagates.
//
// Keyboard ownership: the arrows work whenever the grid has the keyboard focus, but Space, Delete,
// Ctrl+Z and Ctrl+A only while the grid owns the keyboard. The focus moving to another widget of the
// window, or a press of the mouse in another window, takes that away; a press elsewhere in the window
// that leaves the grid the focus (a label, the header's empty space, a button that takes no focus
// from a click) leaves it all of its keys. A press in the grid, a handled arrow or a focus request
// gives it back, and closing the gate takes it away.
// A menu or dialog opened over the window (the tile's context menu, an alert one of its items
// brings) has the keys while it shows: a press in it changes nothing, and the context menu gives
// the grid the keyboard back when it closes.
//
// The footer (the load-more row) is the last row of the scrolled content, under the last tile and
// as wide as the viewport; it scrolls with the tiles and adds its height to the scroll range.
//
// Thread safety: GUI thread only.
#pragma once

#include <QCache>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "model/image_drag_payload.h"
#include "store/async/turn_end_call.h"
#include "ui/common/app_localization.h"
#include "ui/common/image_context_menu_model.h"
#include "ui/common/local_image_load_state.h"
#include "ui/common/local_image_loader.h"
#include "ui/results/image_tile_delegate.h"
#include "ui/results/results_grid_geometry.h"
#include "ui/results/results_grid_list_models.h"
#include "ui/results/results_grid_model.h"

namespace lorvex::ui {

// Who caused the next change of the focused path; only a mouse change leaves the scroll alone.
enum class ResultsGridSelectionChangeSource { programmatic, keyboard, mouse };

class ResultsGridListView : public QListView, private TileImageSource {
  Q_OBJECT

 public:
  // Presents the preview of a file ("file://" URL).
  using ShowQuickLook = std::function<void(const std::string& fileURL)>;
  // Starts the drag of the prepared data (the program runs a QDrag; tests record it).
  using StartDrag = std::function<void(std::unique_ptr<QMimeData> data)>;

  ResultsGridListView(ResultsGridListModels models, LocalImageLoader& loader, AppLocalization localizer,
                      QWidget* parent = nullptr);
  ~ResultsGridListView() override;

  void setShowQuickLook(ShowQuickLook showQuickLook) { showQuickLook_ = std::move(showQuickLook); }
  void setStartDrag(StartDrag startDrag) { startDrag_ = std::move(startDrag); }
  // The preview overlay's flag: the grid takes no input while it is shown and asks for the
  // keyboard focus back when it closes.
  void setQuickLookPresented(bool presented);

  bool isGridInteractionEnabled() const;
  // The columns on screen, which the arrow keys move by.
  int keyboardColumns() const { return geometry_.columns; }
  const ImageTileLayout& tileLayoutForTest() const { return delegate_->layout(); }
  ResultsGridModel& gridModel() { return *model_; }

  // Asks for the keyboard focus while the gate is open, and gives the grid the ownership of its
  // keys; a request the window refuses is tried once more on the next turn of the event loop.
  void requestKeyboardFocus();

  // Places `footer` (kept by the caller, reparented to the viewport) as the last row of the
  // scrolled content while it is not hidden.
  void setFooter(QWidget* footer);

  // The tile's rectangle of a row, in viewport coordinates.
  QRectF tileRect(int row) const;
  // The row whose tile (its rounded rectangle) holds the viewport point.
  std::optional<int> tileRowAt(const QPoint& viewportPoint) const;
  // The rows the viewport shows now (first, last), or (-1, -1).
  std::pair<int, int> rowsOnScreen() const;
  // The rows on screen at the last check.
  std::pair<int, int> visibleRowsForTest() const { return {visibleFirst_, visibleLast_}; }
  // The context menu now shown, if any.
  QMenu* contextMenu() const { return contextMenu_; }
  // What a press on the tile of a row does (Shift extends, Ctrl toggles, else it selects it
  // alone), and its context menu shown at its centre; both nothing while the gate is closed.
  // Assistive technology's actions on a tile come here.
  bool selectTile(int row, Qt::KeyboardModifiers modifiers);
  bool showTileContextMenu(int row);
  // What a drag of the tile of `path` carries: the file URL of the service's payload; nothing
  // when the record is no longer loaded or the service offers no payload.
  std::unique_ptr<QMimeData> dragData(const std::string& path) const;

  void keyboardSearch(const QString& search) override;
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles = QList<int>()) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  // A tile image being made on the loader's pool; dropping it cancels the work.
  class TilePreparation {
   public:
    TilePreparation(LocalImageLoader& loader, LocalImageLoader::Ticket ticket, qint64 source, QSize size)
        : loader_(&loader), ticket_(ticket), source_(source), size_(size) {}
    TilePreparation(const TilePreparation&) = delete;
    TilePreparation& operator=(const TilePreparation&) = delete;
    ~TilePreparation() { loader_->cancelPreparation(ticket_); }
    bool isFor(qint64 source, QSize size) const { return source == source_ && size == size_; }

   private:
    LocalImageLoader* loader_;
    LocalImageLoader::Ticket ticket_;
    qint64 source_;
    QSize size_;
  };

  struct VisibleTile {
    std::unique_ptr<LocalImageLoadState> state;
    QPixmap pixmap;
    qint64 pixmapSource = 0;  // QImage::cacheKey of what the pixmap was made from
    QSize pixmapSize;
    LocalImagePlaceholder placeholder = LocalImagePlaceholder::photo;
    std::unique_ptr<TilePreparation> preparation;
  };

  TileImage tileImage(const std::string& path, QSize deviceSize, qreal devicePixelRatio) override;
  // The device size of a tile's image area on this view's screen.
  QSize tileImageDeviceSize() const;
  // Starts making the tile's pixmap for its image at `deviceSize` unless it is made or being made.
  void prepareTileImage(const std::string& path, VisibleTile& tile, QSize deviceSize);
  void tileImagePrepared(const std::string& path, qint64 source, QSize deviceSize, const QImage& made);
  void tileImageChanged(const std::string& path);
  std::optional<ImageDragPayload> dragPayload(const std::string& path) const;

  void updateGeometryFromWidth();
  void checkVisibleRows();
  void checkScroll();
  void repaintPath(const std::string& path);

  // The actions; each checks the gate first.
  bool handleKey(QKeyEvent* event);
  bool openTile(int row);
  bool showContextMenu(int row, const QPoint& globalPosition);
  // Runs a change of the results that may move the focus, noting who made it.
  void changeSelection(ResultsGridSelectionChangeSource source, const std::function<void()>& change);
  void applyFocusRequest(bool retryOnFailure);
  void followGateInputs();
  void followMousePress(QObject* target, const QPointF& globalPosition);
  void placeFooter();

  ResultsGridListModels models_;
  LocalImageLoader& loader_;
  AppLocalization localizer_;
  ResultsGridModel* model_ = nullptr;
  ImageTileDelegate* delegate_ = nullptr;
  ResultsGridGeometry geometry_;

  ShowQuickLook showQuickLook_;
  StartDrag startDrag_;
  bool isQuickLookPresented_ = false;

  ResultsGridSelectionChangeSource pendingSelectionScrollSource_ =
      ResultsGridSelectionChangeSource::programmatic;
  // The source of the last focus change the scroll check has not handled yet.
  ResultsGridSelectionChangeSource focusChangeSource_ = ResultsGridSelectionChangeSource::programmatic;
  int appliedSearchResultsResetCount_ = 0;
  std::optional<std::string> scrolledForPrimaryPath_;
  TurnEndCall scrollCheck_{this, [this] { checkScroll(); }};

  TurnEndCall visibleRowsCheck_{this, [this] { checkVisibleRows(); }};
  int visibleFirst_ = -1;
  int visibleLast_ = -1;
  std::unordered_map<std::string, VisibleTile> visibleTiles_;
  // Tile pixmaps of images shown lately, by image (QImage::cacheKey) and device width: a tile that
  // comes back on screen with its image still cached is not scaled again.
  QCache<std::pair<qint64, int>, QPixmap> recentTilePixmaps_{256};

  // A focus request waits while the gate is closed and is applied when it opens.
  bool focusRequestPending_ = false;
  bool focusRetryScheduled_ = false;
  bool didAppear_ = false;
  bool hasKeyboardOwnership_ = false;
  QPointer<QWidget> footer_;

  std::optional<std::string> pressedPath_;
  QPoint pressPosition_;
  QPointer<QMenu> contextMenu_;
};

}  // namespace lorvex::ui
