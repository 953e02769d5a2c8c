#include "ui/results/results_header.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/header_action_button.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/results/active_filter_summary_bar.h"

namespace lorvex::ui {

ResultsHeader::ResultsHeader(ResultsModel& results, FiltersModel& filters,
                             ImageLibraryPresentationState& presentation, StoreProjections& projections,
                             StoreContext& context, AppLocalization localizer,
                             std::function<void()> showShortcutHelp, QWidget* parent)
    : QWidget(parent),
      results_(results),
      filters_(filters),
      presentationState_(presentation),
      context_(context),
      localizer_(std::move(localizer)),
      showShortcutHelp_(std::move(showShortcutHelp)) {
  setObjectName("results.header");
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Window);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* row = new QHBoxLayout();
  row_ = row;
  row->setContentsMargins(12, 8, 12, 8);
  row->setSpacing(8);
  auto* statusGroup = new QHBoxLayout();
  statusGroup->setSpacing(8);
  busy_ = new BusyIndicator(BusyIndicator::Size::small, this);
  status_ = makePlainLabel({}, this);
  status_->setObjectName("results.status");
  status_->setFont(roleFont(FontRole::headline));
  statusGroup->addWidget(busy_);
  statusGroup->addWidget(status_);
  row->addLayout(statusGroup);
  row->addStretch(1);

  shortcutHelp_ = new QToolButton(this);
  shortcutHelp_->setObjectName("results.shortcutHelp");
  shortcutHelp_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  shortcutHelp_->setIcon(symbolIcon("keyboard"));
  shortcutHelp_->setAutoRaise(true);
  connect(shortcutHelp_, &QToolButton::clicked, this, [this] {
    if (showShortcutHelp_) showShortcutHelp_();
  });
  row->addWidget(shortcutHelp_);

  sort_ = new QComboBox(this);
  sort_->setObjectName("results.sort");
  sort_->setFixedWidth(ResultsHeaderPresentation::kSortMenuWidth);
  // A sort chosen with the mouse leaves the keyboard with the grid; Tab still reaches the menu.
  sort_->setFocusPolicy(Qt::TabFocus);
  connect(sort_, &QComboBox::activated, this, [this](int index) {
    if (index < 0 || index >= static_cast<int>(presentation_.sortOptions.size())) return;
    const ImageSearchSort sort = presentation_.sortOptions[static_cast<std::size_t>(index)].sort;
    context_.startDetached([filters = &filters_, sort] { return chooseSearchSort(*filters, sort); });
  });
  row->addWidget(sort_);

  slideshow_ = new HeaderActionButton({}, this);
  slideshow_->setObjectName("results.slideshow");
  connect(slideshow_, &QAbstractButton::clicked, this,
          [this] { toggleSlideshowFromHeader(presentationState_, results_); });
  row->addWidget(slideshow_);
  column->addLayout(row);

  filterSummary_ =
      new ActiveFilterSummaryBar(filters_, presentationState_, projections, context_, localizer_, this);
  column->addWidget(filterSummary_);

  for (auto signal : {&ResultsModel::isLoadingChanged, &ResultsModel::isLoadingNextPageChanged}) {
    connect(&results_, signal, this, [this] { rebuildSoon_.schedule(); });
  }
  connect(&projections, &StoreProjections::derivedValuesChanged, this, [this] { rebuildSoon_.schedule(); });
  connect(&filters_, &FiltersModel::searchSortChanged, this, [this] { rebuildSoon_.schedule(); });
  connect(&results_.resultWindow(), &SearchResultWindow::recordsChanged, this,
          [this] { rebuildSoon_.schedule(); });
  connect(&results_.resultWindow(), &SearchResultWindow::hasMoreRecordsChanged, this,
          [this] { rebuildSoon_.schedule(); });
  connect(&presentationState_, &ImageLibraryPresentationState::isSlideshowPresentedChanged, this,
          [this] { rebuildSoon_.schedule(); });
  rebuild();
}

void ResultsHeader::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // A hairline under the bar: the grid below shares its background. The line is translucent, so
  // Qt's raster painter blends it a pixel at a time and hands a long one to its helper threads;
  // drawn under clips of a few dozen pixels each, it stays on this thread.
  constexpr int kHairlinePiece = 64;
  QPainter painter(this);
  painter.setPen(roleColor(ColorRole::separator, palette()));
  for (int x = 0; x < width(); x += kHairlinePiece) {
    painter.setClipRect(QRect(x, 0, kHairlinePiece, height()));
    painter.drawLine(0, height() - 1, width(), height() - 1);
  }
}

void ResultsHeader::rebuild() {
  ResultsHeaderPresentation next =
      ResultsHeaderPresentation::make(results_, filters_, presentationState_, localizer_);
  if (built_ && next == presentation_) return;
  const bool optionsChanged = !built_ || next.sortOptions != presentation_.sortOptions;
  built_ = true;
  presentation_ = std::move(next);

  busy_->setVisible(presentation_.showsProgress);
  status_->setText(qtText(presentation_.statusText));

  const QString shortcutHelpTitle = mnemonicSafe(qtText(presentation_.shortcutHelpTitle));
  if (shortcutHelpTitle != shortcutHelp_->text()) {
    shortcutHelp_->setText(shortcutHelpTitle);
    const Qt::ToolButtonStyle shown = shortcutHelp_->toolButtonStyle();
    shortcutHelp_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const int titled = shortcutHelp_->sizeHint().width();
    shortcutHelp_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    shortcutHelpTitleWidth_ = titled - shortcutHelp_->sizeHint().width();
    shortcutHelp_->setToolButtonStyle(shown);
  }
  setPlainToolTip(*shortcutHelp_, qtText(presentation_.shortcutHelpMenuTitle));
  shortcutHelp_->setAccessibleName(qtText(presentation_.shortcutHelpMenuTitle));

  {
    // The menu follows the filters' sort; only a choice made in it may change the sort.
    const QSignalBlocker blocker(sort_);
    if (optionsChanged) {
      sort_->clear();
      for (const SearchSortOption& option : presentation_.sortOptions) {
        sort_->addItem(qtText(option.title), qtText(option.identifier));
      }
    }
    sort_->setCurrentIndex(static_cast<int>(presentation_.selectedSortIndex));
  }
  sort_->setEnabled(presentation_.isSortEnabled);
  sort_->setAccessibleName(qtText(presentation_.sortLabel));

  const QString slideshowTitle = qtText(presentation_.slideshowTitle);
  slideshow_->setTitle(slideshowTitle);
  slideshow_->setSymbol(std::string(presentation_.slideshowState.systemImage()));
  slideshow_->setColorRole(presentation_.slideshowState.colorRole());
  setPlainToolTip(*slideshow_, slideshowTitle);
  slideshow_->setAccessibleDescription(qtText(presentation_.slideshowAccessibilityValue));
  slideshow_->setEnabled(presentation_.isSlideshowEnabled);
}

bool ResultsHeader::event(QEvent* event) {
  // The layout has taken in what changed (a status text, the spinner, the slideshow title) by the
  // time its request reaches the header.
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::LayoutRequest) fitShortcutHelp();
  return handled;
}

void ResultsHeader::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitShortcutHelp();
}

void ResultsHeader::fitShortcutHelp() {
  const bool titled = shortcutHelp_->toolButtonStyle() == Qt::ToolButtonTextBesideIcon;
  const int minimumWithoutTitle = row_->minimumSize().width() - (titled ? shortcutHelpTitleWidth_ : 0);
  const bool showsTitle = showsShortcutHelpTitle(width(), minimumWithoutTitle, shortcutHelpTitleWidth_);
  if (showsTitle != titled) {
    shortcutHelp_->setToolButtonStyle(showsTitle ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
  }
}

}  // namespace lorvex::ui
