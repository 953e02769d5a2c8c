#include "ui/review/trash_summary_view.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

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

WrappedTextLabel* makeWrappedLabel(const QString& text, FontRole font, QWidget* parent) {
  auto* label = new WrappedTextLabel(text, parent);
  label->setFont(roleFont(font));
  return label;
}

// The recovery list lays out this many rows per turn of the event loop.
constexpr int kRowBatchSize = 200;

// One failure: the file name and its shown path on one line each (shortened in the middle) and the
// message (red) wrapped to as many lines as it needs. Failures of one move mostly share their
// message: its wrapping is measured once per width.
//
// A clicked row's path opens as selectable text in a line edit, over the path's line: that line is
// as high as the line edit needs to show its text whole, so the field covers neither the message
// above it nor cuts its own descenders.
class TrashFailureRowDelegate : public QStyledItemDelegate {
 public:
  explicit TrashFailureRowDelegate(QListView* view)
      : QStyledItemDelegate(view),
        view_(view),
        nameHeight_(textLineHeight(nameFont())),
        pathHeight_(std::max(textLineHeight(pathFont()), pathEditorHeight())) {}

  static QFont nameFont() { return roleFont(FontRole::subheadline, QFont::DemiBold); }
  static QFont messageFont() { return roleFont(FontRole::caption); }
  static QFont pathFont() { return roleFont(FontRole::caption2); }

  static void preparePathEditor(QLineEdit& editor) {
    editor.setObjectName("deleteCandidateReview.recovery.path");
    editor.setReadOnly(true);
    editor.setFrame(false);
    editor.setFont(pathFont());
    editor.setTextMargins(0, 0, 0, 0);
    editor.setContentsMargins(0, 0, 0, 0);
  }
  static int pathEditorHeight() {
    QLineEdit editor;
    preparePathEditor(editor);
    return editor.sizeHint().height();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int width = rowWidth(option);
    const int height =
        nameHeight_ +
        wrapped(index.data(TrashFailureRecoveryListModel::MessageRole).toString(), width).height +
        pathHeight_ + 2 * kLineSpacing + 2 * kVerticalPadding;
    return {width, height};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    const QRect area = option.rect.adjusted(0, kVerticalPadding, 0, -kVerticalPadding);
    const QPalette& palette = option.palette;
    int y = area.top();
    const auto line = [&](const QFont& font, int height, const QColor& color, const QString& text) {
      painter->setFont(font);
      painter->setPen(color);
      painter->drawText(QRect(area.left(), y, area.width(), height), Qt::AlignLeft | Qt::AlignVCenter,
                        QFontMetrics(font).elidedText(text, Qt::ElideMiddle, area.width()));
      y += height + kLineSpacing;
    };
    line(nameFont(), nameHeight_, roleColor(ColorRole::primary, palette),
         index.data(Qt::DisplayRole).toString());
    const WrappedText& message =
        wrapped(index.data(TrashFailureRecoveryListModel::MessageRole).toString(), area.width());
    painter->setFont(messageFont());
    painter->setPen(roleColor(ColorRole::red, palette));
    drawWrappedText(*painter, QRect(area.left(), y, area.width(), message.height), message);
    y += message.height + kLineSpacing;
    line(pathFont(), pathHeight_, roleColor(ColorRole::secondary, palette),
         index.data(TrashFailureRecoveryListModel::DisplayPathRole).toString());
    painter->setPen(roleColor(ColorRole::separator, palette));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }

  // The path as read-only text, selected, over the row's path line.
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
    auto* editor = new QLineEdit(parent);
    preparePathEditor(*editor);
    return editor;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* field = static_cast<QLineEdit*>(editor);
    field->setText(index.data(TrashFailureRecoveryListModel::DisplayPathRole).toString());
    field->selectAll();
  }
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex&) const override {
    editor->setGeometry(option.rect.left(), option.rect.bottom() - kVerticalPadding - pathHeight_ + 1,
                        option.rect.width(), pathHeight_);
  }

 private:
  static constexpr int kLineSpacing = 3;
  static constexpr int kVerticalPadding = 6;

  int rowWidth(const QStyleOptionViewItem& option) const {
    return std::max(option.rect.width() > 0 ? option.rect.width() : view_->viewport()->width(), 1);
  }
  const WrappedText& wrapped(const QString& text, int width) const {
    if (width != wrapWidth_) {
      wraps_.clear();
      wrapWidth_ = width;
    }
    auto found = wraps_.find(text);
    if (found == wraps_.end()) found = wraps_.insert(text, wrapText(text, messageFont(), width));
    return *found;
  }

  QListView* view_;
  const int nameHeight_;
  const int pathHeight_;
  mutable int wrapWidth_ = -1;
  mutable QHash<QString, WrappedText> wraps_;
};

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
  void setFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    setAccessibleName(full_);
    setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, width()));
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, width()));
  }

 private:
  QString full_;
};

}  // namespace

TrashFailureRecoveryListModel::TrashFailureRecoveryListModel(TrashFailureRecoveryPresentation presentation,
                                                             QObject* parent)
    : QAbstractListModel(parent), presentation_(std::move(presentation)) {}

int TrashFailureRecoveryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(presentation_.rowCount());
}

const TrashFailureRecoveryRow& TrashFailureRecoveryListModel::rowAt(int row) const {
  if (row != builtRow_) {
    built_ = presentation_.row(static_cast<std::size_t>(row));
    builtRow_ = row;
  }
  return built_;
}

QVariant TrashFailureRecoveryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TrashFailureRecoveryRow& row = rowAt(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return qtText(row.fileName);
    case MessageRole:
      return qtText(row.message);
    case DisplayPathRole:
      return qtText(row.displayPath);
    case IdentifierRole:
      return qtText("deleteCandidateReview.recovery.row." + row.id);
    case Qt::AccessibleTextRole:
      return qtText(row.fileName + ", " + row.message);
    case Qt::ToolTipRole:
      return toolTipHtml(qtText(row.displayPath));
    default:
      return {};
  }
}

Qt::ItemFlags TrashFailureRecoveryListModel::flags(const QModelIndex& index) const {
  return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}

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

  auto* guidance = makeWrappedLabel(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryRetryGuidance)),
                                    FontRole::subheadline, this);
  setForegroundColor(*guidance, roleColor(ColorRole::secondary, palette()));
  column->addWidget(guidance);

  list_ = new QListView(this);
  list_->setObjectName("deleteCandidateReview.recovery.failures");
  list_->setModel(new TrashFailureRecoveryListModel(presentation_, list_));
  list_->setItemDelegate(new TrashFailureRowDelegate(list_));
  // Rows differ in height (their messages wrap) and follow the list's width; they are measured a
  // batch per turn of the event loop, so thousands never hold the GUI thread at once.
  list_->setResizeMode(QListView::Adjust);
  list_->setLayoutMode(QListView::Batched);
  list_->setBatchSize(kRowBatchSize);
  list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setMinimumHeight(180);
  list_->setFrameShape(QFrame::NoFrame);
  QPalette background = list_->palette();
  background.setColor(QPalette::Base, background.color(QPalette::Window));
  list_->setPalette(background);
  // A clicked row's path becomes selectable (and selected) text.
  connect(list_, &QListView::clicked, list_, [list = list_](const QModelIndex& index) { list->edit(index); });
  column->addWidget(list_, 1);

  auto* finality = makeWrappedLabel(qtText(localizer.lookup(Key::deleteCandidateReviewRecoveryFinality)),
                                    FontRole::caption, this);
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
  headline_ = makeWrappedLabel({}, FontRole::caption, this);
  headline_->setObjectName("deleteCandidateReview.summary.headline");
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

  // The lines shown stay and only take their new texts: the view is set again on every change of
  // the review (a tile selected), and lines made anew would show a turn later, the section short
  // meanwhile, moving the tiles above it under the pointer.
  const std::vector<ImageTrashFailure> failures = presentation.visibleFailures();
  const int lineCount = static_cast<int>(failures.size());
  while (failureLines_->count() > lineCount) {
    QLayoutItem* item = failureLines_->takeAt(failureLines_->count() - 1);
    delete item->widget();
    delete item;
  }
  for (int index = 0; index < lineCount; ++index) {
    const QString text = qtText(presentation.failureLineText(failures[static_cast<std::size_t>(index)]));
    if (index < failureLines_->count()) {
      static_cast<MiddleElidedLabel*>(failureLines_->itemAt(index)->widget())->setFullText(text);
      continue;
    }
    auto* line = new MiddleElidedLabel(text, this);
    line->setObjectName(QStringLiteral("deleteCandidateReview.summary.failure.%1").arg(index));
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
