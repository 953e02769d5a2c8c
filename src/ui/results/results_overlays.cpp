#include "ui/results/results_overlays.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/common/busy_indicator.h"
#include "ui/common/clip_rect_painting.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {

SearchProgressIndicator::SearchProgressIndicator(const AppLocalization& localizer, QWidget* parent)
    : QWidget(parent) {
  setObjectName("results.searching");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 12, 16, 12);
  row->setSpacing(10);
  row->addWidget(new BusyIndicator(BusyIndicator::Size::small, this));
  const QString text = qtText(searchingIndicatorText(localizer));
  auto* label = makePlainLabel(text, this);
  label->setFont(roleFont(FontRole::headline));
  row->addWidget(label);
  setAccessibleName(text);
}

void SearchProgressIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
  // Translucent and antialiased: in narrow bands, each drawn at once on this thread.
  paintInBands(
      painter, rect(),
      [&] {
        painter.fillPath(shape, withOpacity(roleColor(ColorRole::windowBackground, palette()), 0.94));
        painter.setPen(QPen(withOpacity(roleColor(ColorRole::secondary, palette()), 0.2), 1));
        painter.drawPath(shape);
      },
      kAntialiasedBandDeviceLines);
}

EmptyResultsOverlay::EmptyResultsOverlay(EmptyResultsActions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
  setObjectName("results.empty");
  auto* column = new QVBoxLayout(this);
  column->setSpacing(10);
  busy_ = new BusyIndicator(BusyIndicator::Size::large, this);
  column->addWidget(busy_, 0, Qt::AlignHCenter);
  symbol_ = new QLabel(this);
  column->addWidget(symbol_, 0, Qt::AlignHCenter);
  title_ = new WrappedTextLabel({}, this);
  title_->setFont(roleFont(FontRole::title3, QFont::DemiBold));
  title_->setAlignment(Qt::AlignHCenter);
  column->addWidget(title_);
  auto* descriptions = new QVBoxLayout();
  descriptions->setSpacing(8);
  for (WrappedTextLabel** label : {&description_, &secondary_}) {
    *label = new WrappedTextLabel({}, this);
    (*label)->setAlignment(Qt::AlignHCenter);
    setForegroundColor(**label, roleColor(ColorRole::secondary, palette()));
    descriptions->addWidget(*label);
  }
  column->addLayout(descriptions);
  button_ = new QPushButton(this);
  button_->setObjectName("results.empty.chooseFolder");
  connect(button_, &QPushButton::clicked, this, &EmptyResultsOverlay::runAction);
  column->addWidget(button_, 0, Qt::AlignHCenter);
  setMaximumWidth(460);
}

void EmptyResultsOverlay::setPresentation(const EmptyResultsPresentation& presentation) {
  presentation_ = presentation;
  busy_->setVisible(presentation_.showsProgress);
  symbol_->setPixmap(symbolPixmap(presentation_.systemImage, 40, roleColor(ColorRole::secondary, palette()),
                                  devicePixelRatioF()));
  title_->setText(qtText(presentation_.title));
  description_->setText(qtText(presentation_.description));
  secondary_->setVisible(presentation_.secondaryDescription.has_value());
  secondary_->setText(qtText(presentation_.secondaryDescription.value_or(std::string())));
  button_->setVisible(presentation_.showsPrimaryAction());
  button_->setText(mnemonicSafe(qtText(presentation_.primaryActionTitle.value_or(std::string()))));
  setAccessibleName(title_->text());
  adjustSize();
}

void EmptyResultsOverlay::runAction() {
  if (!presentation_.primaryAction) return;
  std::visit(
      [this](const auto& action) {
        using Action = std::decay_t<decltype(action)>;
        if constexpr (std::is_same_v<Action, EmptyResultsPrimaryAction::AllowAccess>) {
          if (actions_.allowAccess) actions_.allowAccess(action.path);
        } else if constexpr (std::is_same_v<Action, EmptyResultsPrimaryAction::ChooseFolder>) {
          if (actions_.chooseFolder) actions_.chooseFolder();
        } else {
          if (actions_.resetFilters) actions_.resetFilters();
        }
      },
      presentation_.primaryAction->value);
}

}  // namespace lorvex::ui
