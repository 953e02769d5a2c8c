#include "ui/review/delete_candidate_feedback_overlay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGraphicsEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleHints>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

#include "store/review/review_model.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/review/delete_candidate_feedback_presentation.h"

// Qt's blur of an image, as its drop shadow effect uses it (exported by QtWidgets, declared in no
// public header).
void qt_blurImage(QPainter* painter, QImage& blurImage, qreal radius, bool quality, bool alphaOnly,
                  int transposed = 0);

namespace lorvex::ui {

namespace {
constexpr int kPadding = 12;
constexpr int kSpacing = 12;
constexpr int kCornerRadius = 8;
constexpr int kIconWidth = 24;
constexpr int kCloseSize = 18;
constexpr qreal kShadowBlurRadius = 12;
constexpr QPointF kShadowOffset(0, 4);
constexpr double kShadowOpacity = 0.16;

// The banner's drop shadow, made as Qt's drop shadow effect makes it, but kept. Qt's effect renders
// the whole banner and blurs it again at every repaint that touches it, also when only the view
// under it changed (a sheet that deactivates the main window repaints its scroll bars). The shadow
// depends only on the banner's shape, its rounded box at its size (the contents lie inside the box
// and are opaque over it), so it is made once per size. Each repaint copies the part of the shadow
// in the repainted region, then the banner's part: from the picture of the banner that making the
// shadow took, which Qt keeps until the banner or one of its children changes, else painted anew.
class BannerShadowEffect final : public QGraphicsEffect {
 public:
  explicit BannerShadowEffect(QObject* parent) : QGraphicsEffect(parent) {}

  QRectF boundingRectFor(const QRectF& rect) const override {
    return rect.united(
        rect.translated(kShadowOffset)
            .adjusted(-kShadowBlurRadius, -kShadowBlurRadius, kShadowBlurRadius, kShadowBlurRadius));
  }

  // The banner's look changed in a way that may change its shape.
  void forgetShadow() { shadow_ = QImage(); }

 protected:
  void draw(QPainter* painter) override {
    const QRect source = sourceBoundingRect(Qt::DeviceCoordinates).toAlignedRect();
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatio() : 1.0;
    if (shadow_.isNull() || source.size() != shadowSourceSize_ || ratio != shadow_.devicePixelRatio()) {
      QPoint offset;
      const QPixmap banner = sourcePixmap(Qt::DeviceCoordinates, &offset, PadToEffectiveBoundingRect);
      if (banner.isNull()) return;
      shadow_ = shadowOf(banner);
      shadowSourceSize_ = source.size();
      shadowOffset_ = offset - source.topLeft();
    }
    const QTransform transform = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->drawImage(source.topLeft() + shadowOffset_, shadow_);
    painter->setWorldTransform(transform);
    drawSource(painter);
  }

 private:
  // The steps of Qt's drop shadow filter: the banner's alpha moved by the offset, blurred, in the
  // shadow's colour.
  static QImage shadowOf(const QPixmap& banner) {
    QImage moved(banner.size(), QImage::Format_ARGB32_Premultiplied);
    moved.setDevicePixelRatio(banner.devicePixelRatio());
    moved.fill(0);
    QPainter painter(&moved);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(kShadowOffset, banner);
    painter.end();
    QImage blurred(moved.size(), QImage::Format_ARGB32_Premultiplied);
    blurred.setDevicePixelRatio(banner.devicePixelRatio());
    blurred.fill(0);
    painter.begin(&blurred);
    qt_blurImage(&painter, moved, kShadowBlurRadius, false, true);
    painter.end();
    painter.begin(&blurred);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(blurred.rect(), QColor(0, 0, 0, qRound(255 * kShadowOpacity)));
    painter.end();
    return blurred;
  }

  QImage shadow_;
  QSize shadowSourceSize_;
  QPoint shadowOffset_;
};
FeedbackButtonPress buttonPressOf(const QMouseEvent& event) {
  const QPoint at = event.globalPosition().toPoint();
  return {event.timestamp(), at.x(), at.y(), static_cast<int>(event.button())};
}

int doubleClickInterval() {
  return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

int doubleClickDistance() {
  return QGuiApplication::styleHints()->mouseDoubleClickDistance();
}
}  // namespace

// Armed by a click on one of the banner's buttons: takes the second press of its double-click,
// with the double-click event and the release that follow, from the banner's window before any
// widget sees them, the banner shown or gone. Anything else (a later press, one elsewhere, the
// pointer moved away) disarms it and goes on as usual.
class DeleteCandidateFeedbackOverlay::ClickRemainder final : public QObject {
 public:
  using QObject::QObject;

  void arm(QWindow& window, const FeedbackButtonPress& press) {
    window_ = &window;
    press_ = press;
    taking_ = false;
    if (!installed_) QCoreApplication::instance()->installEventFilter(this);
    installed_ = true;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (window_ == nullptr || watched != window_) return false;
    switch (event->type()) {
      case QEvent::MouseMove: {
        if (taking_) return true;
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        if (!staysWithinDoubleClickDistance(press_, at.x(), at.y(), doubleClickDistance())) disarm();
        return false;
      }
      case QEvent::MouseButtonPress:
        if (!taking_ && continuesFeedbackButtonClick(press_, buttonPressOf(*static_cast<QMouseEvent*>(event)),
                                                     doubleClickInterval(), doubleClickDistance())) {
          taking_ = true;
          return true;
        }
        disarm();
        return false;
      case QEvent::MouseButtonDblClick:
        return taking_;
      case QEvent::MouseButtonRelease:
        if (!taking_) return false;
        disarm();
        return true;
      default:
        return false;
    }
  }

 private:
  void disarm() {
    window_ = nullptr;
    taking_ = false;
    if (installed_) QCoreApplication::instance()->removeEventFilter(this);
    installed_ = false;
  }

  QPointer<QWindow> window_;
  FeedbackButtonPress press_;
  bool taking_ = false;
  bool installed_ = false;
};

DeleteCandidateFeedbackOverlay::DeleteCandidateFeedbackOverlay(ReviewModel& review,
                                                               std::function<void()> undoAction,
                                                               QWidget* host,
                                                               const AppLocalization* localization)
    : QWidget(host),
      review_(&review),
      undoAction_(std::move(undoAction)),
      localization_(localization != nullptr ? localization : &AppLocalization::live()) {
  setObjectName("review.deleteCandidate.feedback");
  setAttribute(Qt::WA_StyledBackground, false);
  setAutoFillBackground(false);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  row->setSpacing(kSpacing);

  icon_ = new QLabel(this);
  icon_->setFixedWidth(kIconWidth);
  icon_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  row->addWidget(icon_, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  message_ = new WrappedTextLabel({}, this);
  message_->setObjectName("review.deleteCandidate.feedback.message");
  message_->setFont(roleFont(FontRole::callout, QFont::DemiBold));
  detail_ = new WrappedTextLabel({}, this);
  detail_->setObjectName("review.deleteCandidate.feedback.detail");
  detail_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*detail_, roleColor(ColorRole::secondary, palette()));
  texts->addWidget(message_);
  texts->addWidget(detail_);
  row->addLayout(texts, 1);

  undo_ = new QPushButton(this);
  undo_->setObjectName("review.deleteCandidate.feedback.undo");
  undo_->setFont(roleFont(FontRole::callout));
  row->addWidget(undo_, 0, Qt::AlignTop);
  connect(undo_, &QPushButton::clicked, this, [this] {
    takeRestOfClick();
    if (undoAction_) undoAction_();
    Q_EMIT actionTaken();
  });

  close_ = new QToolButton(this);
  close_->setObjectName("common.close");
  close_->setAutoRaise(true);
  close_->setIcon(symbolIcon("xmark"));
  close_->setIconSize(QSize(12, 12));
  close_->setFixedSize(kCloseSize, kCloseSize);
  row->addWidget(close_, 0, Qt::AlignTop);
  connect(close_, &QToolButton::clicked, this, [this] {
    takeRestOfClick();
    if (review_) review_->dismissDeleteCandidateFeedback();
    Q_EMIT actionTaken();
  });
  // A click leaves the keyboard where it was; the buttons are still reached with Tab.
  undo_->setFocusPolicy(Qt::TabFocus);
  close_->setFocusPolicy(Qt::TabFocus);
  undo_->installEventFilter(this);
  close_->installEventFilter(this);
  clickRemainder_ = new ClickRemainder(this);

  setGraphicsEffect(new BannerShadowEffect(this));

  host->installEventFilter(this);
  connect(&review, &ReviewModel::deleteCandidateFeedbackChanged, this,
          &DeleteCandidateFeedbackOverlay::refresh);
  connect(&review, &ReviewModel::canUndoDeleteCandidateActionChanged, this,
          &DeleteCandidateFeedbackOverlay::refresh);
  connect(&review, &ReviewModel::deleteCandidateRestoreTaskChanged, this,
          &DeleteCandidateFeedbackOverlay::refresh);
  refresh();
}

void DeleteCandidateFeedbackOverlay::refresh() {
  const auto banner = review_
                          ? makeDeleteCandidateFeedbackBannerPresentation(
                                review_->deleteCandidateFeedback(), review_->canUndoDeleteCandidateAction(),
                                static_cast<bool>(review_->deleteCandidateRestoreTask()), *localization_)
                          : std::nullopt;
  // Without feedback nothing is drawn and nothing is in the way of the content's clicks.
  setAttribute(Qt::WA_TransparentForMouseEvents, !banner.has_value());
  if (!banner) {
    hide();
    return;
  }
  const QColor accent = roleColor(ColorRole::accent, palette());
  icon_->setPixmap(
      symbolPixmap(banner->symbol, fontRolePixelSize(FontRole::title3) + 3, accent, devicePixelRatioF()));
  message_->setText(qtText(banner->message));
  detail_->setVisible(banner->detail.has_value());
  detail_->setText(qtText(banner->detail.value_or("")));
  undo_->setText(mnemonicSafe(qtText(banner->undoTitle)));
  undo_->setVisible(banner->showsUndo);
  undo_->setEnabled(banner->undoEnabled);
  setPlainToolTip(*close_, qtText(banner->closeLabel));
  close_->setAccessibleName(qtText(banner->closeLabel));
  setAccessibleName(message_->text());
  placeOverHost();
  show();
  raise();
}

void DeleteCandidateFeedbackOverlay::placeOverHost() {
  QWidget* host = parentWidget();
  if (host == nullptr) return;
  const int width = std::max(0, std::min(kMaximumWidth, host->width() - 2 * kSideInset));
  const int height = layout()->hasHeightForWidth() ? layout()->heightForWidth(width) : sizeHint().height();
  setGeometry((host->width() - width) / 2, kTopInset, width,
              std::max(height, layout()->minimumSize().height()));
}

void DeleteCandidateFeedbackOverlay::takeRestOfClick() {
  // A click made with the keyboard has no press to continue.
  const std::optional<FeedbackButtonPress> press = std::exchange(buttonPress_, std::nullopt);
  QWindow* window = this->window()->windowHandle();
  if (press && window != nullptr) clickRemainder_->arm(*window, *press);
}

bool DeleteCandidateFeedbackOverlay::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == undo_ || watched == close_) &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    buttonPress_ = buttonPressOf(*static_cast<QMouseEvent*>(event));
  }
  // Placed again whenever the host's size may have changed, shown yet or not.
  if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Show) &&
      !isHidden()) {
    placeOverHost();
  }
  return QWidget::eventFilter(watched, event);
}

void DeleteCandidateFeedbackOverlay::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    if (auto* shadow = dynamic_cast<BannerShadowEffect*>(graphicsEffect())) shadow->forgetShadow();
  }
}

void DeleteCandidateFeedbackOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath shape;
  shape.addRoundedRect(box, kCornerRadius, kCornerRadius);
  painter.fillPath(shape, palette().color(QPalette::Window));
  painter.setPen(QPen(withOpacity(roleColor(ColorRole::secondary, palette()), 0.18), 1));
  painter.drawPath(shape);
}

QWidget* makeDeleteCandidateFeedbackOverlay(ReviewModel& review, std::function<void()> undoAction,
                                            QWidget* host) {
  return new DeleteCandidateFeedbackOverlay(review, std::move(undoAction), host);
}

}  // namespace lorvex::ui
