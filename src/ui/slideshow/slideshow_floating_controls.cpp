#include "ui/slideshow/slideshow_floating_controls.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "store/context/store_context.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"
#include "store/review/review_model.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/floating_toolbar.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/slideshow/slideshow_stepper_control.h"

namespace lorvex::ui {

namespace {

QLabel* makeValueLabel(qreal opacity, QWidget* parent) {
  QLabel* label = makePlainLabel(QString(), parent);
  label->setFont(floatingControlValueFont());
  setForegroundColor(*label, withOpacity(Qt::white, opacity));
  label->setFixedHeight(SlideshowFloatingControls::kControlHeight);
  return label;
}

}  // namespace

std::vector<QFont> warmSlideshowControlFonts(const AppLocalization& localization) {
  using Key = AppLocalizationKey;
  const QString sample = QStringLiteral("0123456789 / + \u2212 ") +
                         qtText(localization.lookup(Key::slideshowVisibleCountLabel)) +
                         qtText(localization.lookup(Key::slideshowIntervalLabel));
  // The steppers' buttons: the interface font at their style sheet's 17 px.
  QFont stepper = QGuiApplication::font();
  stepper.setPixelSize(17);
  std::vector<QFont> fonts{floatingControlValueFont(), stepper};
  for (const QFont& font : fonts) QFontMetricsF(font).horizontalAdvance(sample);
  return fonts;
}

SlideshowFloatingControls::SlideshowFloatingControls(SlideshowModels models,
                                                     std::function<void()> closeAction,
                                                     const AppLocalization& localization, QWidget* parent)
    : QWidget(parent), models_(models), closeAction_(std::move(closeAction)), localization_(localization) {
  setObjectName(qtText(accessibility_id::kSlideshowControls));
  setAttribute(Qt::WA_TranslucentBackground);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  layout->setSpacing(kSpacing);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  position_ = makeValueLabel(0.9, this);
  position_->setObjectName(qtText(accessibility_id::kSlideshowPosition));
  position_->setAlignment(Qt::AlignCenter);
  position_->setMinimumWidth(kPositionMinimumWidth);
  layout->addWidget(position_);
  layout->addWidget(new FloatingToolbarDivider(this));

  ReviewModel* review = &models_.review;
  ResultsModel* results = &models_.results;
  ImageLibraryPresentationState* presentation = &models_.presentation;
  StoreContext* context = &models_.context;
  previous_ = addButton(SlideshowControlFocus::previous, [review] { review->showPreviousSlideshowImages(); });
  next_ = addButton(SlideshowControlFocus::next, [context, review] {
    context->startDetached([review] { return review->showNextSlideshowImages(); });
  });
  playback_ = addButton(SlideshowControlFocus::playback, [results] { results->toggleSlideshowPlayback(); });
  layout->addWidget(previous_);
  layout->addWidget(next_);
  layout->addWidget(playback_);

  layout->addWidget(makeValueGroup(SlideshowControlFocus::visibleCount, visibleCountLabel_,
                                   visibleCountValue_, kVisibleCountMinimumWidth, visibleCountStepper_,
                                   kMinimumSlideshowVisibleCount, kMaximumSlideshowVisibleCount, 1));
  visibleCountStepper_->onWrite = [presentation](double requested) {
    presentation->setSlideshowVisibleCount(
        slideshowVisibleCountToWrite(static_cast<int>(std::lround(requested))));
  };
  layout->addWidget(new FloatingToolbarDivider(this));

  layout->addWidget(makeValueGroup(SlideshowControlFocus::interval, intervalLabel_, intervalValue_,
                                   kIntervalMinimumWidth, intervalStepper_, kMinimumSlideshowIntervalSeconds,
                                   kMaximumSlideshowIntervalSeconds, kSlideshowIntervalStepSeconds));
  intervalStepper_->onWrite = [presentation](double requested) {
    presentation->setSlideshowIntervalSeconds(normalizeInterval(requested));
  };
  layout->addWidget(new FloatingToolbarDivider(this));

  favorite_ = addButton(SlideshowControlFocus::favorite, [review] { review->toggleFocusedRecordFavorite(); });
  deleteCandidate_ = addButton(SlideshowControlFocus::deleteCandidate,
                               [review] { review->toggleFocusedRecordDeleteCandidate(); });
  layout->addWidget(favorite_);
  layout->addWidget(deleteCandidate_);
  layout->addWidget(new FloatingToolbarDivider(this));
  close_ = addButton(SlideshowControlFocus::close, [this] {
    const auto close = closeAction_;
    if (close) close();
  });
  layout->addWidget(close_);
  refresh();
}

FloatingToolbarButton* SlideshowFloatingControls::addButton(SlideshowControlFocus control,
                                                            std::function<void()> action) {
  auto* button = new FloatingToolbarButton(QString(), std::string(), this);
  button->setObjectName(qtText(slideshowControlIdentifier(control)));
  connect(button, &FloatingToolbarButton::clicked, this, [action = std::move(action)] { action(); });
  controls_[control] = button;
  return button;
}

QWidget* SlideshowFloatingControls::makeValueGroup(SlideshowControlFocus control, QLabel*& label,
                                                   QLabel*& value, int valueMinimumWidth,
                                                   StepperControl*& stepper, double minimum, double maximum,
                                                   double step) {
  auto* group = new QWidget(this);
  auto* layout = new QHBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kGroupSpacing);
  label = makeValueLabel(0.72, group);
  value = makeValueLabel(0.92, group);
  value->setMinimumWidth(valueMinimumWidth);
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  stepper = new StepperControl(minimum, maximum, step, group);
  stepper->setObjectName(qtText(slideshowControlIdentifier(control)));
  layout->addWidget(label);
  layout->addWidget(value);
  layout->addWidget(stepper);
  group->setFixedHeight(kControlHeight);
  controls_[control] = stepper;
  return group;
}

void SlideshowFloatingControls::applyButton(FloatingToolbarButton& button,
                                            const SlideshowButtonPresentation& presentation) {
  const QString title = qtText(presentation.title);
  if (button.title() != title) button.setTitle(title);
  if (button.systemImage() != presentation.symbol) button.setSystemImage(presentation.symbol);
  button.setActive(presentation.isActive);
  button.setEnabled(presentation.isEnabled);
}

void SlideshowFloatingControls::refresh() {
  presentation_ = makeSlideshowFloatingControlsPresentation(
      slideshowControlsState(models_.results, models_.presentation, models_.projections), localization_);
  position_->setText(qtText(presentation_.positionText));
  position_->setAccessibleName(position_->text());
  applyButton(*previous_, presentation_.previous);
  applyButton(*next_, presentation_.next);
  applyButton(*playback_, presentation_.playback);
  applyButton(*favorite_, presentation_.favorite);
  applyButton(*deleteCandidate_, presentation_.deleteCandidate);
  applyButton(*close_, presentation_.close);

  const auto applyGroup = [](const SlideshowValueGroupPresentation& group, QLabel& label, QLabel& value,
                             StepperControl& stepper, double current) {
    label.setText(qtText(group.label));
    value.setText(qtText(group.value));
    stepper.setTitle(qtText(group.controlTitle));
    stepper.setValueText(qtText(group.value));
    stepper.setValue(current);
  };
  applyGroup(presentation_.visibleCount, *visibleCountLabel_, *visibleCountValue_, *visibleCountStepper_,
             models_.presentation.slideshowVisibleCount());
  applyGroup(presentation_.interval, *intervalLabel_, *intervalValue_, *intervalStepper_,
             models_.presentation.slideshowIntervalSeconds());
}

std::optional<SlideshowControlFocus> SlideshowFloatingControls::controlOf(const QWidget* widget) const {
  for (const QWidget* current = widget; current != nullptr && current != this;
       current = current->parentWidget()) {
    for (const auto& [control, controlWidget] : controls_) {
      if (controlWidget == current) return control;
    }
  }
  return std::nullopt;
}

QWidget* SlideshowFloatingControls::controlWidget(SlideshowControlFocus control) const {
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second;
}

void SlideshowFloatingControls::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
  // Qt hands an antialiased path of more than about a hundred spans to helper threads and waits
  // for them; a few rows of the bar at a time stay below that, so the bar is drawn in bands.
  constexpr int kBandDeviceLines = 12;
  paintInBands(
      painter, rect(),
      [&] {
        // A thin dark material: the images behind show through, the white controls stay legible.
        painter.fillPath(shape, QColor(28, 28, 30, 196));
        painter.setPen(QPen(QColor(255, 255, 255, 36), 1));
        painter.drawPath(shape);
      },
      kBandDeviceLines);
}

}  // namespace lorvex::ui
