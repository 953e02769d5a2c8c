#include "ui/sidebar/scan_failure_sheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {
namespace {

constexpr int kSheetWidth = 680;
constexpr int kSheetMinimumHeight = 460;
constexpr int kListMinimumHeight = 180;
constexpr int kListIdealHeight = 320;

// One failure: the file name and its shown path on one line each (shortened in the middle), the
// message (red) and the guidance wrapped to as many lines as they need, so a row grows with its
// text rather than cutting it.
class ScanFailureRowDelegate : public QStyledItemDelegate {
 public:
  explicit ScanFailureRowDelegate(QListView* view) : QStyledItemDelegate(view), view_(view) {}

  static QFont nameFont() { return roleFont(FontRole::subheadline, QFont::DemiBold); }
  static QFont captionFont() { return roleFont(FontRole::caption); }
  static QFont pathFont() { return roleFont(FontRole::caption2); }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int width = std::max(option.rect.width() > 0 ? option.rect.width() : view_->viewport()->width(), 1);
    const ScanFailureRecoveryRow& row =
        static_cast<const ScanFailureListModel*>(index.model())->rowAt(index.row());
    const int height = textLineHeight(nameFont()) +
                       wrapText(qtText(row.message), captionFont(), width).height +
                       wrapText(qtText(row.guidance), captionFont(), width).height +
                       textLineHeight(pathFont()) + 3 * kLineSpacing + 2 * kVerticalPadding;
    return {width, height};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const auto* model = static_cast<const ScanFailureListModel*>(index.model());
    const ScanFailureRecoveryRow& row = model->rowAt(index.row());
    painter->save();
    const QRect area = option.rect.adjusted(0, kVerticalPadding, 0, -kVerticalPadding);
    int y = area.top();
    // A line of the font's full height: one of QFontMetrics::height() cut the underscores of the
    // paths.
    const auto line = [&](const QFont& font, const QColor& color, const QString& text) {
      const int height = textLineHeight(font);
      painter->setFont(font);
      painter->setPen(color);
      painter->drawText(QRect(area.left(), y, area.width(), height), Qt::AlignLeft | Qt::AlignVCenter,
                        QFontMetrics(font).elidedText(text, Qt::ElideMiddle, area.width()));
      y += height + kLineSpacing;
    };
    const auto wrapped = [&](const QFont& font, const QColor& color, const QString& text) {
      const WrappedText lines = wrapText(text, font, area.width());
      painter->setFont(font);
      painter->setPen(color);
      drawWrappedText(*painter, QRect(area.left(), y, area.width(), lines.height), lines);
      y += lines.height + kLineSpacing;
    };
    const QPalette& palette = option.palette;
    line(nameFont(), roleColor(ColorRole::primary, palette), qtText(row.fileName));
    wrapped(captionFont(), roleColor(ColorRole::red, palette), qtText(row.message));
    wrapped(captionFont(), roleColor(ColorRole::secondary, palette), qtText(row.guidance));
    line(pathFont(), roleColor(ColorRole::secondary, palette), qtText(row.displayPath));
    painter->setPen(roleColor(ColorRole::separator, palette));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }

 private:
  static constexpr int kLineSpacing = 4;
  static constexpr int kVerticalPadding = 6;
  QListView* view_;
};

template <typename Label>
Label* captionLabel(Label* label) {
  label->setFont(roleFont(FontRole::caption));
  setForegroundColor(*label, roleColor(ColorRole::secondary));
  return label;
}

}  // namespace

ScanFailureListModel::ScanFailureListModel(QObject* parent) : QAbstractListModel(parent) {}

void ScanFailureListModel::setRows(std::vector<ScanFailureRecoveryRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int ScanFailureListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ScanFailureListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const ScanFailureRecoveryRow& row = rowAt(index.row());
  if (role == Qt::DisplayRole) return qtText(row.fileName);
  if (role == Qt::AccessibleTextRole) return qtText(row.fileName + ", " + row.message);
  if (role == Qt::ToolTipRole) return toolTipHtml(qtText(row.displayPath));
  return {};
}

ScanFailureDiagnosticsSheet::ScanFailureDiagnosticsSheet(QWidget* parent,
                                                         std::function<void()> requestReauthorization,
                                                         std::function<void()> requestRescan)
    : QDialog(parent) {
  setObjectName("scanFailure.sheet");
  setWindowModality(Qt::WindowModal);
  setFixedWidth(kSheetWidth);
  setMinimumHeight(kSheetMinimumHeight);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  content_ = new QWidget(this);
  outer->addWidget(content_);
  auto* layout = new QVBoxLayout(content_);
  layout->setContentsMargins(20, 20, 20, 20);
  layout->setSpacing(14);

  auto* header = new QHBoxLayout;
  auto* icon = new QLabel(content_);
  icon->setPixmap(
      symbolPixmap("exclamationmark.triangle", 16, roleColor(ColorRole::primary), devicePixelRatioF()));
  header->addWidget(icon);
  title_ = makePlainLabel({}, content_);
  title_->setFont(roleFont(FontRole::headline, QFont::DemiBold));
  header->addWidget(title_);
  header->addStretch(1);
  close_ = new QPushButton(content_);
  close_->setAutoDefault(false);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);  // Escape rejects as well
  header->addWidget(close_);
  layout->addLayout(header);

  auto* details = new QVBoxLayout;
  details->setSpacing(5);
  summary_ = new WrappedTextLabel({}, content_);
  summary_->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
  details->addWidget(summary_);
  context_ = captionLabel(new WrappedTextLabel({}, content_));
  details->addWidget(context_);
  // The folders, which a person may select: broken anywhere inside a path, Japanese between its
  // phrases, at most two whole lines, cut in the middle when there are more.
  roots_ = captionLabel(new SelectableWrappedText(content_));
  roots_->setObjectName("scanFailure.roots");
  roots_->setMaximumLineCount(2);
  details->addWidget(roots_);
  guidance_ = captionLabel(new WrappedTextLabel({}, content_));
  details->addWidget(guidance_);
  layout->addLayout(details);

  model_ = new ScanFailureListModel(this);
  list_ = new QListView(content_);
  list_->setObjectName("scanFailure.list");
  list_->setModel(model_);
  list_->setItemDelegate(new ScanFailureRowDelegate(list_));
  // Rows differ in height (their texts wrap) and follow the list's width.
  list_->setResizeMode(QListView::Adjust);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setMinimumHeight(kListMinimumHeight);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  list_->resize(list_->width(), kListIdealHeight);
  connect(list_, &QListView::customContextMenuRequested, this, &ScanFailureDiagnosticsSheet::showRowMenu);
  layout->addWidget(list_, 1);

  auto* footer = new QHBoxLayout;
  copy_ = new QPushButton(symbolIcon("doc.on.doc"), {}, content_);
  copy_->setObjectName("scanFailure.copy");
  copy_->setAutoDefault(false);
  connect(copy_, &QPushButton::clicked, this, [this] {
    if (presentation_) copyTextToClipboard(presentation_->diagnosticsText);
  });
  footer->addWidget(copy_);
  footer->addStretch(1);
  reauthorize_ = new QPushButton(symbolIcon("lock.open"), {}, content_);
  reauthorize_->setObjectName("scanFailure.reauthorize");
  reauthorize_->setAutoDefault(false);
  connect(reauthorize_, &QPushButton::clicked, this, [requestReauthorization] { requestReauthorization(); });
  footer->addWidget(reauthorize_);
  rescan_ = new QPushButton(symbolIcon("arrow.clockwise"), {}, content_);
  rescan_->setObjectName("scanFailure.rescan");
  rescan_->setAutoDefault(false);
  connect(rescan_, &QPushButton::clicked, this, [requestRescan] { requestRescan(); });
  footer->addWidget(rescan_);
  layout->addLayout(footer);
  resize(kSheetWidth, 560);
  setPresentation(std::nullopt);
}

void ScanFailureDiagnosticsSheet::setPresentation(
    const std::optional<ScanFailureDiagnosticsPresentation>& presentation) {
  if (presentation_ && presentation && *presentation_ == *presentation) return;
  presentation_ = presentation;
  // Without a scan summary the sheet has no content.
  content_->setVisible(presentation_.has_value());
  if (!presentation_) {
    model_->setRows({});
    return;
  }
  const ScanFailureDiagnosticsPresentation& p = *presentation_;
  setWindowTitle(qtText(p.title));
  title_->setText(qtText(p.title));
  summary_->setText(qtText(p.summaryText));
  context_->setText(qtText(p.contextText));
  roots_->setText(qtText(p.rootPathsText));
  guidance_->setText(qtText(p.retryGuidanceText));
  close_->setText(mnemonicSafe(qtText(p.closeButtonTitle)));
  copy_->setText(mnemonicSafe(qtText(p.copyDiagnosticsButtonTitle)));
  reauthorize_->setText(mnemonicSafe(qtText(p.reauthorizeButtonTitle)));
  reauthorize_->setEnabled(p.reauthorizationRootPath.has_value());
  rescan_->setText(mnemonicSafe(qtText(p.rescanButtonTitle)));
  model_->setRows(p.failureRows);
}

bool ScanFailureDiagnosticsSheet::offersReveal(int row) const {
  return row >= 0 && row < model_->rowCount() &&
         model_->rowAt(row).kind != ImageLibraryScanFailure::Kind::missing;
}

void ScanFailureDiagnosticsSheet::showRowMenu(const QPoint& position) {
  const QModelIndex index = list_->indexAt(position);
  if (!index.isValid() || !offersReveal(index.row()) || !presentation_) return;
  const std::string path = model_->rowAt(index.row()).path;
  QMenu menu(this);
  QAction* reveal =
      menu.addAction(symbolIcon("folder"), mnemonicSafe(qtText(presentation_->revealInFinderButtonTitle)));
  connect(reveal, &QAction::triggered, this, [path] { revealInFileManager(path); });
  menu.exec(list_->viewport()->mapToGlobal(position));
}

}  // namespace lorvex::ui
