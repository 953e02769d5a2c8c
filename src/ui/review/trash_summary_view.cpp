#include "ui/review/trash_summary_view.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

namespace {

QPushButton* makeSmallButton(const std::string& title, std::string_view symbol, const char* objectName,
                             QWidget* parent) {
  auto* button = new QPushButton(mnemonicSafe(qtText(title)), parent);
  button->setObjectName(objectName);
  button->setIcon(symbolIcon(symbol));
  button->setFont(roleFont(FontRole::callout));
  return button;
}

QLabel* makeLabel(const QString& text, FontRole font, QWidget* parent, QFont::Weight weight = QFont::Normal) {
  QLabel* label = makePlainLabel(text, parent);
  label->setFont(roleFont(font, weight));
  return label;
}

// One line that elides in the middle, for names and paths.
class MiddleElidedLabel : public QLabel {
 public:
  MiddleElidedLabel(QString text, QWidget* parent) : QLabel(parent), full_(std::move(text)) {
    makePlain(*this);
    setMinimumWidth(40);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setAccessibleName(full_);
  }
  QString fullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, width()));
  }

 private:
  QString full_;
};

}  // namespace

TrashFailureRecoverySheet::TrashFailureRecoverySheet(const TrashFailureRecoveryPresentation& presentation,
                                                     bool canRetryFailures,
                                                     std::function<void()> requestRetryConfirmation,
                                                     QWidget* parent)
    : QDialog(parent),
      presentation_(presentation),
      requestRetryConfirmation_(std::move(requestRetryConfirmation)) {
  setObjectName("deleteCandidateReview.recovery");
  setWindowModality(Qt::WindowModal);
  setFixedWidth(620);
  setMinimumHeight(420);
  const AppLocalization& localizer = presentation_.localizer;
  setWindowTitle(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryTitle)));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 20, 20, 20);
  column->setSpacing(14);

  auto* header = new QHBoxLayout;
  auto* headerIcon = new QLabel(this);
  headerIcon->setPixmap(symbolPixmap("exclamationmark.triangle", 16, roleColor(ColorRole::primary, palette()),
                                     devicePixelRatioF()));
  header->addWidget(headerIcon);
  QLabel* title = makeLabel(windowTitle(), FontRole::headline, this, QFont::DemiBold);
  title->setObjectName("deleteCandidateReview.recovery.title");
  header->addWidget(title);
  header->addStretch(1);
  auto* close = new QPushButton(mnemonicSafe(qtText(localizer.lookup(Key::commonClose))), this);
  close->setObjectName("common.close");
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects as well
  header->addWidget(close);
  column->addLayout(header);

  QLabel* guidance = makeLabel(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryRetryGuidance)),
                               FontRole::subheadline, this);
  guidance->setWordWrap(true);
  setForegroundColor(*guidance, roleColor(ColorRole::secondary, palette()));
  column->addWidget(guidance);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("deleteCandidateReview.recovery.failures");
  scroll->setWidgetResizable(true);
  scroll->setMinimumHeight(180);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* list = new QWidget(scroll);
  auto* rows = new QVBoxLayout(list);
  rows->setSpacing(10);
  for (const TrashFailureRecoveryRow& row : presentation_.rows()) {
    auto* entry = new QFrame(list);
    entry->setObjectName(qtText("deleteCandidateReview.recovery.row." + row.id));
    entry->setFrameShape(QFrame::NoFrame);
    auto* lines = new QVBoxLayout(entry);
    lines->setContentsMargins(0, 6, 0, 6);
    lines->setSpacing(3);
    auto* name = new MiddleElidedLabel(qtText(row.fileName), entry);
    name->setObjectName("fileName");
    name->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
    QLabel* message = makeLabel(qtText(row.message), FontRole::caption, entry);
    message->setObjectName("message");
    message->setWordWrap(true);
    setForegroundColor(*message, roleColor(ColorRole::red, palette()));
    auto* path = new MiddleElidedLabel(qtText(row.displayPath), entry);
    path->setObjectName("displayPath");
    path->setFont(roleFont(FontRole::caption2));
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setForegroundColor(*path, roleColor(ColorRole::secondary, palette()));
    lines->addWidget(name);
    lines->addWidget(message);
    lines->addWidget(path);
    rows->addWidget(entry);
    auto* divider = new QFrame(list);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    rows->addWidget(divider);
  }
  rows->addStretch(1);
  scroll->setWidget(list);
  column->addWidget(scroll, 1);

  QLabel* finality = makeLabel(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryFinality)),
                               FontRole::caption, this);
  finality->setWordWrap(true);
  setForegroundColor(*finality, roleColor(ColorRole::secondary, palette()));
  column->addWidget(finality);

  auto* actions = new QHBoxLayout;
  QPushButton* copy = makeSmallButton(localizer.lookup(Key::deleteCandidateReviewRecoveryCopyDiagnostics),
                                      "doc.on.doc", "deleteCandidateReview.recovery.copyDiagnostics", this);
  copy->setAutoDefault(false);
  connect(copy, &QPushButton::clicked, this,
          [this] { copyTextToClipboard(presentation_.diagnosticsText()); });
  actions->addWidget(copy);
  actions->addStretch(1);
  retry_ = makeSmallButton(localizer.lookup(Key::deleteCandidateReviewRecoveryRetryFailed), "arrow.clockwise",
                           "deleteCandidateReview.recovery.retryFailed", this);
  retry_->setAutoDefault(false);
  connect(retry_, &QPushButton::clicked, this, [this] {
    // Closed first, so the confirmation is asked over the review sheet alone.
    std::function<void()> request = requestRetryConfirmation_;
    reject();
    if (request) request();
  });
  actions->addWidget(retry_);
  column->addLayout(actions);
  setCanRetryFailures(canRetryFailures);
  resize(620, 520);
}

void TrashFailureRecoverySheet::setCanRetryFailures(bool canRetryFailures) {
  retry_->setEnabled(canRetryFailures);
}

TrashSummaryView::TrashSummaryView(std::function<void()> requestRetryConfirmation, QWidget* parent)
    : QWidget(parent), requestRetryConfirmation_(std::move(requestRetryConfirmation)) {
  setObjectName("deleteCandidateReview.summary");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(18, 10, 18, 10);
  column->setSpacing(6);
  headline_ = makeLabel({}, FontRole::caption, this);
  headline_->setObjectName("deleteCandidateReview.summary.headline");
  headline_->setWordWrap(true);
  column->addWidget(headline_);
  failureLines_ = new QVBoxLayout;
  failureLines_->setSpacing(6);
  column->addLayout(failureLines_);
  overflow_ = makeLabel({}, FontRole::caption2, this);
  overflow_->setObjectName("deleteCandidateReview.summary.failureOverflow");
  setForegroundColor(*overflow_, roleColor(ColorRole::secondary, palette()));
  column->addWidget(overflow_);

  buttons_ = new QWidget(this);
  auto* row = new QHBoxLayout(buttons_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  details_ = new QPushButton(buttons_);
  details_->setObjectName("deleteCandidateReview.recovery.details");
  details_->setIcon(symbolIcon("list.bullet.rectangle"));
  details_->setFont(roleFont(FontRole::callout));
  details_->setAutoDefault(false);
  connect(details_, &QPushButton::clicked, this, &TrashSummaryView::presentRecovery);
  retry_ = new QPushButton(buttons_);
  retry_->setObjectName("deleteCandidateReview.recovery.retryFailed");
  retry_->setIcon(symbolIcon("arrow.clockwise"));
  retry_->setFont(roleFont(FontRole::callout));
  retry_->setAutoDefault(false);
  connect(retry_, &QPushButton::clicked, this, [this] {
    if (requestRetryConfirmation_) requestRetryConfirmation_();
  });
  row->addWidget(details_);
  row->addWidget(retry_);
  row->addStretch(1);
  column->addWidget(buttons_);
}

void TrashSummaryView::setSummary(const TrashSummaryPresentation& presentation,
                                  const TrashFailureRecoveryPresentation& recovery, bool canRetryFailures) {
  recovery_ = recovery;
  canRetryFailures_ = canRetryFailures;
  const AppLocalization& localizer = presentation.localizer;
  headline_->setText(qtText(presentation.headlineText()));
  setForegroundColor(*headline_, presentation.hasFailures() ? QColor(0xE6, 0x7E, 0x22)
                                                            : roleColor(ColorRole::secondary, palette()));

  while (QLayoutItem* item = failureLines_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  int index = 0;
  for (const ImageTrashFailure& failure : presentation.visibleFailures()) {
    auto* line = new MiddleElidedLabel(qtText(presentation.failureLineText(failure)), this);
    line->setObjectName(QStringLiteral("deleteCandidateReview.summary.failure.%1").arg(index++));
    line->setFont(roleFont(FontRole::caption2));
    setForegroundColor(*line, roleColor(ColorRole::red, palette()));
    failureLines_->addWidget(line);
  }
  const std::optional<std::string> overflow = presentation.failureOverflowText();
  overflow_->setVisible(overflow.has_value());
  overflow_->setText(qtText(overflow.value_or("")));

  buttons_->setVisible(presentation.hasFailures());
  details_->setText(mnemonicSafe(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryDetails))));
  retry_->setText(mnemonicSafe(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryRetryFailed))));
  retry_->setEnabled(canRetryFailures);
  if (recoverySheet_) recoverySheet_->setCanRetryFailures(canRetryFailures);
}

void TrashSummaryView::presentRecovery() {
  if (!recovery_) return;
  if (recoverySheet_) {
    recoverySheet_->raise();
    return;
  }
  auto* sheet =
      new TrashFailureRecoverySheet(*recovery_, canRetryFailures_, requestRetryConfirmation_, window());
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  recoverySheet_ = sheet;
  sheet->open();
}

}  // namespace lorvex::ui
