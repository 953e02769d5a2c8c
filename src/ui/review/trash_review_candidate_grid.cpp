#include "ui/review/trash_review_candidate_grid.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "store/results/results_model.h"
#include "store/trash/trash_model.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/review/delete_candidate_trash_review_presentation.h"
#include "ui/review/trash_review_tile_appearance.h"
#include "ui/review/trash_summary_presentation.h"

namespace lorvex::ui {

namespace {

namespace metrics = trash_review_tile_metrics;

// The cell around a tile holds half the grid spacing on every side.
constexpr int kCellMargin = metrics::kGridSpacing / 2;
// The view's own margins make up the rest of the grid padding.
constexpr int kViewMargin = metrics::kGridPadding - kCellMargin;
// The display path takes at most two lines.
constexpr int kPathLines = 2;
// The path is drawn wrapped anywhere inside its area, and clipped to it.
constexpr int kPathFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;
// Antialiased ink may reach a pixel below the last line's descent.
constexpr int kPathInkSlack = 1;

std::string requestKey(const ImageRecord& record) {
  const TrashReviewTileImageRequest request = trashReviewTileImageRequest(record);
  const LocalImageLoadRequest load = makeLocalImageLoadRequest(request.path, std::nullopt, request.cacheKey,
                                                               std::nullopt, request.maxPixelSize);
  return load.imageCacheKey.value_or(request.path);
}

// What one tile is painted from: where it and its image go, and how it looks.
struct TileLook {
  const QPalette& palette;
  QRectF tile;
  QRectF imageArea;
  QPainterPath imageShape;  // the image area with rounded corners
  TrashReviewTileAppearance appearance;
  bool selected = false;
  bool focused = false;
  bool hovering = false;
};

QColor tileColor(const TrashReviewTilePaint& paint, const QPalette& palette) {
  QColor base;
  switch (paint.color) {
    case TrashReviewTileColor::accent:
      base = roleColor(ColorRole::accent, palette);
      break;
    case TrashReviewTileColor::selectedContentBackground:
      base = palette.color(QPalette::Highlight);
      break;
    case TrashReviewTileColor::keyboardFocusIndicator:
      base = palette.color(QPalette::Highlight).lighter(115);
      break;
    case TrashReviewTileColor::controlBackground:
      base = roleColor(ColorRole::controlBackground, palette);
      break;
    case TrashReviewTileColor::separator:
      base = roleColor(ColorRole::separator, palette);
      break;
  }
  return withOpacity(base, paint.opacity);
}

// An outline of `width` drawn inside `bounds`.
void strokeInside(QPainter& painter, const QRectF& bounds, double width, const QColor& stroke,
                  double radius) {
  QPainterPath path;
  const double half = width / 2;
  path.addRoundedRect(bounds.adjusted(half, half, -half, -half), radius, radius);
  painter.strokePath(path, QPen(stroke, width));
}

// The tile's fills and outlines, and its image area's background.
void paintTileChrome(QPainter& painter, const TileLook& look) {
  const QPalette& palette = look.palette;
  const QRectF& tile = look.tile;
  const TrashReviewTileAppearance& appearance = look.appearance;
  QPainterPath shape;
  shape.addRoundedRect(tile, metrics::kCornerRadius, metrics::kCornerRadius);
  painter.fillPath(shape, roleColor(ColorRole::controlBackground, palette));
  painter.fillPath(shape, tileColor(appearance.fill, palette));
  strokeInside(painter, tile, appearance.borderWidth, tileColor(appearance.border, palette),
               metrics::kCornerRadius);
  if (appearance.hasHoverRing) {
    strokeInside(painter,
                 tile.adjusted(metrics::kHoverRingInset, metrics::kHoverRingInset, -metrics::kHoverRingInset,
                               -metrics::kHoverRingInset),
                 metrics::kHoverRingWidth,
                 withOpacity(roleColor(ColorRole::accent, palette), metrics::kHoverRingOpacity),
                 metrics::kCornerRadius - metrics::kHoverRingInset / 2.0);
  }
  if (appearance.hasFocusRing) {
    strokeInside(painter,
                 tile.adjusted(metrics::kFocusRingInset, metrics::kFocusRingInset, -metrics::kFocusRingInset,
                               -metrics::kFocusRingInset),
                 metrics::kFocusRingWidth,
                 tileColor({TrashReviewTileColor::keyboardFocusIndicator, 1}, palette),
                 metrics::kCornerRadius - metrics::kFocusRingInset / 2.0);
  }
  painter.save();
  painter.setClipPath(look.imageShape);
  painter.fillRect(look.imageArea, roleColor(ColorRole::controlBackground, palette));
  painter.restore();
}

// The chrome, from a picture kept per look where the painter allows it.
void paintChrome(QPainter& painter, const TileLook& look, const QBrush& background,
                 QCache<QString, QPixmap>& chromes) {
  const QRect tileRect = look.tile.toAlignedRect();
  const qreal ratio = painter.device()->devicePixelRatioF();
  if (background.style() != Qt::SolidPattern || !background.isOpaque() || QRectF(tileRect) != look.tile ||
      painter.deviceTransform().type() > QTransform::TxTranslate) {
    paintTileChrome(painter, look);
    return;
  }
  // Drawn once per look over the view's own background and copied: every tile of a look has the
  // same picture, and the outlines' antialiased spans would go to Qt's helper threads each time.
  const QString key = QStringLiteral("%1x%2 %3 %4 %5 %6 %7 %8")
                          .arg(tileRect.width())
                          .arg(tileRect.height())
                          .arg(ratio)
                          .arg(look.selected ? 1 : 0)
                          .arg(look.focused ? 1 : 0)
                          .arg(look.hovering ? 1 : 0)
                          .arg(look.palette.cacheKey())
                          .arg(background.color().rgba());
  QPixmap* chrome = chromes.object(key);
  if (chrome == nullptr) {
    QImage picture(QSize(static_cast<int>(std::ceil(tileRect.width() * ratio)),
                         static_cast<int>(std::ceil(tileRect.height() * ratio))),
                   QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(background.color());
    // Once, in bands narrow enough for the outlines' spans to stay on this thread.
    paintImageInBands(
        picture,
        [&](QPainter& on) {
          on.setRenderHint(QPainter::Antialiasing);
          on.translate(-tileRect.topLeft());
          paintTileChrome(on, look);
        },
        12);
    chrome = new QPixmap(QPixmap::fromImage(std::move(picture)));
    chromes.insert(key, chrome);
  }
  paintInBands(painter, tileRect, [&] { painter.drawPixmap(tileRect.topLeft(), *chrome); });
}

// The image, fitted into a square with rounded corners; a placeholder symbol until it has loaded.
void paintTileImage(QPainter& painter, const TileLook& look, const QImage& image) {
  const QRectF& imageArea = look.imageArea;
  painter.save();
  painter.setClipPath(look.imageShape);
  if (!image.isNull()) {
    QSizeF size = image.deviceIndependentSize();
    size.scale(imageArea.size(), Qt::KeepAspectRatio);
    const QRectF target(imageArea.center().x() - size.width() / 2, imageArea.center().y() - size.height() / 2,
                        size.width(), size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
  } else {
    const int placeholder = 28;
    painter.drawPixmap(QRectF(imageArea.center().x() - placeholder / 2.0,
                              imageArea.center().y() - placeholder / 2.0, placeholder, placeholder),
                       symbolPixmap("photo", placeholder, roleColor(ColorRole::tertiary, look.palette),
                                    painter.device()->devicePixelRatioF()),
                       QRectF());
  }
  painter.restore();
}

// The selection badge in the image's top-trailing corner.
void paintSelectionBadge(QPainter& painter, const TileLook& look) {
  const QPalette& palette = look.palette;
  const qreal ratio = painter.device()->devicePixelRatioF();
  const int badge = fontRolePixelSize(FontRole::title3) + 5;
  const QRectF badgeRect(look.imageArea.right() - metrics::kBadgePadding - badge,
                         look.imageArea.top() + metrics::kBadgePadding, badge, badge);
  if (look.selected) {
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(badgeRect.adjusted(2, 2, -2, -2));
    painter.drawPixmap(
        badgeRect, symbolPixmap("checkmark.circle.fill", badge, roleColor(ColorRole::accent, palette), ratio),
        QRectF());
  } else {
    painter.setBrush(roleColor(ColorRole::controlBackground, palette));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(badgeRect.adjusted(1, 1, -1, -1));
    painter.drawPixmap(
        badgeRect, symbolPixmap("circle", badge, roleColor(ColorRole::secondary, palette), ratio), QRectF());
  }
}

// How many lines `path` takes when drawn `width` wide in `font`.
int pathLineCount(const QString& path, const QFont& font, double width) {
  QTextLayout layout(path, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAnywhere);
  layout.setTextOption(option);
  int lines = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    ++lines;
  }
  layout.endLayout();
  return lines;
}

// The file name on one line and the display path on at most two, both elided in the middle; laid
// out only when they are repainted (a new image repaints its own area alone).
void paintTileTexts(QPainter& painter, const TileLook& look, const QModelIndex& index) {
  const QRectF& tile = look.tile;
  const double textTop = look.imageArea.bottom() + metrics::kSpacing;
  const QRectF textArea(tile.left(), textTop, tile.width(), tile.bottom() - textTop);
  if (repaintedRegion(painter, textArea.toAlignedRect()).isEmpty()) return;
  const double textLeft = tile.left() + metrics::kPadding;
  const double textWidth = tile.width() - 2 * metrics::kPadding;
  const QFont nameFont = roleFont(FontRole::subheadline, QFont::DemiBold);
  const QFontMetricsF nameMetrics(nameFont);
  const double nameTop = textTop;
  painter.setFont(nameFont);
  painter.setPen(roleColor(ColorRole::primary, look.palette));
  painter.drawText(QRectF(textLeft, nameTop, textWidth, nameMetrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   nameMetrics.elidedText(index.data(TrashReviewCandidateModel::FileNameRole).toString(),
                                          Qt::ElideMiddle, textWidth));
  const QFont captionFont = roleFont(FontRole::caption);
  const QFontMetricsF captionMetrics(captionFont);
  const double pathTop = nameTop + nameMetrics.height() + metrics::kSpacing;
  const QRectF pathRect(textLeft, pathTop, textWidth, TrashReviewTileDelegate::pathAreaHeight());
  QString displayPath = index.data(TrashReviewCandidateModel::DisplayPathRole).toString();
  if (pathLineCount(displayPath, captionFont, textWidth) > kPathLines) {
    // Two lines' worth of the path, with its middle left out.
    displayPath = captionMetrics.elidedText(displayPath, Qt::ElideMiddle,
                                            2 * textWidth - 3 * captionMetrics.averageCharWidth());
  }
  painter.setFont(captionFont);
  painter.setPen(roleColor(ColorRole::secondary, look.palette));
  painter.drawText(pathRect, kPathFlags, displayPath);
}

}  // namespace

TrashReviewCandidateModel::TrashReviewCandidateModel(TrashModel& trash, ResultsModel& results,
                                                     ViewResourceDisplay resourceDisplay,
                                                     const AppLocalization* localization,
                                                     LocalImageLoader* loader, QObject* parent)
    : QAbstractListModel(parent),
      trash_(&trash),
      results_(&results),
      resourceDisplay_(std::move(resourceDisplay)),
      localization_(localization != nullptr ? localization : &AppLocalization::live()),
      loader_(loader != nullptr ? loader : &LocalImageLoader::shared()),
      records_(trash.trashReviewBrowser().records()) {
  TrashCandidateBrowser& browser = trash.trashReviewBrowser();
  connect(&browser, &TrashCandidateBrowser::recordsChanged, this, &TrashReviewCandidateModel::recordsChanged);
  connect(&browser, &TrashCandidateBrowser::selectedPathsChanged, this,
          &TrashReviewCandidateModel::selectionChanged);
}

TrashReviewCandidateModel::~TrashReviewCandidateModel() {
  for (auto& [path, image] : images_) {
    if (image.ticket != 0) loader_->cancel(image.ticket);
  }
}

int TrashReviewCandidateModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

RecordRef TrashReviewCandidateModel::record(int row) const {
  if (row < 0 || row >= static_cast<int>(records_.size())) return nullptr;
  return records_[static_cast<std::size_t>(row)];
}

QVariant TrashReviewCandidateModel::data(const QModelIndex& index, int role) const {
  const RecordRef record = this->record(index.row());
  if (!record || !trash_) return {};
  const std::string& path = record->file.path;
  const bool selected = trash_->trashReviewBrowser().selectedPaths().contains(path);
  const DeleteCandidateTrashReviewPresentation texts{
      std::nullopt, 0, 0, false, false, std::nullopt, std::nullopt, *localization_, resourceDisplay_};
  switch (role) {
    case PathRole:
      return qtText(path);
    case SelectedRole:
      return selected;
    case Qt::DisplayRole:
    case FileNameRole:
      return qtText(trashFileName(path));
    case DisplayPathRole:
      return qtText(texts.displayPath(path));
    case Qt::AccessibleTextRole:
      return qtText(texts.candidateAccessibilityLabel(trashFileName(path), selected));
    case Qt::AccessibleDescriptionRole:
      return qtText(texts.selectionAccessibilityValue(selected));
    case ImageRole: {
      const auto found = images_.find(path);
      if (found == images_.end() || found->second.requestKey != requestKey(*record)) return QImage();
      return found->second.image;
    }
    default:
      return {};
  }
}

void TrashReviewCandidateModel::toggleSelection(int row) {
  const RecordRef record = this->record(row);
  if (record && trash_) trash_->trashReviewBrowser().toggleSelection(record->file.path);
}

void TrashReviewCandidateModel::tileDidAppear(int row) const {
  const RecordRef record = this->record(row);
  if (!record) return;
  // Once per version of the record: a rewritten file or a new thumbnail counts as a new tile.
  if (!appeared_.insert(record->file.path + '\x1E' + requestKey(*record)).second) return;
  auto* self = const_cast<TrashReviewCandidateModel*>(this);
  QMetaObject::invokeMethod(
      self, [self, path = record->file.path] { self->handleAppearance(path); }, Qt::QueuedConnection);
}

void TrashReviewCandidateModel::handleAppearance(const std::string& path) {
  if (!trash_ || !results_) return;
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [&](const RecordRef& record) { return record->file.path == path; });
  if (found == records_.end()) return;
  const RecordRef record = *found;

  results_->requestThumbnailIfMissing(path);
  TrashModel* trash = trash_.data();
  std::optional<std::string> shownPath = path;
  trash->context().startDetached(
      [trash, shownPath] { return trash->loadMoreDeleteCandidateTrashReviewIfNeeded(shownPath); });

  const TrashReviewTileImageRequest request = trashReviewTileImageRequest(*record);
  const LocalImageLoadRequest load = makeLocalImageLoadRequest(request.path, std::nullopt, request.cacheKey,
                                                               std::nullopt, request.maxPixelSize);
  const std::string key = load.imageCacheKey.value_or(request.path);
  TileImage& tile = images_[path];
  if (tile.requestKey == key && (tile.ticket != 0 || !tile.image.isNull())) return;
  if (tile.ticket != 0) loader_->cancel(tile.ticket);
  tile = TileImage{key, 0, QImage()};
  const auto ticket = loader_->load(*load.path, load.imageCacheKey, load.imageMaxPixelSize,
                                    [this, path, key](const LocalImageDecodeResult& result) {
                                      const auto entry = images_.find(path);
                                      if (entry == images_.end() || entry->second.requestKey != key) return;
                                      entry->second.ticket = 0;
                                      entry->second.image = result.image;
                                      for (std::size_t row = 0; row < records_.size(); ++row) {
                                        if (records_[row]->file.path != path) continue;
                                        const QModelIndex changed = index(static_cast<int>(row));
                                        Q_EMIT dataChanged(changed, changed, {ImageRole});
                                      }
                                    });
  // A cache hit has filled the tile already and handed out no ticket.
  const auto entry = images_.find(path);
  if (entry != images_.end() && entry->second.requestKey == key && entry->second.image.isNull()) {
    entry->second.ticket = ticket;
  }
}

void TrashReviewCandidateModel::dropImage(const std::string& path) {
  const auto found = images_.find(path);
  if (found == images_.end()) return;
  if (found->second.ticket != 0) loader_->cancel(found->second.ticket);
  images_.erase(found);
}

void TrashReviewCandidateModel::recordsChanged() {
  if (!trash_) return;
  std::vector<RecordRef> next = trash_->trashReviewBrowser().records();
  const bool extendsLoaded =
      next.size() >= records_.size() &&
      std::equal(records_.begin(), records_.end(), next.begin(),
                 [](const RecordRef& a, const RecordRef& b) { return a->file.path == b->file.path; });
  if (extendsLoaded) {
    // A further page, and records changed in place (a mark, a thumbnail): rows stay where they are.
    std::vector<int> changedRows;
    for (std::size_t row = 0; row < records_.size(); ++row) {
      if (records_[row] != next[row]) changedRows.push_back(static_cast<int>(row));
    }
    const std::size_t oldCount = records_.size();
    if (next.size() > oldCount) {
      beginInsertRows({}, static_cast<int>(oldCount), static_cast<int>(next.size()) - 1);
      records_ = std::move(next);
      endInsertRows();
    } else {
      records_ = std::move(next);
    }
    for (const int row : changedRows) Q_EMIT dataChanged(index(row), index(row));
  } else {
    beginResetModel();
    records_ = std::move(next);
    endResetModel();
  }
  // Every tile in view counts as appearing again: after a reload or a further page the last tiles
  // are other records or the same ones at the end again, and must be able to ask for the next page.
  appeared_.clear();
  // Images of records no longer listed are not kept.
  std::unordered_set<std::string> listed;
  for (const RecordRef& record : records_) listed.insert(record->file.path);
  std::vector<std::string> gone;
  for (const auto& [path, image] : images_) {
    if (!listed.contains(path)) gone.push_back(path);
  }
  for (const std::string& path : gone) dropImage(path);
}

void TrashReviewCandidateModel::selectionChanged() {
  if (records_.empty()) return;
  Q_EMIT dataChanged(index(0), index(static_cast<int>(records_.size()) - 1),
                     {SelectedRole, Qt::AccessibleTextRole, Qt::AccessibleDescriptionRole});
}

QRectF TrashReviewTileDelegate::imageArea(const QRect& cell) {
  const QRectF tile = QRectF(cell).adjusted(kCellMargin, kCellMargin, -kCellMargin, -kCellMargin);
  const double side = tile.width() - 2 * metrics::kPadding;
  return {tile.left() + metrics::kPadding, tile.top() + metrics::kPadding, side, side};
}

int TrashReviewTileDelegate::tileHeight() const {
  const QFontMetrics name(roleFont(FontRole::subheadline, QFont::DemiBold));
  const int imageSide = tileWidth_ - 2 * metrics::kPadding;
  return metrics::kPadding + imageSide + metrics::kSpacing + name.height() + metrics::kSpacing +
         pathAreaHeight() + metrics::kPadding;
}

int TrashReviewTileDelegate::pathAreaHeight() {
  // A line of a Japanese folder is drawn in the fallback font, taller than a Latin line: two lines
  // of both, laid out as the path is drawn, size the area.
  // Every tile paints it: measured once per caption font (GUI thread only).
  static QString measuredFont;
  static int height = 0;
  const QFont caption = roleFont(FontRole::caption);
  if (caption.key() != measuredFont) {
    const QString twoLines =
        QStringLiteral("Agjpy_ \u5199\u771F\u30D5\u30A9\u30EB\u30C0\n").repeated(kPathLines);
    const QRectF laidOut =
        QFontMetricsF(caption).boundingRect(QRectF(0, 0, 1 << 20, 1 << 20), kPathFlags, twoLines.trimmed());
    height = static_cast<int>(std::ceil(laidOut.height())) + kPathInkSlack;
    measuredFont = caption.key();
  }
  return height;
}

QSize TrashReviewTileDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return {tileWidth_ + 2 * kCellMargin, tileHeight() + 2 * kCellMargin};
}

void TrashReviewTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  const auto* model = qobject_cast<const TrashReviewCandidateModel*>(index.model());
  if (model != nullptr) model->tileDidAppear(index.row());

  const bool selected = index.data(TrashReviewCandidateModel::SelectedRole).toBool();
  const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
  const bool focused = view != nullptr && view->hasFocus() && view->currentIndex() == index;
  const bool hovering = option.state.testFlag(QStyle::State_MouseOver);
  TileLook look{.palette = option.palette,
                .tile = QRectF(option.rect).adjusted(kCellMargin, kCellMargin, -kCellMargin, -kCellMargin),
                .imageArea = imageArea(option.rect),
                .imageShape = {},
                .appearance = trashReviewTileAppearance(selected, focused, hovering),
                .selected = selected,
                .focused = focused,
                .hovering = hovering};
  look.imageShape.addRoundedRect(look.imageArea, metrics::kImageCornerRadius, metrics::kImageCornerRadius);

  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  paintChrome(*painter, look, option.palette.brush(QPalette::Base), chromes_);
  paintTileImage(*painter, look, index.data(TrashReviewCandidateModel::ImageRole).value<QImage>());
  paintSelectionBadge(*painter, look);
  paintTileTexts(*painter, look, index);
  painter->restore();
}

void warmTrashReviewFonts() {
  const QString sample =
      QStringLiteral("Trash 0123.png /Pictures \u5915\u713C\u3051\u30D5\u30A1\u30A4\u30EB");
  const QFont fonts[] = {roleFont(FontRole::subheadline, QFont::DemiBold),
                         roleFont(FontRole::caption),
                         roleFont(FontRole::subheadline),
                         roleFont(FontRole::body),
                         roleFont(FontRole::title3, QFont::DemiBold),
                         QFont()};
  for (const QFont& font : fonts) QFontMetricsF(font).horizontalAdvance(sample);
}

TrashReviewCandidateGrid::TrashReviewCandidateGrid(TrashReviewCandidateModel& model, QWidget* parent)
    : QListView(parent), model_(model), delegate_(new TrashReviewTileDelegate(this)) {
  setObjectName("deleteCandidateReview.candidateGrid");
  setModel(&model);
  setItemDelegate(delegate_);
  setViewMode(QListView::ListMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::NoSelection);
  setSpacing(0);
  setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_Hover);
  setFrameShape(QFrame::NoFrame);
  // The grid lies on the sheet's own background, margins included.
  QPalette background = palette();
  background.setColor(QPalette::Base, background.color(QPalette::Window));
  setPalette(background);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setViewportMargins(kViewMargin, kViewMargin, kViewMargin, kViewMargin);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QListView::clicked, this,
          [this](const QModelIndex& index) { model_.toggleSelection(index.row()); });
  // The review's selection lives in the store; the view's selection model only mirrors it, so
  // that assistive technology reads each tile's selected state from it.
  connect(&model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
            if (roles.isEmpty() || roles.contains(TrashReviewCandidateModel::SelectedRole)) mirrorSelection();
          });
  connect(&model, &QAbstractItemModel::modelReset, this, &TrashReviewCandidateGrid::mirrorSelection);
  connect(&model, &QAbstractItemModel::rowsInserted, this, &TrashReviewCandidateGrid::mirrorSelection);
  updateTileWidth();
  mirrorSelection();
}

void TrashReviewCandidateGrid::mirrorSelection() {
  QItemSelection selection;
  const int rows = model_.rowCount();
  for (int row = 0; row < rows;) {
    if (!model_.index(row).data(TrashReviewCandidateModel::SelectedRole).toBool()) {
      ++row;
      continue;
    }
    int last = row;
    while (last + 1 < rows && model_.index(last + 1).data(TrashReviewCandidateModel::SelectedRole).toBool()) {
      ++last;
    }
    selection.select(model_.index(row), model_.index(last));
    row = last + 1;
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TrashReviewCandidateGrid::updateTileWidth() {
  // The layout's padding is the view's margin plus the cell's; one pixel spare keeps rounding from
  // wrapping the last column.
  const TrashReviewGridLayout layout = trashReviewGridLayout(viewport()->width() + 2 * kViewMargin - 1);
  if (layout.tileWidth == delegate_->tileWidth() && gridSize().isValid()) return;
  delegate_->setTileWidth(layout.tileWidth);
  const QSize cell = delegate_->sizeHint(QStyleOptionViewItem(), QModelIndex());
  setGridSize(cell);
  if (model_.rowCount() > 0) Q_EMIT delegate_->sizeHintChanged(model_.index(0));
}

void TrashReviewCandidateGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                           const QList<int>& roles) {
  if (roles != QList<int>{TrashReviewCandidateModel::ImageRole}) {
    QListView::dataChanged(topLeft, bottomRight, roles);
    return;
  }
  for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
    viewport()->update(TrashReviewTileDelegate::imageArea(visualRect(model_.index(row))).toAlignedRect());
  }
}

void TrashReviewCandidateGrid::resizeEvent(QResizeEvent* event) {
  QListView::resizeEvent(event);
  updateTileWidth();
}

void TrashReviewCandidateGrid::setFooter(QWidget* footer) {
  if (footer_ != nullptr) footer_->removeEventFilter(this);
  footer_ = footer;
  if (footer_ == nullptr) return;
  footer_->setParent(viewport());
  footer_->installEventFilter(this);
  updateGeometries();
}

bool TrashReviewCandidateGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == footer_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide ||
                             event->type() == QEvent::LayoutRequest)) {
    // The footer's height counts in the scroll range only while it shows. A view scrolled to the
    // end stays there when the footer grows (its busy indicator comes), so it shows whole.
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    updateGeometries();
    if (atEnd) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  }
  return QListView::eventFilter(watched, event);
}

void TrashReviewCandidateGrid::updateGeometries() {
  // The list's own range ends with the last row; a layout made while scrolled to the very bottom
  // would otherwise leave the view clamped short of the footer.
  const int valueBefore = verticalScrollBar()->value();
  QListView::updateGeometries();
  const int footerHeight = footer_ != nullptr && !footer_->isHidden() ? footer_->sizeHint().height() : 0;
  if (footerHeight > 0) {
    const int rows = model_.rowCount() > 0 ? contentsSize().height() : 0;
    const int maximum = std::max(rows + footerHeight - viewport()->height(), 0);
    if (maximum > verticalScrollBar()->maximum()) verticalScrollBar()->setMaximum(maximum);
  }
  if (valueBefore > verticalScrollBar()->value()) {
    verticalScrollBar()->setValue(std::min(valueBefore, verticalScrollBar()->maximum()));
  }
  placeFooter();
}

void TrashReviewCandidateGrid::scrollContentsBy(int dx, int dy) {
  QListView::scrollContentsBy(dx, dy);
  placeFooter();
}

void TrashReviewCandidateGrid::placeFooter() {
  if (footer_ == nullptr || footer_->isHidden()) return;
  const int top = (model_.rowCount() > 0 ? contentsSize().height() : 0) - verticalOffset();
  footer_->setGeometry(0, top, viewport()->width(), footer_->sizeHint().height());
}

void TrashReviewCandidateGrid::mousePressEvent(QMouseEvent* event) {
  // The item view scrolls a pressed tile that is cut at the grid's edge into view a double-click
  // interval after the press, under the pointer: the next click would land on another image. Its
  // automatic scroll stays on for the keys.
  setAutoScroll(false);
  QListView::mousePressEvent(event);
  setAutoScroll(true);
}

void TrashReviewCandidateGrid::keyPressEvent(QKeyEvent* event) {
  const bool activates =
      event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool keypadOnly = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (activates && keypadOnly && currentIndex().isValid()) {
    model_.toggleSelection(currentIndex().row());
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

}  // namespace lorvex::ui
