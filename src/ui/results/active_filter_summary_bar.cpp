#include "ui/results/active_filter_summary_bar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>
#include <set>

#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {
namespace {

using Metrics = ActiveFilterSummaryStyleMetrics;

// A capsule button: symbol, then the title on one line (cut in the middle at the chip's width).
// The review-mode chip is orange; the reset button is semibold with a stronger border.
class FilterChipButton : public QAbstractButton {
 public:
  enum class Look { chip, reviewChip, reset };

  FilterChipButton(const QString& title, std::string symbol, Look look, QWidget* parent)
      : QAbstractButton(parent), title_(title), symbol_(std::move(symbol)), look_(look) {
    setFont(roleFont(FontRole::subheadline, look == Look::reset ? QFont::DemiBold : QFont::Normal));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(title);
  }

  QSize sizeHint() const override {
    const int text = QFontMetrics(font()).horizontalAdvance(title_) + 1;
    int width =
        2 * Metrics::kChipHorizontalPadding + Metrics::kChipIconWidth + Metrics::kChipIconSpacing + text;
    if (look_ != Look::reset) width = std::min(width, Metrics::kChipMaximumWidth);
    return {width, QFontMetrics(font()).height() + 2 * Metrics::kChipVerticalPadding};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = bounds.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, radius, radius);
    const QColor orange(255, 149, 0);
    const QColor primary = roleColor(ColorRole::primary, palette());
    const QColor secondary = roleColor(ColorRole::secondary, palette());
    QColor fill;
    QColor stroke;
    QColor foreground;
    switch (look_) {
      case Look::chip:
        fill = withOpacity(secondary, 0.1);
        stroke = withOpacity(secondary, 0.2);
        foreground = primary;
        break;
      case Look::reviewChip:
        fill = withOpacity(orange, 0.14);
        stroke = withOpacity(orange, 0.45);
        foreground = orange;
        break;
      case Look::reset:
        fill = withOpacity(primary, isDown() ? 0.12 : 0.08);
        stroke = withOpacity(primary, 0.22);
        foreground = primary;
        break;
    }
    if (isDown() && look_ != Look::reset) fill = withOpacity(fill, 0.65);
    // Translucent and antialiased: in narrow bands, each drawn at once on this thread.
    paintInBands(
        painter, rect(),
        [&] {
          painter.fillPath(capsule, fill);
          painter.setPen(QPen(stroke, 1));
          painter.drawPath(capsule);
        },
        kAntialiasedBandDeviceLines);

    const qreal dpr = devicePixelRatioF();
    const int iconSize = Metrics::kChipIconWidth;
    const QPixmap icon = symbolPixmap(symbol_, iconSize, foreground, dpr);
    const int left = Metrics::kChipHorizontalPadding;
    painter.drawPixmap(QPointF(left, (height() - iconSize) / 2.0), icon);
    const int textLeft = left + iconSize + Metrics::kChipIconSpacing;
    const int textWidth = width() - textLeft - Metrics::kChipHorizontalPadding;
    painter.setPen(foreground);
    const QString shown = QFontMetrics(font()).elidedText(
        title_, look_ == Look::reset ? Qt::ElideRight : Qt::ElideMiddle, std::max(textWidth, 0));
    painter.drawText(QRect(textLeft, 0, std::max(textWidth, 0), height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  }

 private:
  QString title_;
  std::string symbol_;
  Look look_;
};

// Over the chip row's viewport while the row is wider than its room: a cue at each edge, in its
// place for as long as the row overflows. A cue with chips beyond it fades the row into the bar's
// background under a chevron, and a click on it scrolls the row by one chip that way; a cue with
// nothing left its way shows its chevron dimmed, and a click on it does nothing. The row keeps a
// cue's width at each end (chipRowEnds), so at either end of its scroll no chip lies under a cue.
// Elsewhere clicks pass through to the chips, and wheel turns go on to the row.
class ChipRowEdgeCue final : public QWidget {
 public:
  static constexpr int kFadeWidth = 28;

  explicit ChipRowEdgeCue(QScrollArea& area) : QWidget(area.viewport()), area_(area) {
    setObjectName("results.filterSummary.more");
    setCursor(Qt::PointingHandCursor);
    const QScrollBar* bar = area.horizontalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this] { follow(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this] { follow(); });
    hide();
  }

  void follow() {
    const QScrollBar* bar = area_.horizontalScrollBar();
    before_ = bar->value() > bar->minimum();
    after_ = bar->value() < bar->maximum();
    setGeometry(area_.viewport()->rect());
    // Only the edges take the pointer.
    setMask(QRegion(0, 0, kFadeWidth, height()) + QRegion(width() - kFadeWidth, 0, kFadeWidth, height()));
    setVisible(bar->maximum() > bar->minimum());
    raise();
    update();
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return event->ignore();
    const bool forward = event->position().x() >= width() / 2.0;
    if (!(forward ? after_ : before_)) return;  // nothing left that way
    std::vector<ChipRowSpan> items;
    if (const QLayout* layout = area_.widget() != nullptr ? area_.widget()->layout() : nullptr) {
      for (int index = 0; index < layout->count(); ++index) {
        if (const QWidget* item = layout->itemAt(index)->widget()) {
          items.push_back({item->geometry().left(), item->geometry().left() + item->width()});
        }
      }
    }
    QScrollBar* bar = area_.horizontalScrollBar();
    bar->setValue(chipRowCueScrollTarget(items, bar->value(), bar->maximum(), width(), kFadeWidth, forward));
  }

  void paintEvent(QPaintEvent*) override {
    constexpr int kChevronSize = 10;
    QPainter painter(this);
    const QColor background = roleColor(ColorRole::windowBackground, palette());
    const auto chevron = [this](const char* symbol, bool enabled) {
      return symbolPixmap(symbol, kChevronSize,
                          roleColor(enabled ? ColorRole::secondary : ColorRole::tertiary, palette()),
                          devicePixelRatioF());
    };
    const qreal chevronTop = (height() - kChevronSize) / 2.0;
    if (before_) {
      QLinearGradient fade(0, 0, kFadeWidth, 0);
      fade.setColorAt(0.35, background);
      fade.setColorAt(1, withOpacity(background, 0));
      painter.fillRect(QRect(0, 0, kFadeWidth, height()), fade);
    }
    painter.drawPixmap(QPointF(2, chevronTop), chevron("chevron.left", before_));
    if (after_) {
      QLinearGradient fade(width() - kFadeWidth, 0, width(), 0);
      fade.setColorAt(0, withOpacity(background, 0));
      fade.setColorAt(0.65, background);
      painter.fillRect(QRect(width() - kFadeWidth, 0, kFadeWidth, height()), fade);
    }
    painter.drawPixmap(QPointF(width() - kChevronSize - 2, chevronTop), chevron("chevron.right", after_));
  }

 private:
  QScrollArea& area_;
  bool before_ = false;
  bool after_ = false;
};

// The row scrolls sideways only, and a mouse has a vertical wheel: a vertical turn, plain or with
// Shift (which some systems deliver as a horizontal one), moves the row along. A turn the row
// cannot follow (at its end, or with nothing hidden) goes on to the header.
class ChipRowScrollArea final : public QScrollArea {
 public:
  explicit ChipRowScrollArea(QWidget* parent) : QScrollArea(parent), cue_(new ChipRowEdgeCue(*this)) {}

  // Gives the row the ends it needs at the room it has now.
  void fitEnds() {
    QLayout* layout = widget() != nullptr ? widget()->layout() : nullptr;
    if (layout == nullptr) return;
    const QMargins margins = layout->contentsMargins();
    const int items = layout->minimumSize().width() - margins.left() - margins.right();
    const ChipRowEnds ends =
        chipRowEnds(items, viewport()->width(), Metrics::kBarHorizontalPadding, ChipRowEdgeCue::kFadeWidth);
    if (ends.leading != margins.left() || ends.trailing != margins.right())
      layout->setContentsMargins(ends.leading, 0, ends.trailing, 0);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    QScrollBar* bar = horizontalScrollBar();
    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    int delta = 0;
    if (!pixels.isNull()) {
      delta = pixels.y() != 0 ? pixels.y() : pixels.x();
    } else {
      const int eighths = angle.y() != 0 ? angle.y() : angle.x();
      delta = eighths * QApplication::wheelScrollLines() * bar->singleStep() / 120;
    }
    const int before = bar->value();
    bar->setValue(before - delta);
    event->setAccepted(bar->value() != before);
  }

  void resizeEvent(QResizeEvent* event) override {
    QScrollArea::resizeEvent(event);
    fitEnds();
    cue_->follow();
  }

 private:
  ChipRowEdgeCue* cue_;
};

}  // namespace

ActiveFilterSummaryBar::ActiveFilterSummaryBar(FiltersModel& filters,
                                               const ImageLibraryPresentationState& presentation,
                                               StoreProjections& projections, StoreContext& context,
                                               AppLocalization localizer, QWidget* parent)
    : QWidget(parent),
      filters_(filters),
      presentationState_(presentation),
      context_(context),
      localizer_(std::move(localizer)),
      presentation_{{}, localizer_} {
  setObjectName("results.filterSummary");
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, Metrics::kBarHorizontalPadding, Metrics::kBarBottomPadding);
  outer->setSpacing(Metrics::kItemSpacing);
  scroll_ = new ChipRowScrollArea(this);
  scroll_->setObjectName("results.filterSummary.scroll");
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidgetResizable(true);
  scroll_->viewport()->setAutoFillBackground(false);
  row_ = new QWidget(scroll_);
  row_->setAutoFillBackground(false);
  rowLayout_ = new QHBoxLayout(row_);
  rowLayout_->setContentsMargins(Metrics::kBarHorizontalPadding, 0, 0, 0);
  rowLayout_->setSpacing(Metrics::kItemSpacing);
  scroll_->setWidget(row_);
  outer->addWidget(scroll_, 1);
  // Reset Filters stays at the bar's end, beside the chips however many there are.
  const QString resetText = qtText(presentation_.resetAllText());
  auto* reset = new FilterChipButton(resetText, std::string(kActiveFilterResetSymbol),
                                     FilterChipButton::Look::reset, this);
  reset->setObjectName("results.filterReset");
  setPlainToolTip(*reset, resetText);
  connect(reset, &QAbstractButton::clicked, this,
          [this] { context_.startDetached([filters = &filters_] { return resetActiveFilters(*filters); }); });
  outer->addWidget(reset);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

  connect(&filters_, &FiltersModel::filtersChanged, this, [this] { rebuildSoon_.schedule(); });
  connect(&projections, &StoreProjections::derivedValuesChanged, this, [this] { rebuildSoon_.schedule(); });
  rebuild();
}

void ActiveFilterSummaryBar::rebuild() {
  ActiveFilterSummaryPresentation next = ActiveFilterSummaryPresentation::make(
      ActiveFilterSummaryInputs::from(filters_, presentationState_, context_), localizer_);
  if (built_ && next == presentation_) return;
  built_ = true;
  std::set<std::string> shownBefore;
  for (const ActiveFilterSummaryItem& item : presentation_.items) shownBefore.insert(item.id());
  presentation_ = std::move(next);
  QWidget* added = nullptr;  // the first chip of a filter just added

  while (QLayoutItem* item = rowLayout_->takeAt(0)) {
    if (QWidget* widget = item->widget()) widget->deleteLater();
    delete item;
  }
  setVisible(!presentation_.isEmpty());
  if (presentation_.isEmpty()) return;

  auto* title = makePlainLabel(qtText(presentation_.titleText()), row_);
  title->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
  setForegroundColor(*title, roleColor(ColorRole::secondary, palette()));
  rowLayout_->addWidget(title);
  for (const ActiveFilterSummaryItem& item : presentation_.items) {
    auto* chip = new FilterChipButton(
        qtText(item.title), std::string(kActiveFilterChipSymbol),
        item.isReviewMode ? FilterChipButton::Look::reviewChip : FilterChipButton::Look::chip, row_);
    chip->setObjectName(qtText("results.filterChip." + item.id()));
    const QString clear = qtText(presentation_.clearText(item));
    setPlainToolTip(*chip, clear);
    chip->setAccessibleName(clear);
    connect(chip, &QAbstractButton::clicked, this, [this, kind = item.kind] {
      context_.startDetached([filters = &filters_, kind] { return removeActiveFilter(*filters, kind); });
    });
    rowLayout_->addWidget(chip);
    if (added == nullptr && !shownBefore.contains(item.id())) added = chip;
  }
  rowLayout_->addStretch(1);
  // Children added to a shown row stay hidden until the next turn, and a layout leaves hidden
  // widgets out of its size: shown now, they count in the height the row is given.
  for (int index = 0; index < rowLayout_->count(); ++index) {
    if (QWidget* widget = rowLayout_->itemAt(index)->widget()) widget->show();
  }
  scroll_->setFixedHeight(row_->sizeHint().height());
  // The row's new width counts at once, and a filter just added shows its chip clear of the cues.
  static_cast<ChipRowScrollArea*>(scroll_)->fitEnds();
  rowLayout_->activate();
  QEvent layoutRequest(QEvent::LayoutRequest);
  QCoreApplication::sendEvent(scroll_, &layoutRequest);
  if (added != nullptr) scroll_->ensureWidgetVisible(added, ChipRowEdgeCue::kFadeWidth, 0);
}

}  // namespace lorvex::ui
