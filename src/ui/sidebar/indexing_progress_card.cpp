#include "ui/sidebar/indexing_progress_card.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "store/library/library_model.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {

using Presentation = IndexingProgressOverlayPresentation;

IndexingProgressCard::IndexingProgressCard(LibraryModel& library, const AppLocalization& localizer,
                                           QWidget* parent, ViewResourceDisplay resourceDisplay)
    : QFrame(parent), library_(library), localizer_(localizer), resourceDisplay_(std::move(resourceDisplay)) {
  setObjectName("indexing.card");
  setFrameShape(QFrame::NoFrame);
  setMinimumWidth(Presentation::kMinimumWidth);
  setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(Presentation::kPadding, Presentation::kPadding, Presentation::kPadding,
                             Presentation::kPadding);
  layout->setSpacing(Presentation::kSpacing);
  busy_ = new BusyIndicator(BusyIndicator::Size::large, this);
  layout->addWidget(busy_, 0, Qt::AlignHCenter);
  symbol_ = new QLabel(this);
  layout->addWidget(symbol_, 0, Qt::AlignHCenter);
  message_ = new WrappedTextLabel({}, this);
  message_->setObjectName("indexing.card.message");
  message_->setFont(roleFont(FontRole::headline));
  message_->setAlignment(Qt::AlignHCenter);
  layout->addWidget(message_);
  unavailable_ = makePlainLabel(qtText(Presentation::unavailableText(localizer)), this);
  unavailable_->setFont(roleFont(FontRole::caption));
  unavailable_->setAlignment(Qt::AlignCenter);
  setForegroundColor(*unavailable_, roleColor(ColorRole::secondary));
  layout->addWidget(unavailable_, 0, Qt::AlignHCenter);
  reason_ = new WrappedTextLabel({}, this);
  reason_->setObjectName("indexing.card.reason");
  layout->addWidget(reason_);
  location_ = new WrappedTextLabel({}, this);
  location_->setObjectName("indexing.card.location");
  location_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*location_, roleColor(ColorRole::secondary));
  layout->addWidget(location_);
  for (const auto signal :
       {&LibraryModel::isPreparingLibraryChanged, &LibraryModel::isIndexingChanged,
        &LibraryModel::indexingProgressChanged, &LibraryModel::libraryOpenFailureChanged}) {
    connect(&library, signal, this, &IndexingProgressCard::refresh);
  }
  refresh();
}

QString IndexingProgressCard::message() const {
  return message_->text();
}

void IndexingProgressCard::refresh() {
  const std::optional<LibraryOpenFailure>& failure = library_.libraryOpenFailure();
  std::optional<LibraryUnavailablePresentation> unavailable;
  if (failure) unavailable = LibraryUnavailablePresentation::make(*failure, localizer_, resourceDisplay_);
  Presentation presentation{library_.isPreparingLibrary(), library_.isIndexing(),
                            library_.indexingProgress()};
  if (shown_ == presentation && shownUnavailable_ == unavailable) return;
  shown_ = presentation;
  shownUnavailable_ = unavailable;

  busy_->setVisible(!unavailable || unavailable->showsProgress);
  symbol_->setVisible(unavailable && !unavailable->showsProgress);
  if (unavailable && !unavailable->showsProgress) {
    symbol_->setPixmap(symbolPixmap("exclamationmark.triangle", 32, roleColor(ColorRole::yellow, palette()),
                                    devicePixelRatioF()));
  }
  unavailable_->setVisible(!unavailable);
  reason_->setVisible(unavailable.has_value());
  location_->setVisible(unavailable && unavailable->location);
  // While it explains a failure its texts wrap to a fixed width; while it shows progress it fits its
  // one line.
  setMinimumWidth(unavailable ? kUnavailableWidth : Presentation::kMinimumWidth);
  setMaximumWidth(unavailable ? kUnavailableWidth : QWIDGETSIZE_MAX);
  if (unavailable) {
    message_->setText(qtText(unavailable->title));
    reason_->setText(qtText(unavailable->reason));
    location_->setText(qtText(unavailable->location.value_or(std::string())));
    setAccessibleName(message_->text() + ", " + reason_->text());
    // The texts wrap to the card's width: its height is what they take there, which the fixed
    // vertical policy would not ask them for.
    setFixedHeight(layout()->totalHeightForWidth(kUnavailableWidth));
  } else {
    message_->setText(qtText(presentation.message(localizer_)));
    setAccessibleName(message_->text() + ", " + unavailable_->text());
    setMinimumHeight(0);
    setMaximumHeight(QWIDGETSIZE_MAX);
  }
  updateGeometry();
}

void IndexingProgressCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), Presentation::kCornerRadius,
                      Presentation::kCornerRadius);
  painter.fillPath(path, roleColor(ColorRole::windowBackground, palette()));
  painter.setPen(QPen(withOpacity(roleColor(ColorRole::secondary, palette()), 0.2), 1));
  painter.drawPath(path);
}

}  // namespace lorvex::ui
