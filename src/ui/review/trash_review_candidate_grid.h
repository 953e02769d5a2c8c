// The candidate grid of the Trash review: a list model that follows the review browser (pages
// appended as rows, a changed selection repainted, any other change a reset), a delegate that
// paints each candidate tile, and the view that lays tiles out in adaptive columns and turns a
// click, or Space, Return or Enter on the current tile, into a toggle of that candidate's
// selection. A click, with Ctrl or Shift or without, never scrolls the grid: the tile under the
// pointer stays there for the next click. The keys scroll to the tile they move to. The view's selection
// model mirrors the review's selection (the view never changes it itself), so that each tile tells assistive
// technology whether it is selected.
//
// A tile's first paint after the list changed tells the grid that it came into view: the grid
// then asks the results for the record's thumbnail and the review for the next page when the tile is among
// the last loaded, and starts the tile's image load unless it holds that version's image already. Images are
// decoded by the shared image loader off the GUI thread, never in paint(); a changed record (a new thumbnail,
// a rewritten file) loads again under its new key.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "store/record_ref.h"
#include "ui/common/app_localization.h"
#include "ui/common/view_resource_display.h"

namespace lorvex {
class ResultsModel;
class TrashModel;
}  // namespace lorvex

namespace lorvex::ui {

class LocalImageLoader;

class TrashReviewCandidateModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    PathRole = Qt::UserRole + 1,
    SelectedRole,
    FileNameRole,
    DisplayPathRole,
    ImageRole,  // the decoded image once loaded; a null QImage before
  };

  // `trash` holds the review's list and selection; `results` fetches the thumbnails.
  TrashReviewCandidateModel(TrashModel& trash, ResultsModel& results, ViewResourceDisplay resourceDisplay,
                            const AppLocalization* localization = nullptr, LocalImageLoader* loader = nullptr,
                            QObject* parent = nullptr);
  ~TrashReviewCandidateModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  RecordRef record(int row) const;
  // Toggles the selection of the candidate at `row`.
  void toggleSelection(int row);
  // A tile was painted: the first time for its record version since the list last changed, its
  // thumbnail and the next page are asked for, and its image starts loading (after this
  // turn, not in paint).
  void tileDidAppear(int row) const;

 private:
  void recordsChanged();
  void selectionChanged();
  void handleAppearance(const std::string& path);
  struct TileImage {
    std::string requestKey;
    quint64 ticket = 0;
    QImage image;
  };
  void dropImage(const std::string& path);

  QPointer<TrashModel> trash_;
  QPointer<ResultsModel> results_;
  ViewResourceDisplay resourceDisplay_;
  const AppLocalization* localization_;
  LocalImageLoader* loader_;
  std::vector<RecordRef> records_;
  // Record versions (path and image key) whose tile has come into view since the list last changed.
  mutable std::unordered_set<std::string> appeared_;
  std::unordered_map<std::string, TileImage> images_;  // by path
};

class TrashReviewTileDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // Where a tile of `cell` (its visual rectangle) shows its image.
  static QRectF imageArea(const QRect& cell);

  void setTileWidth(int width) { tileWidth_ = width; }
  int tileWidth() const { return tileWidth_; }
  int tileHeight() const;
  // The height of the display path's area: two lines of its font as they are laid out, a Japanese
  // line (in the taller fallback font) included, so no path is clipped.
  static int pathAreaHeight();

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int tileWidth_ = 168;
  // A tile's fills, outlines and image background over the view's background, by look.
  mutable QCache<QString, QPixmap> chromes_{8};
};

// Lays out a sample text, Latin and Japanese (file names often are), in the fonts of the review's
// tiles and sheet, so that their font engines (the Japanese fallback included) and shaping plans are
// loaded before the first review opens rather than while its tiles first paint.
void warmTrashReviewFonts();

class TrashReviewCandidateGrid : public QListView {
  Q_OBJECT

 public:
  TrashReviewCandidateGrid(TrashReviewCandidateModel& model, QWidget* parent = nullptr);

  // Places `footer` (kept by the caller, reparented to the viewport) as the last row of the
  // scrolled content: under the last tile, as wide as the viewport, scrolling with the tiles and
  // adding its height to the scroll range while it shows.
  void setFooter(QWidget* footer);

  // A tile whose image alone changed repaints its image area, not its texts.
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles = QList<int>()) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void updateTileWidth();
  void mirrorSelection();
  void placeFooter();

  TrashReviewCandidateModel& model_;
  TrashReviewTileDelegate* delegate_;
  QPointer<QWidget> footer_;
};

}  // namespace lorvex::ui
