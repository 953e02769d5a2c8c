#include "ui/sidebar/indexing_progress_card.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "store/library/library_model.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

using Presentation = IndexingProgressOverlayPresentation;

IndexingProgressCard::IndexingProgressCard(LibraryModel& library, const AppLocalization& localizer,
                                           QWidget* parent)
    : QFrame(parent), library_(library), localizer_(localizer) {
  setObjectName("indexing.card");
  setFrameShape(QFrame::NoFrame);
  setMinimumWidth(Presentation::kMinimumWidth);
  setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(Presentation::kPadding, Presentation::kPadding, Presentation::kPadding,
                             Presentation::kPadding);
  layout->setSpacing(Presentation::kSpacing);
  layout->addWidget(new BusyIndicator(BusyIndicator::Size::large, this), 0, Qt::AlignHCenter);
  message_ = makePlainLabel({}, this);
  message_->setFont(roleFont(FontRole::headline));
  message_->setAlignment(Qt::AlignCenter);
  layout->addWidget(message_, 0, Qt::AlignHCenter);
  unavailable_ = makePlainLabel(qtText(Presentation::unavailableText(localizer)), this);
  unavailable_->setFont(roleFont(FontRole::caption));
  unavailable_->setAlignment(Qt::AlignCenter);
  setForegroundColor(*unavailable_, roleColor(ColorRole::secondary));
  layout->addWidget(unavailable_, 0, Qt::AlignHCenter);
  for (const auto signal : {&LibraryModel::isPreparingLibraryChanged, &LibraryModel::isIndexingChanged,
                            &LibraryModel::indexingProgressChanged}) {
    connect(&library, signal, this, &IndexingProgressCard::refresh);
  }
  refresh();
}

QString IndexingProgressCard::message() const {
  return message_->text();
}

void IndexingProgressCard::refresh() {
  Presentation presentation{library_.isPreparingLibrary(), library_.isIndexing(),
                            library_.indexingProgress()};
  if (shown_ == presentation) return;
  shown_ = presentation;
  message_->setText(qtText(presentation.message(localizer_)));
  setAccessibleName(message_->text() + ", " + unavailable_->text());
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
